#include "platform/dao/ConnectionString.h"

namespace keldara::dao {

namespace {

// Reads a quoted value starting at text[pos] (the opening quote or brace); leaves pos after
// the closing one. An unterminated quote takes the rest of the text.
QString readQuoted(const QString& text, qsizetype& pos) {
    const QChar open = text[pos];
    const QChar close = open == QLatin1Char('{') ? QLatin1Char('}') : QLatin1Char('"');
    QString value;
    ++pos;
    while (pos < text.size()) {
        const QChar c = text[pos];
        if (c == close) {
            if (pos + 1 < text.size() && text[pos + 1] == close) {
                value += close;
                pos += 2;
                continue;
            }
            ++pos;
            return value;
        }
        value += c;
        ++pos;
    }
    return value;
}

}  // namespace

ConnectionString ConnectionString::parse(const QString& text) {
    ConnectionString cs;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), pos);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), pos);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A part without "=" carries no pair; skip it.
            if (semi < 0) break;
            pos = semi + 1;
            continue;
        }
        const QString key = text.mid(pos, eq - pos).trimmed();
        pos = eq + 1;
        while (pos < text.size() && text[pos] == QLatin1Char(' ')) ++pos;
        QString value;
        if (pos < text.size() && (text[pos] == QLatin1Char('{') || text[pos] == QLatin1Char('"'))) {
            value = readQuoted(text, pos);
            const qsizetype next = text.indexOf(QLatin1Char(';'), pos);
            pos = next < 0 ? text.size() : next + 1;
        } else {
            const qsizetype next = text.indexOf(QLatin1Char(';'), pos);
            const qsizetype end = next < 0 ? text.size() : next;
            value = text.mid(pos, end - pos).trimmed();
            pos = end + 1;
        }
        if (!key.isEmpty()) cs.pairs_.append({key, value});
    }
    return cs;
}

std::optional<QString> ConnectionString::value(const QString& key) const {
    for (const auto& [k, v] : pairs_) {
        if (k.compare(key, Qt::CaseInsensitive) == 0) return v;
    }
    return std::nullopt;
}

QString ConnectionString::valueOr(const QString& key, const QString& fallback) const {
    return value(key).value_or(fallback);
}

QString braceQuoteIfNeeded(const QString& value) {
    // Unquoted, the parser trims a value and reads a leading quote as the start of a quoted one.
    const bool readsBackUnchanged =
        value == value.trimmed() && !value.startsWith(QLatin1Char('"')) &&
        !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) &&
        !value.contains(QLatin1Char('}'));
    if (readsBackUnchanged) return value;
    QString inner = value;
    inner.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + inner + QLatin1Char('}');
}

std::optional<ProviderKind> chooseProvider(const ConnectionString& cs) {
    if (const auto driver = cs.value(QStringLiteral("Driver"))) {
        if (driver->contains(QLatin1String("MySQL"), Qt::CaseInsensitive))
            return ProviderKind::MySql;
        if (driver->contains(QLatin1String("Visual Foxpro"), Qt::CaseInsensitive)) {
            return ProviderKind::DBase;
        }
        return std::nullopt;
    }
    const auto provider = cs.value(QStringLiteral("Provider"));
    if (!provider ||
        (!provider->startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive) &&
         !provider->startsWith(QLatin1String("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive))) {
        return std::nullopt;
    }
    const QString extended = cs.valueOr(QStringLiteral("Extended Properties")).trimmed();
    if (extended.startsWith(QLatin1String("Excel"), Qt::CaseInsensitive) ||
        extended.startsWith(QLatin1String("OpenDocument"), Qt::CaseInsensitive)) {
        return ProviderKind::Excel;
    }
    if (extended.startsWith(QLatin1String("text"), Qt::CaseInsensitive)) return ProviderKind::Text;
    return ProviderKind::Access;
}

}  // namespace keldara::dao
