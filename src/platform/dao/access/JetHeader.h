#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace keldara::dao::access {

// Ace is the format of Access 2007 and later (.accdb): Jet 4 pages with more column types.
enum class JetVersion { Jet3, Jet4, Ace };

// What the first page of a Jet database file says about it.
struct JetHeader {
    JetVersion version = JetVersion::Jet4;
    int pageSize = 4096;
    // The database password as stored: Jet 3 keeps code-page bytes, Jet 4 UTF-16 text.
    // Empty when the database has no password.
    QByteArray jet3Password;
    QString jet4Password;
    // The key of RC4-encoded pages; zero when the pages are plain.
    quint32 pageKey = 0;

    bool hasPassword() const { return !jet3Password.isEmpty() || !jet4Password.isEmpty(); }
    // An Access 2007+ database with a password or encoded pages is encrypted as a whole.
    bool isEncryptedAce() const {
        return version == JetVersion::Ace && (hasPassword() || pageKey != 0);
    }
};

// Reads the header from the file's first bytes. Returns nothing and sets `reason` when they
// are not those of a Jet 3, Jet 4 or Access 2007+ database.
std::optional<JetHeader> parseJetHeader(const QByteArray& firstPage, QString* reason);

// RC4 as Jet uses it to hide the header and to encode pages.
void rc4Apply(const QByteArray& key, char* data, qsizetype length);

}  // namespace keldara::dao::access
