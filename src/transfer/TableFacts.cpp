#include "transfer/TableFacts.h"

#include <QHash>
#include <algorithm>

#include "platform/dao/mysql/QuoteIdentifier.h"

namespace keldara::transfer {

long long countOf(dao::Connection& connection, const QString& query) {
    return connection.openRecordset(query)->valueAt(0, 0).toInt();
}

long long rowCount(dao::Connection& connection, const QString& table) {
    return countOf(connection,
                   QStringLiteral("SELECT COUNT(*) FROM ") + dao::mysql::QuoteIdentifier(table));
}

bool transactional(dao::Connection& connection, const QString& table) {
    const auto answer = connection.openRecordset(
        QStringLiteral("SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN "
                       "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE "
                       "t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = ") +
        dao::Value::text(table).sqlLiteral());
    return answer->recordCount() == 1 &&
           answer->valueAt(0, 0).standardText() == QLatin1String("YES");
}

BatchLimits batchLimitsOf(dao::Connection& connection) {
    BatchLimits limits;
    const auto variables = connection.openRecordset(
        QStringLiteral("SHOW VARIABLES WHERE Variable_name IN ('wsrep_on', 'wsrep_max_ws_rows', "
                       "'wsrep_max_ws_size', 'max_allowed_packet')"));
    for (long row = 0; row < variables->recordCount(); ++row) {
        const QString name = variables->valueAt(row, 0).standardText();
        const QString text = variables->valueAt(row, 1).standardText();
        if (name == QLatin1String("wsrep_on"))
            limits.clusterNode = text.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0;
        const long long value = text.toLongLong();
        if (value <= 0) continue;  // no limit
        if (name == QLatin1String("max_allowed_packet")) {
            limits.rowBytes = std::min(limits.rowBytes, static_cast<qsizetype>(value / 4));
            continue;
        }
        if (name == QLatin1String("wsrep_max_ws_rows")) {
            limits.rows = static_cast<long>(std::min<long long>(limits.rows, value));
            limits.mostRows = static_cast<long>(std::min<long long>(limits.mostRows, value));
        } else if (name == QLatin1String("wsrep_max_ws_size")) {
            const qsizetype chars = static_cast<qsizetype>(std::max<long long>(value / 4, 1));
            limits.chars = std::min(limits.chars, chars);
            limits.loadBytes = std::min(limits.loadBytes, chars);
            limits.rowBytes = std::min(limits.rowBytes, chars);
        }
    }
    return limits;
}

std::vector<dao::ValueRows::Form> columnFormsOf(dao::Connection& connection, const QString& table,
                                                const QStringList& names) {
    using Form = dao::ValueRows::Form;
    static const QHash<QString, Form> kForms{{QStringLiteral("tinyint"), Form::Integer},
                                             {QStringLiteral("smallint"), Form::Integer},
                                             {QStringLiteral("mediumint"), Form::Integer},
                                             {QStringLiteral("int"), Form::Integer},
                                             {QStringLiteral("bigint"), Form::Integer},
                                             {QStringLiteral("float"), Form::Double},
                                             {QStringLiteral("double"), Form::Double},
                                             {QStringLiteral("date"), Form::DateTime},
                                             {QStringLiteral("datetime"), Form::DateTime},
                                             {QStringLiteral("timestamp"), Form::DateTime}};
    const auto columns = connection.openRecordset(
        QStringLiteral("SELECT COLUMN_NAME, DATA_TYPE FROM information_schema.COLUMNS WHERE "
                       "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = ") +
        dao::Value::text(table).sqlLiteral());
    QHash<QString, Form> formOfColumn;
    for (long row = 0; row < columns->recordCount(); ++row) {
        formOfColumn.insert(
            columns->valueAt(row, 0).standardText().toLower(),
            kForms.value(columns->valueAt(row, 1).standardText().toLower(), Form::Text));
    }
    std::vector<Form> forms;
    for (const QString& name : names)
        forms.push_back(formOfColumn.value(name.toLower(), Form::Text));
    return forms;
}

MatchColumn matchColumnOf(dao::Connection& connection, const QString& table,
                          const QString& column) {
    const QString ofColumn = QStringLiteral("TABLE_SCHEMA = DATABASE() AND TABLE_NAME = %1 AND")
                                 .arg(dao::Value::text(table).sqlLiteral());
    const auto facts = connection.openRecordset(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM information_schema.STATISTICS WHERE %1 "
                       "NON_UNIQUE = 0 GROUP BY INDEX_NAME HAVING COUNT(*) = 1 AND "
                       "MAX(COLUMN_NAME) = %2), EXISTS (SELECT 1 FROM "
                       "information_schema.COLUMNS WHERE %1 COLUMN_NAME = %2 AND DATA_TYPE IN "
                       "('tinyint', 'smallint', 'mediumint', 'int', 'bigint'))")
            .arg(ofColumn, dao::Value::text(column).sqlLiteral()));
    return {facts->valueAt(0, 0).toInt() != 0, facts->valueAt(0, 1).toInt() != 0};
}

}  // namespace keldara::transfer
