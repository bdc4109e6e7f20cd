#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace keldara::dao::access {

enum class JetVersion { Jet3, Jet4 };

// What the first page of a Jet database file says about it.
struct JetHeader {
    JetVersion version = JetVersion::Jet4;
    int pageSize = 4096;
    // The database password as stored: Jet 3 keeps code-page bytes, Jet 4 UTF-16 text.
    // Empty when the database has no password.
    QByteArray jet3Password;
    QString jet4Password;

    bool hasPassword() const { return !jet3Password.isEmpty() || !jet4Password.isEmpty(); }
};

// Reads the header from the file's first bytes. Returns nothing and sets `reason` when they
// are not those of a Jet 3 or Jet 4 database.
std::optional<JetHeader> parseJetHeader(const QByteArray& firstPage, QString* reason);

// RC4 as Jet uses it to hide the header and to encode pages.
void rc4Apply(const QByteArray& key, char* data, qsizetype length);

}  // namespace keldara::dao::access
