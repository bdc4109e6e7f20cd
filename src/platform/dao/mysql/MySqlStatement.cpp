#include "platform/dao/mysql/MySqlStatement.h"

#include <vector>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/MySqlConnection.h"

namespace keldara::dao::mysql {

namespace {

// What one value's binding points at, kept alive until the statement has run.
struct BoundValue {
    long long integer = 0;
    double floating = 0;
    QByteArray bytes;
    MYSQL_TIME time{};
};

MYSQL_TIME timeOf(const DateTime& dt, enum_mysql_timestamp_type type) {
    MYSQL_TIME time{};
    time.year = type == MYSQL_TIMESTAMP_TIME ? 0 : static_cast<unsigned>(dt.year);
    time.month = type == MYSQL_TIMESTAMP_TIME ? 0 : static_cast<unsigned>(dt.month);
    time.day = type == MYSQL_TIMESTAMP_TIME ? 0 : static_cast<unsigned>(dt.day);
    if (type != MYSQL_TIMESTAMP_DATE) {
        time.hour = static_cast<unsigned>(dt.hour);
        time.minute = static_cast<unsigned>(dt.minute);
        time.second = static_cast<unsigned>(dt.second);
        time.second_part = static_cast<unsigned long>(dt.microsecond);
    }
    time.time_type = type;
    return time;
}

void bind(MYSQL_BIND& binding, BoundValue& bound, const Value& value) {
    binding = MYSQL_BIND{};
    const auto pointAtBytes = [&](enum_field_types type) {
        binding.buffer_type = type;
        binding.buffer = bound.bytes.data();
        binding.buffer_length = static_cast<unsigned long>(bound.bytes.size());
    };
    const auto pointAtTime = [&](enum_field_types type, enum_mysql_timestamp_type kind) {
        bound.time = timeOf(value.toDateTime(), kind);
        binding.buffer_type = type;
        binding.buffer = &bound.time;
    };
    switch (value.kind()) {
        case ValueKind::Null:
            binding.buffer_type = MYSQL_TYPE_NULL;
            break;
        case ValueKind::Boolean:
        case ValueKind::Integer:
            bound.integer = value.kind() == ValueKind::Boolean ? value.toBool() : value.toInt();
            binding.buffer_type = MYSQL_TYPE_LONGLONG;
            binding.buffer = &bound.integer;
            break;
        case ValueKind::Double:
            bound.floating = value.toDouble();
            binding.buffer_type = MYSQL_TYPE_DOUBLE;
            binding.buffer = &bound.floating;
            break;
        case ValueKind::Decimal:
            bound.bytes = value.decimalText().toLatin1();
            pointAtBytes(MYSQL_TYPE_NEWDECIMAL);
            break;
        case ValueKind::Date:
            pointAtTime(MYSQL_TYPE_DATE, MYSQL_TIMESTAMP_DATE);
            break;
        case ValueKind::Time:
            pointAtTime(MYSQL_TYPE_TIME, MYSQL_TIMESTAMP_TIME);
            break;
        case ValueKind::DateTime:
            pointAtTime(MYSQL_TYPE_DATETIME, MYSQL_TIMESTAMP_DATETIME);
            break;
        case ValueKind::Text:
            bound.bytes = value.toText().toUtf8();
            pointAtBytes(MYSQL_TYPE_STRING);
            break;
        case ValueKind::Bytes:
            bound.bytes = value.toBytes();
            pointAtBytes(MYSQL_TYPE_BLOB);
            break;
    }
}

}  // namespace

MySqlStatement::MySqlStatement(MYSQL* connection, const QString& sql)
    : statement_(mysql_stmt_init(connection)) {
    if (!statement_) {
        throw DaoError(DaoError::General, QStringLiteral("Out of memory preparing a statement."));
    }
    const QByteArray text = sql.toUtf8();
    if (mysql_stmt_prepare(statement_, text.constData(), static_cast<unsigned long>(text.size()))) {
        const DaoError error(DaoError::BadQuery, QString::fromUtf8(mysql_stmt_error(statement_)),
                             static_cast<int>(mysql_stmt_errno(statement_)),
                             errorCategory(mysql_stmt_errno(statement_)));
        mysql_stmt_close(statement_);
        throw error;
    }
    parameters_ = mysql_stmt_param_count(statement_);
}

MySqlStatement::~MySqlStatement() {
    mysql_stmt_close(statement_);
}

void MySqlStatement::throwError(int number) const {
    const unsigned int code = mysql_stmt_errno(statement_);
    throw DaoError(number, QString::fromUtf8(mysql_stmt_error(statement_)), static_cast<int>(code),
                   errorCategory(code));
}

long long MySqlStatement::execute(std::span<const Value> values) {
    if (values.size() != parameters_) {
        throw DaoError(DaoError::BadQuery, QStringLiteral("The statement takes %1 values, not %2.")
                                               .arg(parameters_)
                                               .arg(values.size()));
    }
    std::vector<MYSQL_BIND> bindings(values.size());
    std::vector<BoundValue> bound(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) bind(bindings[i], bound[i], values[i]);
    if (!bindings.empty() && mysql_stmt_bind_param(statement_, bindings.data())) {
        throwError(DaoError::BadQuery);
    }
    if (mysql_stmt_execute(statement_)) throwError(DaoError::BadQuery);
    return static_cast<long long>(mysql_stmt_affected_rows(statement_));
}

bool insertsTextRows(MYSQL* connection) {
    unsigned long long capabilities = 0;
    if (mariadb_get_infov(connection, MARIADB_CONNECTION_EXTENDED_SERVER_CAPABILITIES,
                          &capabilities) != 0) {
        return false;
    }
    return (capabilities & (MARIADB_CLIENT_STMT_BULK_OPERATIONS >> 32)) != 0;
}

namespace {

// One column of TextRows bound as an array: each row's text, its length and whether it is null.
struct BoundColumn {
    std::vector<const char*> texts;
    std::vector<unsigned long> lengths;
    std::vector<char> indicators;
};

std::vector<BoundColumn> boundColumns(const Connection::TextRows& rows) {
    const auto count = static_cast<std::size_t>(rows.rows());
    std::vector<BoundColumn> columns(static_cast<std::size_t>(rows.columns));
    for (BoundColumn& column : columns) {
        column.texts.resize(count);
        column.lengths.resize(count);
        column.indicators.resize(count, STMT_INDICATOR_NONE);
    }
    qsizetype start = 0;
    for (std::size_t cell = 0; cell < rows.cells.size(); ++cell) {
        const Connection::TextRows::Cell& at = rows.cells[cell];
        BoundColumn& column = columns[cell % columns.size()];
        const std::size_t row = cell / columns.size();
        if (at.null) {
            column.indicators[row] = STMT_INDICATOR_NULL;
        } else {
            column.texts[row] = rows.text.constData() + start;
            column.lengths[row] = static_cast<unsigned long>(at.end - start);
        }
        start = at.end;
    }
    return columns;
}

}  // namespace

Connection::InsertedRows insertTextRows(MYSQL* connection, const QString& insert,
                                        const Connection::TextRows& rows) {
    MySqlStatement statement(connection, insert);
    return statement.executeTextRows(rows);
}

Connection::InsertedRows MySqlStatement::executeTextRows(const Connection::TextRows& rows) {
    if (static_cast<unsigned long>(rows.columns) != parameters_ || rows.columns == 0) {
        throw DaoError(DaoError::BadQuery, QStringLiteral("The statement takes %1 values, not %2.")
                                               .arg(parameters_)
                                               .arg(rows.columns));
    }
    std::vector<BoundColumn> columns = boundColumns(rows);
    std::vector<MYSQL_BIND> bindings(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        bindings[i] = MYSQL_BIND{};
        bindings[i].buffer_type = MYSQL_TYPE_STRING;
        bindings[i].buffer = columns[i].texts.data();
        bindings[i].length = columns[i].lengths.data();
        bindings[i].u.indicator = columns[i].indicators.data();
    }
    unsigned int size = static_cast<unsigned int>(rows.rows());
    if (mysql_stmt_attr_set(statement_, STMT_ATTR_ARRAY_SIZE, &size) ||
        mysql_stmt_bind_param(statement_, bindings.data())) {
        throwError(DaoError::BadQuery);
    }
    if (mysql_stmt_execute(statement_)) throwError(DaoError::BadQuery);
    return {static_cast<long long>(mysql_stmt_affected_rows(statement_)),
            mysql_warning_count(statement_->mysql)};
}

}  // namespace keldara::dao::mysql
