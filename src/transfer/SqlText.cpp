#include "transfer/SqlText.h"

#include "platform/dao/TypeCodes.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/FieldPairing.h"

namespace keldara::transfer {

namespace {

// The position of the match name among `names`: the name written exactly so, else the first
// one equal to it ignoring letter case, as MySQL compares column names; -1 when none is.
qsizetype matchPosition(const QStringList& names, const QString& matchName) {
    const qsizetype exact = names.indexOf(matchName);
    return exact >= 0 || matchName.isEmpty() ? exact : shell::FindNameIndex(names, matchName);
}

}  // namespace

RecordText RecordText::insert(const QString& table, const QStringList& names) {
    RecordText statement;
    QString piece = InsertHead(table, names) + QLatin1Char('(');
    for (qsizetype i = 0; i < names.size(); ++i) {
        statement.pieces_.push_back({piece, i});
        piece = QLatin1Char(',');
    }
    statement.tail_ = QStringLiteral(")");
    return statement;
}

RecordText RecordText::update(const QString& table, const QStringList& names,
                              const QString& matchName) {
    RecordText statement;
    const qsizetype match = matchPosition(names, matchName);
    // Without a field to set, "update T SET  WHERE ..." is no statement the server takes.
    if (match < 0 || names.size() == 1) return statement;
    QString piece = QStringLiteral("update ") + table + QStringLiteral(" SET ");
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i == match) continue;
        statement.pieces_.push_back(
            {piece + dao::mysql::QuoteIdentifier(names[i]) + QStringLiteral(" = "), i});
        piece = QLatin1Char(',');
    }
    statement.pieces_.push_back({QStringLiteral(" WHERE ") +
                                     dao::mysql::QuoteIdentifier(names[match]) +
                                     QStringLiteral(" ="),
                                 match});
    return statement;
}

const QString& RecordText::text(const QStringList& values) {
    statement_.truncate(0);  // keeps the buffer of the last record's statement
    for (const auto& [piece, value] : pieces_) {
        statement_ += piece;
        statement_ += values.at(value);
    }
    statement_ += tail_;
    return statement_;
}

QString RecordText::marked() const {
    QString statement;
    for (const auto& piece : pieces_) statement += piece.first + QLatin1Char('?');
    return statement + tail_;
}

std::vector<qsizetype> RecordText::valueOrder() const {
    std::vector<qsizetype> order;
    for (const auto& piece : pieces_) order.push_back(piece.second);
    return order;
}

QString InsertHead(const QString& table, const QStringList& names) {
    QString head = QStringLiteral("insert into ") + table;
    if (!names.isEmpty()) {
        QStringList columns;
        for (const QString& name : names) columns << dao::mysql::QuoteIdentifier(name);
        head += QStringLiteral(" (") + columns.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return head + QStringLiteral(" values ");
}

void AppendValueRow(QString& statement, const QStringList& values) {
    statement += QLatin1Char('(');
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0) statement += QLatin1Char(',');
        statement += values[i];
    }
    statement += QLatin1Char(')');
}

QString NullToEmpty(const dao::Value& value) {
    return value.isNull() ? QString() : value.standardText();
}

dao::Value transferValue(const dao::Value& value, int sourceTypeCode) {
    const bool dateTimeField =
        sourceTypeCode == dao::adType::Date || sourceTypeCode == dao::adType::DBTimeStamp;
    if (value.kind() == dao::ValueKind::Time && dateTimeField) {
        return dao::Value::dateTime(value.toDateTime());
    }
    return value;
}

QString transferLiteral(const dao::Value& value, int sourceTypeCode) {
    return transferValue(value, sourceTypeCode).sqlLiteral();
}

QString BuildSQLString(const QString& action, const QString& table, const QStringList& names,
                       const QStringList& values, const QString& matchName) {
    if (action == QLatin1String("UPDATE")) {
        return RecordText::update(table, names, matchName).text(values);
    }
    if (action == QLatin1String("INSERT")) {
        QString statement = InsertHead(table, names);
        AppendValueRow(statement, values);
        return statement;
    }
    return {};
}

}  // namespace keldara::transfer
