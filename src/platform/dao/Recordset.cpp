#include "platform/dao/Recordset.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "platform/dao/DaoError.h"

namespace keldara::dao {

namespace {

// A streamed recordset reads and releases its records this many at a time.
constexpr long kBlockRows = 1024;

DaoError outsideTheRecords(long position, long rows) {
    return DaoError(DaoError::NoCurrentRecord,
                    QStringLiteral("Record position %1 is outside the %2 records.")
                        .arg(QString::number(position), QString::number(rows)));
}

}  // namespace

// The records a streamed recordset holds: blocks of kBlockRows records (only the table's
// last one may be shorter), from the oldest kept to the furthest read.
struct Recordset::Window {
    struct Block {
        long first = 0;
        std::vector<Column> columns;
    };
    std::unique_ptr<RowSource> source;
    long keepRows = 0;
    std::deque<Block> blocks;
    long end = 0;  // the record after the last one read
    std::mutex mutex;
};

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

Recordset::Recordset(std::vector<FieldInfo> fields, long rowCount,
                     std::unique_ptr<RowSource> source, long keepRows)
    : fields_(std::move(fields)), rows_(rowCount), window_(std::make_shared<Window>()) {
    window_->source = std::move(source);
    window_->keepRows = std::max(keepRows, 1L);
}

void Recordset::keepAtLeast(long rows) const {
    if (!window_) return;
    std::lock_guard lock(window_->mutex);
    window_->keepRows = std::max(window_->keepRows, rows);
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
    if (window_) {
        const std::lock_guard lock(window_->mutex);
        std::size_t index = 0;
        return streamedColumn(row, column, index).at(index);
    }
    return columns_.at(static_cast<std::size_t>(column)).at(static_cast<std::size_t>(row));
}

ValueKind Recordset::kindAt(long row, int column) const {
    if (window_) {
        const std::lock_guard lock(window_->mutex);
        std::size_t index = 0;
        return streamedColumn(row, column, index).kindAt(index);
    }
    return columns_.at(static_cast<std::size_t>(column)).kindAt(static_cast<std::size_t>(row));
}

std::unique_lock<std::mutex> Recordset::lockStreamed() const {
    return window_ ? std::unique_lock(window_->mutex) : std::unique_lock<std::mutex>();
}

const std::vector<Column>& Recordset::recordColumns(long row, std::size_t& index) const {
    if (window_) return streamedColumns(row, index);
    if (row < 0 || row >= rows_) {
        throw outsideTheRecords(row + 1, rows_);
    }
    index = static_cast<std::size_t>(row);
    return columns_;
}

const Column& Recordset::streamedColumn(long row, int column, std::size_t& index) const {
    return streamedColumns(row, index).at(static_cast<std::size_t>(column));
}

// The columns of a streamed record, read from the source when it lies beyond the records
// read so far; the blocks left more than keepRows behind are released. The caller holds the
// window's lock.
const std::vector<Column>& Recordset::streamedColumns(long row, std::size_t& index) const {
    Window& window = *window_;
    if (row < 0 || row >= rows_) {
        throw outsideTheRecords(row + 1, rows_);
    }
    const long oldest = window.blocks.empty() ? window.end : window.blocks.front().first;
    if (row < oldest) {
        throw DaoError(DaoError::General,
                       QStringLiteral("Record %1 has been passed already: a table read as a "
                                      "stream keeps only the records from %2 on.")
                           .arg(row + 1)
                           .arg(oldest + 1));
    }
    while (row >= window.end) {
        Window::Block block{window.end, std::vector<Column>(fields_.size())};
        const long wanted = std::min(kBlockRows, rows_ - window.end);
        const long read = window.source->readRows(block.columns, wanted);
        if (read != wanted) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The source holds fewer than the %1 records it held "
                                          "when it was opened: it has been changed meanwhile.")
                               .arg(rows_));
        }
        window.end += read;
        window.blocks.push_back(std::move(block));
        const long keepFrom = row + 1 - window.keepRows;
        while (window.blocks.size() > 1 && window.blocks.front().first + kBlockRows <= keepFrom)
            window.blocks.pop_front();
    }
    const Window::Block& block =
        window.blocks[static_cast<std::size_t>((row - window.blocks.front().first) / kBlockRows)];
    index = static_cast<std::size_t>(row - block.first);
    return block.columns;
}

long Recordset::absolutePosition() const {
    if (bof()) return AdPosBOF;
    if (eof()) return AdPosEOF;
    return position_ + 1;
}

void Recordset::setAbsolutePosition(long position) {
    requireOpen();
    if (position < 1 || position > rows_) {
        throw outsideTheRecords(position, rows_);
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
