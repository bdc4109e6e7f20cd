#include "platform/dao/mysql/MySqlStatement.h"

#include <memory>
#include <utility>
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

bool insertsValueRows(MYSQL* connection) {
    unsigned long long capabilities = 0;
    if (mariadb_get_infov(connection, MARIADB_CONNECTION_EXTENDED_SERVER_CAPABILITIES,
                          &capabilities) != 0) {
        return false;
    }
    return (capabilities & (MARIADB_CLIENT_STMT_BULK_OPERATIONS >> 32)) != 0;
}

namespace {

// One column of ValueRows bound as an array: in its cells' own form where every cell that is
// not null has the same one (dates with dates and times), else as texts, where a value of
// another form is written as its standard text.
class BoundColumn {
  public:
    BoundColumn(const ValueRows& rows, std::size_t column)
        : rows_(rows), column_(column), count_(static_cast<std::size_t>(rows.rows())) {
        indicators_.resize(count_, STMT_INDICATOR_NONE);
        const ValueRows::Form form = commonForm();
        switch (form) {
            case ValueRows::Form::Integer:
                integers_.resize(count_);
                eachValue([&](std::size_t row, const ValueRows::Cell& cell) {
                    integers_[row] = cell.integer;
                });
                binding_.buffer_type = MYSQL_TYPE_LONGLONG;
                binding_.buffer = integers_.data();
                break;
            case ValueRows::Form::Double:
                numbers_.resize(count_);
                eachValue([&](std::size_t row, const ValueRows::Cell& cell) {
                    numbers_[row] = cell.number;
                });
                binding_.buffer_type = MYSQL_TYPE_DOUBLE;
                binding_.buffer = numbers_.data();
                break;
            case ValueRows::Form::DateTime:
                bindTimes();
                break;
            default:
                bindTexts();
        }
        binding_.u.indicator = indicators_.data();
    }
    BoundColumn(const BoundColumn&) = delete;
    BoundColumn& operator=(const BoundColumn&) = delete;

    const MYSQL_BIND& binding() const { return binding_; }

  private:
    const ValueRows::Cell& cellAt(std::size_t row) const {
        return rows_.cells[row * static_cast<std::size_t>(rows_.columns) + column_];
    }

    // The form of every cell that is not null, a date counted as a date and time; Text where
    // they differ, Null where there are none.
    ValueRows::Form commonForm() const {
        ValueRows::Form common = ValueRows::Form::Null;
        for (std::size_t row = 0; row < count_; ++row) {
            ValueRows::Form form = cellAt(row).form;
            if (form == ValueRows::Form::Date) form = ValueRows::Form::DateTime;
            if (form == ValueRows::Form::Null || form == common) continue;
            if (common != ValueRows::Form::Null) return ValueRows::Form::Text;
            common = form;
        }
        return common;
    }

    // Calls `use` with each cell that is not null; marks the others.
    template <typename Use>
    void eachValue(Use use) {
        for (std::size_t row = 0; row < count_; ++row) {
            const ValueRows::Cell& cell = cellAt(row);
            if (cell.form == ValueRows::Form::Null)
                indicators_[row] = STMT_INDICATOR_NULL;
            else
                use(row, cell);
        }
    }

    // The library reads a column of times through a pointer to each.
    void bindTimes() {
        times_.resize(count_);
        timePointers_.resize(count_);
        eachValue([&](std::size_t row, const ValueRows::Cell& cell) {
            times_[row] = timeOf(rows_.times[cell.time], cell.form == ValueRows::Form::Date
                                                             ? MYSQL_TIMESTAMP_DATE
                                                             : MYSQL_TIMESTAMP_DATETIME);
            timePointers_[row] = &times_[row];
        });
        binding_.buffer_type = MYSQL_TYPE_DATETIME;
        binding_.buffer = timePointers_.data();
    }

    void bindTexts() {
        texts_.resize(count_);
        lengths_.resize(count_);
        std::vector<std::pair<qsizetype, qsizetype>> written(count_, {-1, 0});
        eachValue([&](std::size_t row, const ValueRows::Cell& cell) {
            if (cell.form == ValueRows::Form::Text) return;
            const qsizetype start = written_.size();
            rows_.valueOf(&cell - rows_.cells.data()).appendStandardUtf8(written_);
            written[row] = {start, written_.size() - start};
        });
        eachValue([&](std::size_t row, const ValueRows::Cell& cell) {
            if (cell.form != ValueRows::Form::Text) {
                texts_[row] = written_.constData() + written[row].first;
                lengths_[row] = static_cast<unsigned long>(written[row].second);
                return;
            }
            const std::size_t index = static_cast<std::size_t>(&cell - rows_.cells.data());
            const qsizetype start = index == 0 ? 0 : rows_.cells[index - 1].end;
            texts_[row] = rows_.text.constData() + start;
            lengths_[row] = static_cast<unsigned long>(cell.end - start);
        });
        binding_.buffer_type = MYSQL_TYPE_STRING;
        binding_.buffer = texts_.data();
        binding_.length = lengths_.data();
    }

    const ValueRows& rows_;
    const std::size_t column_;
    const std::size_t count_;
    MYSQL_BIND binding_{};
    std::vector<char> indicators_;
    std::vector<std::int64_t> integers_;
    std::vector<double> numbers_;
    std::vector<MYSQL_TIME> times_;
    std::vector<MYSQL_TIME*> timePointers_;
    std::vector<const char*> texts_;
    std::vector<unsigned long> lengths_;
    QByteArray written_;  // the standard texts of a text column's values of other forms
};

}  // namespace

Connection::InsertedRows insertValueRows(MYSQL* connection, const QString& insert,
                                         const ValueRows& rows) {
    MySqlStatement statement(connection, insert);
    return statement.executeValueRows(rows);
}

Connection::InsertedRows MySqlStatement::executeValueRows(const ValueRows& rows) {
    if (static_cast<unsigned long>(rows.columns) != parameters_ || rows.columns == 0) {
        throw DaoError(DaoError::BadQuery, QStringLiteral("The statement takes %1 values, not %2.")
                                               .arg(parameters_)
                                               .arg(rows.columns));
    }
    std::vector<std::unique_ptr<BoundColumn>> columns;
    std::vector<MYSQL_BIND> bindings;
    for (std::size_t i = 0; i < static_cast<std::size_t>(rows.columns); ++i) {
        columns.push_back(std::make_unique<BoundColumn>(rows, i));
        bindings.push_back(columns.back()->binding());
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
