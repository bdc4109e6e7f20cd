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

static_assert(STMT_INDICATOR_NONE == 0 && STMT_INDICATOR_NULL == 1);

// The columns of ValueRows bound as arrays in their forms: numbers from where the rows hold
// them, dates and texts through the pointers the library reads them by.
class BoundColumns {
  public:
    std::vector<MYSQL_BIND>& bind(const ValueRows& rows) {
        arrays_.resize(static_cast<std::size_t>(rows.columnCount()));
        bindings_.clear();
        for (int i = 0; i < rows.columnCount(); ++i)
            bindings_.push_back(bindColumn(rows.column(i), arrays_[static_cast<std::size_t>(i)]));
        return bindings_;
    }

  private:
    using Form = ValueRows::Form;
    struct Arrays {
        std::vector<char> indicators;
        std::vector<MYSQL_TIME> times;
        std::vector<MYSQL_TIME*> timePointers;
        std::vector<const char*> texts;
        std::vector<unsigned long> lengths;
    };

    static MYSQL_BIND bindColumn(const ValueRows::Column& column, Arrays& arrays) {
        const std::size_t rows = column.forms.size();
        arrays.indicators.resize(rows);
        for (std::size_t row = 0; row < rows; ++row)
            arrays.indicators[row] =
                column.forms[row] == Form::Null ? STMT_INDICATOR_NULL : STMT_INDICATOR_NONE;
        MYSQL_BIND binding{};
        binding.u.indicator = arrays.indicators.data();
        switch (column.form) {
            case Form::Integer:
                binding.buffer_type = MYSQL_TYPE_LONGLONG;
                binding.buffer = const_cast<std::int64_t*>(column.integers.data());
                break;
            case Form::Double:
                binding.buffer_type = MYSQL_TYPE_DOUBLE;
                binding.buffer = const_cast<double*>(column.numbers.data());
                break;
            case Form::DateTime:
                arrays.times.resize(rows);
                arrays.timePointers.resize(rows);
                for (std::size_t row = 0; row < rows; ++row) {
                    arrays.times[row] = timeOf(column.times[row], column.forms[row] == Form::Date
                                                                      ? MYSQL_TIMESTAMP_DATE
                                                                      : MYSQL_TIMESTAMP_DATETIME);
                    arrays.timePointers[row] = &arrays.times[row];
                }
                binding.buffer_type = MYSQL_TYPE_DATETIME;
                binding.buffer = arrays.timePointers.data();
                break;
            default:
                arrays.texts.resize(rows);
                arrays.lengths.resize(rows);
                for (std::size_t row = 0; row < rows; ++row) {
                    const qsizetype start = row == 0 ? 0 : column.ends[row - 1];
                    arrays.texts[row] = column.text.constData() + start;
                    arrays.lengths[row] = static_cast<unsigned long>(column.ends[row] - start);
                }
                binding.buffer_type = MYSQL_TYPE_STRING;
                binding.buffer = arrays.texts.data();
                binding.length = arrays.lengths.data();
        }
        return binding;
    }

    std::vector<Arrays> arrays_;
    std::vector<MYSQL_BIND> bindings_;
};

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

bool insertsValueRows(MYSQL* connection) {
    unsigned long long capabilities = 0;
    if (mariadb_get_infov(connection, MARIADB_CONNECTION_EXTENDED_SERVER_CAPABILITIES,
                          &capabilities) != 0) {
        return false;
    }
    return (capabilities & (MARIADB_CLIENT_STMT_BULK_OPERATIONS >> 32)) != 0;
}

Connection::InsertedRows MySqlStatement::executeValueRows(const ValueRows& rows) {
    if (static_cast<unsigned long>(rows.columnCount()) != parameters_ || rows.columnCount() == 0) {
        throw DaoError(DaoError::BadQuery, QStringLiteral("The statement takes %1 values, not %2.")
                                               .arg(parameters_)
                                               .arg(rows.columnCount()));
    }
    if (!boundRows_) boundRows_ = std::make_unique<BoundColumns>();
    std::vector<MYSQL_BIND>& bindings = boundRows_->bind(rows);
    unsigned int size = static_cast<unsigned int>(rows.rows());
    if (mysql_stmt_attr_set(statement_, STMT_ATTR_ARRAY_SIZE, &size) ||
        mysql_stmt_bind_param(statement_, bindings.data())) {
        throwError(DaoError::BadQuery);
    }
    if (mysql_stmt_execute(statement_)) throwError(DaoError::BadQuery);
    return {static_cast<long long>(mysql_stmt_affected_rows(statement_)),
            static_cast<unsigned int>(mysql_stmt_warning_count(statement_))};
}

}  // namespace keldara::dao::mysql
