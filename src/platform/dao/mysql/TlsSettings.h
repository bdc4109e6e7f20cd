#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace keldara::dao::mysql {

// How the connection to a MySQL server is encrypted: not at all; always, without checking the
// server's certificate; always, with the certificate checked against a CA file; and also with
// the certificate's host name checked against the server's name. A mode that asks for TLS
// never falls back to an unencrypted connection.
enum class TlsMode : std::uint8_t { Disabled, Required, VerifyCa, VerifyIdentity };

struct TlsSettings {
    TlsMode mode = TlsMode::Disabled;
    QString caFile;    // the CA certificates the server's certificate must chain to
    QString certFile;  // a client certificate and its key, when the server asks for one
    QString keyFile;

    // VerifyCa and VerifyIdentity, which need the CA file.
    bool checksCertificate() const {
        return mode == TlsMode::VerifyCa || mode == TlsMode::VerifyIdentity;
    }
    bool operator==(const TlsSettings&) const = default;
};

// The modes' names as the command line and the window show them: "disabled", "required",
// "verify-ca", "verify-identity", in that order.
QStringList tlsModeNames();
QString tlsModeName(TlsMode mode);
// The mode of a name (either the form above or the connection string's "VERIFY_CA");
// nothing for any other text.
std::optional<TlsMode> tlsModeNamed(const QString& name);

// The connection string keys that ask for these settings (";SSLMODE=..;SSLCA=.." and so on,
// values braced where needed); empty when TLS is off, so a plain connection string stays as
// it was.
QString tlsConnectionStringClause(const TlsSettings& tls);

}  // namespace keldara::dao::mysql
