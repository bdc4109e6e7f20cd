#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace keldara::dao {

// A connection string parsed by the ODBC/OLE DB rules: "key=value;" pairs, keys compared
// without regard to case, values optionally quoted as "..." (a doubled "" inside) or {...}
// (a doubled }} inside) so that they may hold ";".
class ConnectionString {
  public:
    static ConnectionString parse(const QString& text);

    // The value of the first pair whose key matches, or nothing when absent.
    std::optional<QString> value(const QString& key) const;
    QString valueOr(const QString& key, const QString& fallback = {}) const;
    const QList<QPair<QString, QString>>& pairs() const { return pairs_; }

  private:
    QList<QPair<QString, QString>> pairs_;
};

// Quotes a value for an ODBC connection string when the parser would not read it back
// unchanged (";", "{", "}", a leading '"', blanks at either end): in braces, with a "}"
// inside doubled. Other values are unchanged.
QString braceQuoteIfNeeded(const QString& value);

enum class ProviderKind { Access, Excel, Text, DBase, MySql };

// Which provider serves a connection string; nothing when none does.
std::optional<ProviderKind> chooseProvider(const ConnectionString& cs);

}  // namespace keldara::dao
