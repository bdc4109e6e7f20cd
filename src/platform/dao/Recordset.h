#pragma once

#include <QString>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/dao/Column.h"
#include "platform/dao/Field.h"

namespace keldara::dao {

// The records of a table read from its file in order, a few at a time, for a recordset that
// does not hold them all.
class RowSource {
  public:
    virtual ~RowSource() = default;
    // Appends the next records, up to `maxRows` (fewer only at the end), one value per
    // column; gives how many it appended.
    virtual long readRows(std::vector<Column>& columns, long maxRows) = 0;
};

// A static, client-side, scrollable recordset held in memory column by column.
// Navigation follows ADO: BOF before the first record, EOF after the last, both on an empty
// recordset; moving past either end or reading a field there raises DaoError.
class Recordset {
  public:
    explicit Recordset(std::vector<FieldInfo> fields = {});
    // A recordset of columns built already, one per field, all of the same length.
    Recordset(std::vector<FieldInfo> fields, std::vector<Column> columns);
    // A recordset of `rowCount` records that reads them from `source` only as they are
    // asked for, which must be in increasing order (from any number of threads), and keeps
    // only the last `keepRows` before the furthest one asked for: reading an earlier one is
    // an error. Moving the position or reading by row index work as on a loaded one.
    Recordset(std::vector<FieldInfo> fields, long rowCount, std::unique_ptr<RowSource> source,
              long keepRows);
    bool isStreamed() const { return window_ != nullptr; }
    // A streamed recordset keeps at least the last `rows` from now on; nothing for a loaded one.
    void keepAtLeast(long rows) const;

    // Building, by the providers.
    void appendRow(std::span<const Value> row);
    void reserve(std::size_t rows);
    FieldInfo& fieldInfo(int index) { return fields_.at(static_cast<std::size_t>(index)); }
    void setFieldNote(int index, const QString& note);

    // Fields.
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    const FieldInfo& fieldInfo(int index) const {
        return fields_.at(static_cast<std::size_t>(index));
    }
    // Why the values of a field are not all the file holds (a type that cannot be read,
    // values that are not copied); empty when they are.
    QString fieldNote(int index) const;
    Field field(int index) const;               // with the current record's value
    Value value(int index) const;               // the current record's value
    Value valueAt(long row, int column) const;  // row from 0, independent of the position
    ValueKind kindAt(long row, int column) const;
    // Calls `read` with the columns that hold record `row` (from 0) and its index in them: the
    // record looked up once for all its values, which `read` takes in place.
    template <typename Read>
    void readRecord(long row, Read&& read) const {
        const std::unique_lock<std::mutex> lock = lockStreamed();
        std::size_t index = 0;
        const std::vector<Column>& columns = recordColumns(row, index);
        read(columns, index);
    }

    // Calls `read` as readRecord does for each record from `first` up to `end`, as long as
    // it returns true: a streamed source is held once for them all.
    template <typename Read>
    void readRecords(long first, long end, Read&& read) const {
        const std::unique_lock<std::mutex> lock = lockStreamed();
        for (long row = first; row < end; ++row) {
            std::size_t index = 0;
            const std::vector<Column>& columns = recordColumns(row, index);
            if (!read(columns, index)) return;
        }
    }

    // Records and position.
    long recordCount() const { return rows_; }
    bool bof() const { return rows_ == 0 || position_ < 0; }
    bool eof() const { return rows_ == 0 || position_ >= rows_; }
    long absolutePosition() const;  // 1-based; AdPosBOF or AdPosEOF outside the records
    void setAbsolutePosition(long position);
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();

    bool isOpen() const { return open_; }
    void close();

    static constexpr long AdPosBOF = -2;
    static constexpr long AdPosEOF = -3;

  private:
    void requireOpen() const;
    void requireCurrent() const;
    struct Window;
    const Column& streamedColumn(long row, int column, std::size_t& index) const;
    const std::vector<Column>& streamedColumns(long row, std::size_t& index) const;
    // The lock a streamed recordset's records are read under; none for a loaded one.
    std::unique_lock<std::mutex> lockStreamed() const;
    // The columns holding record `row` and its index in them; for a streamed recordset, under
    // lockStreamed().
    const std::vector<Column>& recordColumns(long row, std::size_t& index) const;

    std::vector<FieldInfo> fields_;
    std::vector<Column> columns_;
    std::vector<QString> notes_;  // empty while no field has one
    long rows_ = 0;
    long position_ = 0;
    bool open_ = true;
    std::shared_ptr<Window> window_;  // the records held of a streamed recordset
};

}  // namespace keldara::dao
