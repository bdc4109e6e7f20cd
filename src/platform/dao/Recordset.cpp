#include "platform/dao/Recordset.h"

#include <stdexcept>

#include "platform/dao/DaoError.h"

namespace keldara::dao {

Recordset::Recordset(std::vector<FieldInfo> fields)
    : fields_(std::move(fields)), columns_(fields_.size()) {}

Recordset::Recordset(std::vector<FieldInfo> fields, std::vector<Column> columns)
    : fields_(std::move(fields)), columns_(std::move(columns)) {
    columns_.resize(fields_.size());
    rows_ = columns_.empty() ? 0 : static_cast<long>(columns_.front().size());
    for (const Column& column : columns_) {
        if (static_cast<long>(column.size()) != rows_)
            throw std::invalid_argument("Recordset: columns of different lengths");
    }
}

void Recordset::appendRow(std::span<const Value> row) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        columns_[i].append(i < row.size() ? row[i] : Value::null());
    }
    ++rows_;
}

void Recordset::reserve(std::size_t rows) {
    for (Column& column : columns_) column.reserve(rows);
}

void Recordset::setFieldNote(int index, const QString& note) {
    fields_.at(static_cast<std::size_t>(index));  // checks the index
    notes_.resize(fields_.size());
    notes_[static_cast<std::size_t>(index)] = note;
}

QString Recordset::fieldNote(int index) const {
    fields_.at(static_cast<std::size_t>(index));
    return notes_.empty() ? QString() : notes_[static_cast<std::size_t>(index)];
}

Field Recordset::field(int index) const {
    Field f;
    static_cast<FieldInfo&>(f) = fieldInfo(index);
    f.value = value(index);
    return f;
}

Value Recordset::value(int index) const {
    requireCurrent();
    return valueAt(position_, index);
}

Value Recordset::valueAt(long row, int column) const {
    return columns_.at(static_cast<std::size_t>(column)).at(static_cast<std::size_t>(row));
}

ValueKind Recordset::kindAt(long row, int column) const {
    return columns_.at(static_cast<std::size_t>(column)).kindAt(static_cast<std::size_t>(row));
}

long Recordset::absolutePosition() const {
    if (bof()) return AdPosBOF;
    if (eof()) return AdPosEOF;
    return position_ + 1;
}

void Recordset::setAbsolutePosition(long position) {
    requireOpen();
    if (position < 1 || position > rows_) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Record position %1 is outside the %2 records.")
                           .arg(position)
                           .arg(rows_));
    }
    position_ = position - 1;
}

void Recordset::moveFirst() {
    requireOpen();
    if (rows_ == 0) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Either BOF or EOF is True: the recordset has no records."));
    }
    position_ = 0;
}

void Recordset::moveLast() {
    requireOpen();
    if (rows_ == 0) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Either BOF or EOF is True: the recordset has no records."));
    }
    position_ = rows_ - 1;
}

void Recordset::moveNext() {
    requireOpen();
    if (eof()) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Either BOF or EOF is True: cannot move past the end."));
    }
    ++position_;
}

void Recordset::movePrevious() {
    requireOpen();
    if (bof()) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Either BOF or EOF is True: cannot move before the start."));
    }
    --position_;
}

void Recordset::close() {
    requireOpen();
    open_ = false;
}

void Recordset::requireOpen() const {
    if (!open_) {
        throw DaoError(DaoError::NotOpen,
                       QStringLiteral("Operation is not allowed when the object is closed."));
    }
}

void Recordset::requireCurrent() const {
    requireOpen();
    if (bof() || eof()) {
        throw DaoError(DaoError::NoCurrentRecord,
                       QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                      "deleted."));
    }
}

}  // namespace keldara::dao
