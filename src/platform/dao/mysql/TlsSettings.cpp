#include "platform/dao/mysql/TlsSettings.h"

#include "platform/dao/ConnectionString.h"

namespace keldara::dao::mysql {

QStringList tlsModeNames() {
    return {QStringLiteral("disabled"), QStringLiteral("required"), QStringLiteral("verify-ca"),
            QStringLiteral("verify-identity")};
}

QString tlsModeName(TlsMode mode) {
    return tlsModeNames().at(static_cast<int>(mode));
}

std::optional<TlsMode> tlsModeNamed(const QString& name) {
    QString canonical = name.trimmed().toLower();
    canonical.replace(QLatin1Char('_'), QLatin1Char('-'));
    const qsizetype index = tlsModeNames().indexOf(canonical);
    if (index < 0) return std::nullopt;
    return static_cast<TlsMode>(index);
}

QString tlsConnectionStringClause(const TlsSettings& tls) {
    if (tls.mode == TlsMode::Disabled) return {};
    QString clause =
        QStringLiteral(";SSLMODE=") + tlsModeName(tls.mode).toUpper().replace('-', '_');
    const std::pair<const char*, const QString*> files[] = {
        {";SSLCA=", &tls.caFile}, {";SSLCERT=", &tls.certFile}, {";SSLKEY=", &tls.keyFile}};
    for (const auto& [key, value] : files) {
        if (!value->isEmpty()) clause += QLatin1String(key) + braceQuoteIfNeeded(*value);
    }
    return clause;
}

}  // namespace keldara::dao::mysql
