#include "transfer/SqlText.h"

#include "platform/dao/TypeCodes.h"

namespace keldara::transfer {

namespace {

QString updateStatement(const QString& table, const QStringList& names, const QStringList& values,
                        const QString& matchName) {
    const qsizetype match = names.indexOf(matchName);
    if (match < 0) return {};
    QStringList pairs;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i] == matchName) continue;
        pairs << QuoteFieldName(names[i]) + QStringLiteral(" = ") + values.at(i);
    }
    return QStringLiteral("update ") + table + QStringLiteral(" SET ") +
           pairs.join(QLatin1Char(',')) + QStringLiteral(" WHERE ") + QuoteFieldName(matchName) +
           QStringLiteral(" =") + values.at(match);
}

}  // namespace

QString InsertHead(const QString& table, const QStringList& names) {
    QString head = QStringLiteral("insert into ") + table;
    if (!names.isEmpty()) {
        QStringList columns;
        for (const QString& name : names) columns << QuoteIdentifier(name);
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

QString QuoteIdentifier(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + inner + QLatin1Char('`');
}

QString QuoteFieldName(const QString& name) {
    QString quoted = QuoteIdentifier(name);
    quoted.replace(QLatin1Char('('), QLatin1Char('_'));
    quoted.replace(QLatin1Char(')'), QLatin1Char('_'));
    return quoted;
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
    if (action == QLatin1String("UPDATE")) return updateStatement(table, names, values, matchName);
    if (action == QLatin1String("INSERT")) {
        QString statement = InsertHead(table, names);
        AppendValueRow(statement, values);
        return statement;
    }
    return {};
}

}  // namespace keldara::transfer
