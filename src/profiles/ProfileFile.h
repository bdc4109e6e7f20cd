#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

#include "shell/Profile.h"

namespace keldara::profiles {

using shell::Profile;

// One profile record as it lies in the file: 8-bit texts (the coded ones still coded), the
// flag and the port.
struct ProfileRecord {
    QByteArray header;
    QByteArray marker;
    QByteArray savedAt;
    QByteArray sourceFile;
    QByteArray sourceTable;
    QByteArray sourcePassword;  // coded
    qint16 flag = -1;
    QByteArray server;    // coded
    QByteArray user;      // coded
    QByteArray password;  // coded
    QByteArray database;
    QByteArray targetTable;
    qint32 port = 0;
    QByteArray mappingsStart;
    QByteArray mappingsEnd;
    // The TLS block: empty tlsMode means none.
    QByteArray tlsMode;
    QByteArray tlsCaFile;
    QByteArray tlsCertFile;
    QByteArray tlsKeyFile;

    bool operator==(const ProfileRecord&) const = default;
};

inline constexpr int HeaderLength = 150;
inline const QByteArray HeaderText =
    "Tamrix Keldara Profile File - Copyright Tamrix Software Inc - Modification of this file "
    "will result in corruption !!";

// Exchanges the high and low four bits of every byte; a byte that becomes 0 is dropped.
// Applying it twice gives back the bytes it started from (NULs aside).
QByteArray SwapHexDigits(const QByteArray& text);

// The 8-bit form of a text: its Windows-1252 bytes when that code page holds every one of its
// characters; otherwise the byte 0x81 (which Windows-1252 leaves undefined, so no such text
// starts with it) followed by the text's UTF-8 bytes.
QByteArray encodeProfileText(const QString& text);
QString decodeProfileText(const QByteArray& bytes);

// The port box's text as a port number: a whole number from 0 to 65535, blanks around it
// allowed; nothing otherwise.
std::optional<qint32> portNumber(const QString& text);

// Why `profile` cannot be saved (its port is not a port number, or a text is too long for
// its 16-bit length); empty when it can.
QString profileProblem(const Profile& profile);
// The record that saves `profile` at `savedAt`; nothing when profileProblem() names a problem.
std::optional<ProfileRecord> recordFromProfile(const Profile& profile, const QDateTime& savedAt);
// The choices a record holds, its coded texts decoded.
Profile profileFromRecord(const ProfileRecord& record);

// The file bytes of one record, and the record that file bytes hold (nothing when they end
// before the record does). A record with TLS settings writes, where the length of the
// mappings' end mark belongs, the length 0xFFFF and then the TLS block (TlsBlockMark, the
// mode, the CA, certificate and key files) before the end mark. The whole block is kept
// shorter than 0xFFFF bytes, so a reader that knows no TLS block runs past the end of the
// file and refuses it rather than connecting without TLS.
inline const QByteArray TlsBlockMark = "Keldara TLS";
QByteArray serializeRecord(const ProfileRecord& record);
std::optional<ProfileRecord> parseRecord(const QByteArray& bytes);

// The largest profile file read: above the largest record (every text at its 65535 bytes).
inline constexpr qint64 MaxProfileFileBytes = 1 << 20;

// Reads one record from the start of the file; nothing when it cannot be read, is not a
// regular file, or is larger than MaxProfileFileBytes.
std::optional<ProfileRecord> ReadProfile(const QString& path);
// Replaces the file with one record: the record is written beside it and then takes its
// place, so a failed write leaves the old file as it was. False when the write failed.
bool WriteProfile(const QString& path, const ProfileRecord& record);

// A profile file's choices in one step; nothing when the file cannot be read.
std::optional<Profile> readProfileFile(const QString& path);

// The TLS settings a run of `profile` uses: those `given` in place of the profile's (on a
// command line), with the profile's client certificate and key when they name none; without
// any given, the profile's own.
dao::mysql::TlsSettings tlsForRun(const std::optional<dao::mysql::TlsSettings>& given,
                                  const Profile& profile);

}  // namespace keldara::profiles
