#include "platform/dao/sheet/SheetTable.h"

#include <QSet>
#include <QStringList>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::sheet {

namespace {

constexpr long kTextSize = 255;
constexpr long kLongTextSize = 536870910;
// A table holds at least a few bytes a cell, blank or not: a used range beyond this (say a
// stray cell at XFD1048576) would take more memory than a desktop has.
constexpr std::uint64_t kMostCellsOfTable = 400'000'000;

enum KindBit : unsigned {
    NumberBit = 1,
    DateBit = 2,
    TextBit = 4,
    BooleanBit = 8,
};

unsigned kindBit(const Value& value) {
    switch (value.kind()) {
        case ValueKind::Double:
            return NumberBit;
        case ValueKind::Date:
        case ValueKind::Time:
        case ValueKind::DateTime:
            return DateBit;
        case ValueKind::Text:
            return TextBit;
        case ValueKind::Boolean:
            return BooleanBit;
        default:
            return 0;
    }
}

// An empty text occupies its cell, but a table reads it as Null, as it does an error.
bool isEmptyText(const Value& value) {
    return value.kind() == ValueKind::Text && value.toText().isEmpty();
}

Value tableValue(Value value) {
    return isEmptyText(value) ? Value::null() : std::move(value);
}

struct ColumnShape {
    unsigned kinds = 0;
    qsizetype longestText = 0;
    unsigned notes = 0;  // a bit for each CellNote its cells have

    void add(const SheetCell& cell) {
        if (cell.note != CellNote::None) notes |= 1u << static_cast<unsigned>(cell.note);
        if (isEmptyText(cell.value)) return;
        kinds |= kindBit(cell.value);
        if (cell.value.kind() == ValueKind::Text)
            longestText = std::max(longestText, cell.value.toText().size());
    }

    bool isMixed() const { return kinds != 0 && (kinds & (kinds - 1)) != 0; }

    QString note() const {
        QStringList texts;
        for (const CellNote note : {CellNote::DateAsText, CellNote::FormatCutShort}) {
            if (notes & (1u << static_cast<unsigned>(note))) texts << cellNoteText(note);
        }
        return texts.join(QLatin1String("; "));
    }
};

// Each field's note, from the cells of its column.
std::unique_ptr<Recordset> withNotes(std::unique_ptr<Recordset> records,
                                     const std::vector<ColumnShape>& shapes) {
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (shapes[i].notes != 0) records->setFieldNote(static_cast<int>(i), shapes[i].note());
    }
    return records;
}

// Appends a cell's value to its column: Null for an empty text, a mixed column's values as
// text.
void appendValue(Column& column, const Value& value, const ColumnShape& shape) {
    if (value.isNull() || isEmptyText(value)) {
        column.appendNull();
    } else if (shape.isMixed()) {
        column.appendText(ValueKind::Text, cellText(value));
    } else {
        column.append(value);
    }
}

struct Range {
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
    std::uint16_t firstColumn = 0;
    std::uint16_t lastColumn = 0;
    bool empty = true;
};

bool occupies(const SheetCell& cell) {
    return cell.isError || !cell.value.isNull();
}

Range usedRange(const std::vector<SheetCell>& cells) {
    Range range;
    for (const SheetCell& cell : cells) {
        if (!occupies(cell)) continue;
        if (range.empty) {
            range = Range{cell.row, cell.row, cell.column, cell.column, false};
            continue;
        }
        range.lastRow = std::max(range.lastRow, cell.row);  // cells come in row order
        range.firstColumn = std::min(range.firstColumn, cell.column);
        range.lastColumn = std::max(range.lastColumn, cell.column);
    }
    return range;
}

// Field names from the header row: blank ones become F1, F2, ... by position; a name that
// repeats an earlier one (in any letter case) gets the lowest free number appended.
std::vector<QString> fieldNames(const std::vector<SheetCell>& cells, const Range& range) {
    const std::size_t width = range.lastColumn - range.firstColumn + 1u;
    std::vector<QString> names(width);
    for (const SheetCell& cell : cells) {
        if (cell.row != range.firstRow) continue;
        QString& name = names[cell.column - range.firstColumn];
        name = cellText(cell.value);
        name.detach();  // its own copy, not the workbook's memory
    }
    for (std::size_t i = 0; i < width; ++i) {
        if (names[i].isEmpty()) names[i] = QStringLiteral("F%1").arg(i + 1);
    }
    QSet<QString> taken;
    for (QString& name : names) {
        if (taken.contains(name.toLower())) {
            QString candidate;
            for (int n = 1;; ++n) {
                candidate = name + QString::number(n);
                if (!taken.contains(candidate.toLower())) break;
            }
            name = candidate;
        }
        taken.insert(name.toLower());
    }
    return names;
}

FieldInfo fieldOfShape(const QString& name, const ColumnShape& shape) {
    FieldInfo field;
    field.name = name;
    switch (shape.kinds) {
        case NumberBit:
            field.type = adType::Double;
            field.definedSize = 8;
            field.precision = 15;
            return field;
        case DateBit:
            field.type = adType::Date;
            field.definedSize = 8;
            return field;
        case BooleanBit:
            field.type = adType::Boolean;
            field.definedSize = 2;
            return field;
        default:
            break;
    }
    const bool longText = shape.longestText > kTextSize;
    field.type = longText ? adType::LongVarWChar : adType::VarWChar;
    field.definedSize = longText ? kLongTextSize : kTextSize;
    return field;
}

void requireLoadableSize(std::uint64_t rows, std::uint64_t columns) {
    if (rows * columns > kMostCellsOfTable) {
        throw FormatError(QStringLiteral("its used range spans %1 rows and %2 columns, more "
                                         "than %3 cells in all, which is too many to load")
                              .arg(rows)
                              .arg(columns)
                              .arg(kMostCellsOfTable));
    }
}

std::unique_ptr<Recordset> emptySheetRecordset() {
    // An empty sheet reads as one blank column without records.
    return std::make_unique<Recordset>(
        std::vector<FieldInfo>{fieldOfShape(QStringLiteral("F1"), ColumnShape{})});
}

// Fills the records from the cells in row and column order, one per position: the rows
// below the header row, blank rows and cells as Nulls, a mixed column's values as text.
class RowBuilder {
  public:
    RowBuilder(const Range& range, const std::vector<QString>& names,
               std::vector<ColumnShape> shapes)
        : range_(requireLoadable(range)),
          shapes_(std::move(shapes)),
          columns_(shapes_.size()),
          row_(range.firstRow + 1) {
        fields_.reserve(shapes_.size());
        for (std::size_t i = 0; i < shapes_.size(); ++i) {
            fields_.push_back(fieldOfShape(names[i], shapes_[i]));
        }
        for (Column& column : columns_) column.reserve(range.lastRow - range.firstRow);
    }

    void add(SheetCell&& cell) {
        if (cell.row <= range_.firstRow || cell.row > range_.lastRow) return;
        if (cell.column < range_.firstColumn || cell.column > range_.lastColumn) return;
        const std::size_t i = cell.column - range_.firstColumn;
        fillBefore(cell.row, i);
        appendValue(columns_[i], cell.value, shapes_[i]);
        ++column_;
    }

    std::unique_ptr<Recordset> finish() {
        fillBefore(range_.lastRow + 1, 0);
        return withNotes(std::make_unique<Recordset>(std::move(fields_), std::move(columns_)),
                         shapes_);
    }

  private:
    static const Range& requireLoadable(const Range& range) {
        requireLoadableSize(range.lastRow - range.firstRow + 1u,
                            range.lastColumn - range.firstColumn + 1u);
        return range;
    }

    // Nulls for the positions without a cell before the given one.
    void fillBefore(std::uint32_t row, std::size_t column) {
        for (; row_ < row; ++row_, column_ = 0) {
            for (; column_ < columns_.size(); ++column_) columns_[column_].appendNull();
        }
        for (; column_ < column; ++column_) columns_[column_].appendNull();
    }

    Range range_;
    std::vector<ColumnShape> shapes_;
    std::vector<FieldInfo> fields_;
    std::vector<Column> columns_;
    std::uint32_t row_;       // the sheet row being filled
    std::size_t column_ = 0;  // the next column of that row to fill
};

// Follows a sheet's cells as the worksheet stores them: whether they come in row and column
// order, one per position, and the used range of those that occupy a position.
class CellWalk {
  public:
    bool inOrder = true;
    Range range;

    // True for a cell in order that occupies its position; `inOrder` turns false at the
    // first cell out of order.
    bool take(const SheetCell& cell) {
        if (!inOrder) return false;
        if ((any_ &&
             (cell.row < lastRow_ || (cell.row == lastRow_ && cell.column <= lastColumn_))) ||
            cell.column >= kMaxSheetColumns) {
            inOrder = false;
            return false;
        }
        any_ = true;
        lastRow_ = cell.row;
        lastColumn_ = cell.column;
        if (!occupies(cell)) return false;
        if (range.empty) {
            range = Range{cell.row, cell.row, cell.column, cell.column, false};
        } else {
            range.lastRow = cell.row;
            range.firstColumn = std::min(range.firstColumn, cell.column);
            range.lastColumn = std::max(range.lastColumn, cell.column);
        }
        return true;
    }

  private:
    bool any_ = false;
    std::uint32_t lastRow_ = 0;
    std::uint16_t lastColumn_ = 0;
};

// Builds the records of a sheet in one reading of its cells, as the worksheet stores them:
// each sheet column's values are kept as they come (Nulls filling the gaps), with the kinds
// they hold; a column of mixed kinds becomes text at the end. `inOrder` turns false, and
// the building stops, when the cells are not in row and column order, one per position.
class OnePassBuilder {
  public:
    bool inOrder() const { return walk_.inOrder; }

    void add(SheetCell&& cell) {
        if (!walk_.take(cell)) return;
        const Range& range_ = walk_.range;
        if (cell.row == range_.firstRow) {
            headerCells_.push_back(std::move(cell));
            return;
        }
        const std::uint32_t record = cell.row - range_.firstRow - 1;
        requireLoadableSize(record + 1u, range_.lastColumn - range_.firstColumn + 1u);
        if (cell.column >= columns_.size()) columns_.resize(cell.column + 1u);
        Pending& column = columns_[cell.column];
        column.fillTo(record);
        column.shape.add(cell);
        column.values.append(tableValue(std::move(cell.value)));
    }

    std::unique_ptr<Recordset> finish() {
        const Range& range_ = walk_.range;
        if (range_.empty) return emptySheetRecordset();
        const std::uint32_t records = range_.lastRow - range_.firstRow;
        requireLoadableSize(records + 1u, range_.lastColumn - range_.firstColumn + 1u);
        columns_.resize(range_.lastColumn + 1u);
        const std::vector<QString> names = fieldNames(headerCells_, range_);
        std::vector<FieldInfo> fields;
        std::vector<Column> values;
        std::vector<ColumnShape> shapes;
        for (std::size_t c = range_.firstColumn; c <= range_.lastColumn; ++c) {
            Pending& column = columns_[c];
            column.fillTo(records);
            fields.push_back(fieldOfShape(names[c - range_.firstColumn], column.shape));
            values.push_back(column.shape.isMixed() ? asText(column.values)
                                                    : std::move(column.values));
            shapes.push_back(column.shape);
            column = Pending{};
        }
        return withNotes(std::make_unique<Recordset>(std::move(fields), std::move(values)), shapes);
    }

  private:
    struct Pending {
        Column values;
        ColumnShape shape;
        void fillTo(std::uint32_t records) {
            while (values.size() < records) values.appendNull();
        }
    };

    static Column asText(const Column& mixed) {
        Column text;
        text.reserve(mixed.size());
        for (std::size_t row = 0; row < mixed.size(); ++row) {
            const Value value = mixed.at(row);
            if (value.isNull()) {
                text.appendNull();
            } else {
                text.appendText(ValueKind::Text, cellText(value));
            }
        }
        return text;
    }

    CellWalk walk_;
    std::vector<SheetCell> headerCells_;
    std::vector<Pending> columns_;  // by sheet column, as far as a cell has come
};

// The first pass over a sheet to be streamed: its range, header row and columns' kinds, as
// OnePassBuilder finds them, without keeping the values.
class ShapeScan {
  public:
    bool inOrder() const { return walk_.inOrder; }
    const Range& range() const { return walk_.range; }
    const std::vector<SheetCell>& headerCells() const { return headerCells_; }

    void add(SheetCell&& cell) {
        if (!walk_.take(cell)) return;
        const Range& range = walk_.range;
        if (cell.row == range.firstRow) {
            headerCells_.push_back(std::move(cell));
            return;
        }
        requireLoadableSize(cell.row - range.firstRow + 0u,
                            range.lastColumn - range.firstColumn + 1u);
        if (cell.column >= shapes_.size()) shapes_.resize(cell.column + 1u);
        shapes_[cell.column].add(cell);
    }

    // The shapes of the range's columns.
    std::vector<ColumnShape> shapes() const {
        std::vector<ColumnShape> shapes(shapes_);
        shapes.resize(walk_.range.lastColumn + 1u);
        return {shapes.begin() + walk_.range.firstColumn, shapes.end()};
    }

  private:
    CellWalk walk_;
    std::vector<SheetCell> headerCells_;
    std::vector<ColumnShape> shapes_;  // by sheet column
};

// The records of a sheet read again for a streamed recordset: a second thread reads the
// cells and hands them over a few thousand at a time, waiting while they are not taken.
class StreamedSheet final : public RowSource {
  public:
    StreamedSheet(std::shared_ptr<const SheetBook> book, std::size_t sheet, const Range& range,
                  std::vector<ColumnShape> shapes, std::function<void()> rethrow)
        : book_(std::move(book)),
          sheet_(sheet),
          range_(range),
          shapes_(std::move(shapes)),
          rethrow_(std::move(rethrow)),
          row_(range.firstRow + 1) {
        reader_ = std::thread([this] { readCells(); });
    }

    ~StreamedSheet() override {
        {
            const std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }

    long readRows(std::vector<Column>& columns, long maxRows) override {
        const std::uint32_t end =
            std::min<std::uint32_t>(row_ + static_cast<std::uint32_t>(maxRows), range_.lastRow + 1);
        const std::uint32_t first = row_;
        while (std::optional<SheetCell> cell = nextCell()) {
            if (cell->row <= range_.firstRow || cell->row > range_.lastRow) continue;
            if (cell->column < range_.firstColumn || cell->column > range_.lastColumn) continue;
            if (cell->row >= end) {
                pending_ = std::move(cell);
                break;
            }
            const std::size_t i = cell->column - range_.firstColumn;
            fillBefore(columns, cell->row, i);
            appendValue(columns[i], cell->value, shapes_[i]);
            ++column_;
        }
        fillBefore(columns, end, 0);
        return static_cast<long>(end - first);
    }

  private:
    struct Cancelled {};
    static constexpr std::size_t kCellsAtATime = 4096;

    void readCells() {
        try {
            book_->visitCells(sheet_, [this](SheetCell&& cell) {
                if (cell.value.kind() == ValueKind::Text) {
                    QString text = cell.value.toText();
                    text.detach();  // its own copy, not the workbook's memory
                    cell.value = Value::text(text);
                }
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return cancelled_ || cells_.size() < kCellsAtATime; });
                if (cancelled_) throw Cancelled{};
                cells_.push_back(std::move(cell));
                changed_.notify_all();
            });
        } catch (const Cancelled&) {
        } catch (...) {
            const std::lock_guard lock(mutex_);
            error_ = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    // The next cell of the sheet; none after the last. Throws what reading the sheet threw.
    std::optional<SheetCell> nextCell() {
        if (pending_) return std::exchange(pending_, std::nullopt);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done_ || !cells_.empty(); });
        if (cells_.empty()) {
            if (error_) {
                try {
                    std::rethrow_exception(error_);
                } catch (const FormatError&) {
                    rethrow_();
                }
            }
            return std::nullopt;
        }
        SheetCell cell = std::move(cells_.front());
        cells_.pop_front();
        changed_.notify_all();
        return cell;
    }

    // Nulls for the positions without a cell before the given one.
    void fillBefore(std::vector<Column>& columns, std::uint32_t row, std::size_t column) {
        for (; row_ < row; ++row_, column_ = 0) {
            for (; column_ < columns.size(); ++column_) columns[column_].appendNull();
        }
        for (; column_ < column; ++column_) columns[column_].appendNull();
    }

    std::shared_ptr<const SheetBook> book_;
    std::size_t sheet_;
    Range range_;
    std::vector<ColumnShape> shapes_;
    std::function<void()> rethrow_;
    std::uint32_t row_;       // the sheet row being filled
    std::size_t column_ = 0;  // the next column of that row to fill
    std::optional<SheetCell> pending_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<SheetCell> cells_;
    bool done_ = false;
    bool cancelled_ = false;
    std::exception_ptr error_;
    std::thread reader_;
};

}  // namespace

QString cellText(const Value& value) {
    if (value.kind() == ValueKind::Boolean) {
        return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    }
    return value.standardText();
}

QString sheetTableName(const QString& sheetName) {
    bool plain = !sheetName.isEmpty() && !sheetName.front().isDigit();
    for (const QChar c : sheetName) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_')) plain = false;
    }
    if (plain) return sheetName + QLatin1Char('$');
    QString quoted = sheetName;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1String("$'");
}

std::unique_ptr<Recordset> sheetRecordset(std::vector<SheetCell> cells) {
    const Range range = usedRange(cells);
    if (range.empty) return emptySheetRecordset();
    const std::size_t width = range.lastColumn - range.firstColumn + 1u;
    std::vector<ColumnShape> shapes(width);
    for (const SheetCell& cell : cells) {
        if (cell.row <= range.firstRow || cell.row > range.lastRow) continue;
        if (cell.column < range.firstColumn || cell.column > range.lastColumn) continue;
        shapes[cell.column - range.firstColumn].add(cell);
    }
    RowBuilder builder(range, fieldNames(cells, range), std::move(shapes));
    for (SheetCell& cell : cells) builder.add(std::move(cell));
    return builder.finish();
}

std::unique_ptr<Recordset> sheetRecordset(const SheetBook& book, std::size_t sheet) {
    auto builder = std::make_unique<OnePassBuilder>();
    book.visitCells(sheet, [&builder](SheetCell&& cell) { builder->add(std::move(cell)); });
    if (builder->inOrder()) return builder->finish();
    builder.reset();  // its memory back before the cells are read again
    return sheetRecordset(book.readCells(sheet));
}

std::unique_ptr<Recordset> streamSheetRecordset(std::shared_ptr<const SheetBook> book,
                                                std::size_t sheet, long keepRows,
                                                const std::function<void()>& rethrow) {
    ShapeScan scan;
    book->visitCells(sheet, [&scan](SheetCell&& cell) { scan.add(std::move(cell)); });
    if (!scan.inOrder()) return sheetRecordset(*book, sheet);
    const Range range = scan.range();
    if (range.empty) return emptySheetRecordset();
    const std::uint32_t records = range.lastRow - range.firstRow;
    requireLoadableSize(records + 1u, range.lastColumn - range.firstColumn + 1u);
    const std::vector<QString> names = fieldNames(scan.headerCells(), range);
    std::vector<ColumnShape> shapes = scan.shapes();
    std::vector<FieldInfo> fields;
    for (std::size_t i = 0; i < shapes.size(); ++i)
        fields.push_back(fieldOfShape(names[i], shapes[i]));
    auto source = std::make_unique<StreamedSheet>(std::move(book), sheet, range, shapes, rethrow);
    return withNotes(std::make_unique<Recordset>(std::move(fields), static_cast<long>(records),
                                                 std::move(source), keepRows),
                     shapes);
}

}  // namespace keldara::dao::sheet
