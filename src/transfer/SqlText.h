#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "platform/dao/Value.h"

// The statement texts of a transfer: identifiers and values as MySQL reads them back.
namespace keldara::transfer {

// The value's standard text, or the empty text for Null.
QString NullToEmpty(const dao::Value& value);

// The value a field's value is written as: itself, except that a time of day read from a
// date-time field keeps the zero date it carries there (1899-12-30): a date-time column
// refuses a bare time, and a time column takes the date-time's time.
dao::Value transferValue(const dao::Value& value, int sourceTypeCode);

// The SQL literal of transferValue (dao::Value::sqlLiteral).
QString transferLiteral(const dao::Value& value, int sourceTypeCode);

// "insert into T (`a`,`b`) values ", as BuildSQLString begins an insert; rows of values
// follow, each written by AppendValueRow and separated by ",".
QString InsertHead(const QString& table, const QStringList& names);

// Appends "('x','y')": one row of SQL literals.
void AppendValueRow(QString& statement, const QStringList& values);

// One statement without a terminating semicolon. `table` is written as given (a caller that
// writes into a table quotes its name with dao::mysql::QuoteIdentifier). `values` are SQL
// literals (dao::Value::sqlLiteral), element i belonging to names element i.
// - "UPDATE": "update T SET `a` = 'x',`b` = 'y' WHERE `k` ='1'": every pair except the match
//   pair; the WHERE value is that pair's. The match pair is the name written exactly as
//   `matchName`, else the first equal to it ignoring letter case, as MySQL compares column
//   names. Names are quoted as dao::mysql::QuoteIdentifier writes them. Empty when no name
//   matches.
// - "INSERT": "insert into T (`a`,`b`) values ('x','y')", the names as QuoteIdentifier
//   writes them; with no names at all the column list is left out:
//   "insert into T values ('x','y')".
// Any other action gives the empty text.
QString BuildSQLString(const QString& action, const QString& table, const QStringList& names,
                       const QStringList& values, const QString& matchName = {});

// One record's statement for record after record: fixed pieces of text, each followed by one
// of the record's values, written once; each record's statement goes into the same buffer.
// The same pieces give the statement with "?" marks that the server prepares, so the literal
// and the prepared form cannot differ.
class RecordText {
  public:
    // BuildSQLString's "INSERT" and "UPDATE" (empty when no name matches).
    static RecordText insert(const QString& table, const QStringList& names);
    static RecordText update(const QString& table, const QStringList& names,
                             const QString& matchName);

    // The statement with these values (SQL literals, element i belonging to names element i),
    // valid until the next call.
    const QString& text(const QStringList& values);
    // The statement with a "?" in place of each value.
    QString marked() const;
    // The index among the names of the value each "?" of marked() stands for, in order.
    std::vector<qsizetype> valueOrder() const;

  private:
    std::vector<std::pair<QString, qsizetype>> pieces_;  // text and the value that follows it
    QString tail_;
    QString statement_;
};

}  // namespace keldara::transfer
