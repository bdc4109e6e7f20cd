#include "platform/dao/text/TextTable.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/text/DelimitedParser.h"
#include "platform/dao/text/TextEncoding.h"
#include "platform/dao/text/TextStream.h"
#include "platform/dao/text/ValueScanning.h"

namespace keldara::dao::text {

namespace {

constexpr long kShortTextSize = 255;
constexpr long kLongTextSize = 536870910;
// Integers up to 2^53 in magnitude are exact as doubles.
constexpr std::int64_t kLargestExactInteger = std::int64_t{1} << 53;

// What a number or date scanned for a column's type gave, for storing it without reading it
// again.
struct ScannedValue {
    std::optional<std::int64_t> integer;
    std::optional<double> number;
    std::optional<ParsedDate> date;
};

void appendDate(Column& column, const ParsedDate& date) {
    const DateTime& parts = date.parts;
    if (date.hasTime) {
        column.appendDateTime(ValueKind::DateTime, parts);
    } else {
        column.appendDateTime(ValueKind::Date, DateTime{parts.year, parts.month, parts.day});
    }
}

// How a column's values are stored: as integers, doubles, dates or texts.
enum class StoredForm : std::uint8_t { NullsOnly, Integer, Double, Date, Text, Dropped };

StoredForm storedFormOf(int type) {
    switch (type) {
        case adType::Integer:
        case adType::BigInt:
            return StoredForm::Integer;
        case adType::Double:
            return StoredForm::Double;
        case adType::Date:
            return StoredForm::Date;
        default:
            return StoredForm::Text;
    }
}

// A column's values as the first pass of a load reads them, stored as the type the values so
// far give the column. Stored integers become doubles when a later value makes the column one
// of doubles (a double holds each of them exactly); any other change of type drops the
// values, and the second pass reads the column again.
class FirstPassColumn {
  public:
    void reserveAbout(std::size_t rows) {
        if (form_ != StoredForm::Dropped) column_.reserveAbout(rows);
    }
    void appendNull() {
        if (form_ != StoredForm::Dropped) column_.appendNull();
    }

    void append(StoredForm form, std::string_view bytes, const ScannedValue& scanned) {
        if (form != form_ && !settle(form)) return;
        switch (form) {
            case StoredForm::Integer:
                column_.appendInteger(*scanned.integer);
                break;
            case StoredForm::Double:
                column_.appendDouble(scanned.integer ? static_cast<double>(*scanned.integer)
                                                     : *scanned.number);
                break;
            case StoredForm::Date:
                appendDate(column_, *scanned.date);
                break;
            default:
                column_.appendUtf8Text(bytes);
        }
    }

    // Puts the values `rest` stored after these, both as `form`.
    void appendHalf(FirstPassColumn&& rest, StoredForm form) {
        if (settle(form) && rest.settle(form)) {
            column_.appendColumn(std::move(rest.column_));
        } else {
            drop();
        }
    }

    // Whether the stored values can be had as `form`, turning stored integers into doubles
    // for it; where they cannot, they are dropped.
    bool settle(StoredForm form) {
        if (form_ == form) return true;
        if (form_ == StoredForm::NullsOnly) {
            form_ = form;
            return true;
        }
        if (form_ == StoredForm::Integer && form == StoredForm::Double) {
            Column doubles;
            doubles.reserve(column_.size());
            for (std::size_t row = 0; row < column_.size(); ++row) {
                if (column_.kindAt(row) == ValueKind::Null) {
                    doubles.appendNull();
                } else {
                    doubles.appendDouble(static_cast<double>(column_.at(row).toInt()));
                }
            }
            column_ = std::move(doubles);
            form_ = form;
            return true;
        }
        drop();
        return false;
    }

    void drop() {
        column_ = Column();
        form_ = StoredForm::Dropped;
    }

    // The values, when all `rows` of the column are stored as `form`.
    std::optional<Column> take(StoredForm form, std::size_t rows) {
        if (!settle(form) || column_.size() != rows) return std::nullopt;
        return std::move(column_);
    }

  private:
    Column column_;
    StoredForm form_ = StoredForm::NullsOnly;
};

// What the values of one column seen so far have in common.
class ColumnScan {
  public:
    // Observes a value; with `stored`, also stores it there as the type the column has so far.
    void observe(std::string_view value, FirstPassColumn* stored = nullptr) {
        any_ = true;
        if (value.size() > static_cast<std::size_t>(kShortTextSize) &&
            utf8Length(value) > static_cast<std::size_t>(kShortTextSize)) {
            long_ = true;
        }
        ScannedValue scanned;
        if (int32_ || int64_ || double_) observeNumber(value, scanned, stored != nullptr);
        if (date_) {
            scanned.date = parseIsoDate(value);
            date_ = scanned.date.has_value();
        }
        if (stored) stored->append(storedForm(), value, scanned);
    }

    FieldInfo fieldInfo(const QString& name) const {
        FieldInfo info;
        info.name = name;
        if (!any_) {
            info.type = adType::VarWChar;
            info.definedSize = kShortTextSize;
        } else if (int32_) {
            info.type = adType::Integer;
            info.definedSize = 4;
            info.precision = 10;
        } else if (int64_) {
            info.type = adType::BigInt;
            info.definedSize = 8;
            info.precision = 19;
        } else if (double_) {
            info.type = adType::Double;
            info.definedSize = 8;
            info.precision = 15;
        } else if (date_) {
            info.type = adType::Date;
            info.definedSize = 8;
        } else if (long_) {
            info.type = adType::LongVarWChar;
            info.definedSize = kLongTextSize;
        } else {
            info.type = adType::VarWChar;
            info.definedSize = kShortTextSize;
        }
        return info;
    }

    // How the values seen so far are stored, as fieldInfo types them.
    StoredForm storedForm() const {
        if (!any_) return StoredForm::NullsOnly;
        if (int32_ || int64_) return StoredForm::Integer;
        if (double_) return StoredForm::Double;
        if (date_) return StoredForm::Date;
        return StoredForm::Text;
    }

    // What both parts of a column's values have in common.
    void merge(const ColumnScan& rest) {
        any_ = any_ || rest.any_;
        long_ = long_ || rest.long_;
        int32_ = int32_ && rest.int32_;
        int64_ = int64_ && rest.int64_;
        double_ = double_ && rest.double_;
        date_ = date_ && rest.date_;
    }

  private:
    void observeNumber(std::string_view value, ScannedValue& scanned, bool keepNumber) {
        if (const auto integer = parseInteger(value)) {
            if (*integer < INT32_MIN || *integer > INT32_MAX) int32_ = false;
            if (*integer < -kLargestExactInteger || *integer > kLargestExactInteger) {
                double_ = false;
            }
            scanned.integer = integer;
            return;
        }
        int32_ = int64_ = false;
        if (!double_) return;
        if (keepNumber) {
            scanned.number = parseExactDouble(value);
            double_ = scanned.number.has_value();
        } else {
            double_ = isExactDouble(value);
        }
    }

    bool any_ = false;
    bool long_ = false;
    bool int32_ = true;
    bool int64_ = true;
    bool double_ = true;
    bool date_ = true;
};

bool isBlank(const QString& name) {
    return name.trimmed().isEmpty();
}

// Blank names become F1, F2, ... by position; a name already taken (in any letter case)
// gets "_2", "_3", ... appended, so that every field can be found by its name. The next
// suffix to try is kept per name: the suffixes below it are taken for good, which keeps
// thousands of equal names linear.
std::vector<QString> uniqueFieldNames(std::vector<QString> names) {
    QSet<QString> taken;
    QHash<QString, int> nextSuffix;
    taken.reserve(static_cast<qsizetype>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        QString name = isBlank(names[i]) ? u'F' + QString::number(i + 1) : names[i];
        QString key = name.toLower();
        if (taken.contains(key)) {
            auto next = nextSuffix.find(key);
            if (next == nextSuffix.end()) next = nextSuffix.insert(key, 2);
            int& suffix = next.value();
            while (taken.contains(key + u'_' + QString::number(suffix))) ++suffix;
            name += u'_' + QString::number(suffix);
            key += u'_' + QString::number(suffix);
            ++suffix;
        }
        taken.insert(key);
        names[i] = std::move(name);
    }
    return names;
}

QString textOf(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Appends the value of `bytes` as the first pass typed its column; false when it does not
// hold that type, which only a file changed since the first pass can give.
bool appendValue(Column& column, std::string_view bytes, int type) {
    switch (type) {
        case adType::Integer:
        case adType::BigInt: {
            const auto integer = parseInteger(bytes);
            if (integer) column.appendInteger(*integer);
            return integer.has_value();
        }
        case adType::Double: {
            const auto number = parseExactDouble(bytes);
            if (number) column.appendDouble(*number);
            return number.has_value();
        }
        case adType::Date: {
            const auto date = parseIsoDate(bytes);
            if (date) appendDate(column, *date);
            return date.has_value();
        }
        default:
            column.appendUtf8Text(bytes);  // a text: no QString in between when it is ASCII
            return true;
    }
}

DaoError changedMeanwhile(const QString& path) {
    return DaoError(DaoError::BadFile,
                    QStringLiteral("The file \"%1\" cannot be read: it was changed while it was "
                                   "being read.")
                        .arg(path));
}

// Where the second pass may be taken up by a second reader: the first record that begins
// past the middle of the text, and the rows of the table before it.
struct MiddleRecord {
    std::uint64_t offset = 0;  // in bytes of the text
    std::int64_t line = 0;
    std::size_t rowsBefore = 0;
};

// What the first pass over a text finds, record by record: the field names, the number of
// records and every column's type, and the record in the middle where `middle` is given.
// With `storeValues`, a text with a header line has its values stored as they are read,
// typed as the values before them give their column (FirstPassColumn).
class TableScan {
  public:
    TableScan(const QString& path, bool headerRow, std::uint64_t middle = 0,
              bool storeValues = false)
        : path_(path), headerRow_(headerRow), storing_(storeValues && headerRow), middle_(middle) {}

    // A scan of the records after the ones `head` has seen, once it has seen the header line.
    static TableScan after(const TableScan& head, std::uint64_t expectedBytes) {
        TableScan rest(head.path_, head.headerRow_, 0, head.storing_);
        rest.expectedBytes_ = expectedBytes;
        rest.headerSeen_ = head.headerSeen_;
        if (head.headerRow_) rest.columns_ = head.columns_;
        rest.scans_.resize(rest.columns_);
        rest.stored_.resize(head.stored_.size());
        return rest;
    }
    bool namesKnown() const { return !headerRow_ || headerSeen_; }
    // The bytes of text from the first record this scan reads to the last, about: the
    // columns that store values are made room for as many records as the first ones suggest.
    void expectBytes(std::uint64_t bytes) { expectedBytes_ = bytes; }
    bool refusesARecord() const { return widthError_.has_value(); }

    // Takes in what a scan `after` this one found from the record at `offset` (on `line`) to
    // the end of the text; that record becomes the middle one.
    void append(TableScan&& rest, std::uint64_t offset, std::int64_t line) {
        middleRecord_ = {offset, line, nonBlankRecords_, blankRecords_ + pendingBlank_};
        if (rest.nonBlankRecords_ > 0) blankRecords_ += pendingBlank_ + rest.blankRecords_;
        if (storing_ && rest.nonBlankRecords_ > 0) storeBlankRows();
        nonBlankRecords_ += rest.nonBlankRecords_;
        columns_ = std::max(columns_, rest.columns_);
        scans_.resize(columns_);
        for (std::size_t c = 0; c < rest.scans_.size(); ++c) scans_[c].merge(rest.scans_[c]);
        storing_ = storing_ && rest.storing_;
        if (storing_) {
            appendStored(rest);
        } else {
            for (FirstPassColumn& column : stored_) column.drop();
        }
    }

    // Blank lines at the end of the text are no records; the ones before the header line
    // neither.
    template <class Records>
    void observe(const Records& reader) {
        const auto fields = reader.fields();
        if (fields.empty()) {
            if (!headerRow_ || headerSeen_) ++pendingBlank_;
            return;
        }
        if (headerRow_ && !headerSeen_) {
            for (const FieldSlice& slice : fields) names_.push_back(textOf(reader.bytes(slice)));
            columns_ = names_.size();
            scans_.resize(columns_);
            if (storing_) stored_.resize(columns_);
            headerSeen_ = true;
            return;
        }
        if (middle_ != 0 && !middleRecord_ && reader.recordOffset() >= middle_) {
            middleRecord_ = {reader.recordOffset(), reader.line(), nonBlankRecords_,
                             blankRecords_ + pendingBlank_};
        }
        if (storing_) storeBlankRows();
        blankRecords_ += pendingBlank_;
        pendingBlank_ = 0;
        ++nonBlankRecords_;
        if (headerRow_) {
            checkWidth(reader.line(), fields);
        } else if (fields.size() > columns_) {
            columns_ = fields.size();
            scans_.resize(columns_);
        }
        const std::size_t width = std::min(fields.size(), columns_);
        if (storing_) {
            storeRecord(reader, fields, width);
            return;
        }
        for (std::size_t c = 0; c < width; ++c) {
            if (fields[c].origin != SliceOrigin::Null) scans_[c].observe(reader.bytes(fields[c]));
        }
    }

    // The fields, or none for a text without any; throws DaoError for a record wider than
    // the header line, or one of far too few fields for the text's `textBytes`.
    bool isEmpty() const { return headerRow_ ? !headerSeen_ : columns_ == 0; }
    std::vector<FieldInfo> fields(std::uint64_t textBytes) {
        if (widthError_) throw *widthError_;
        checkCellCount(textBytes);
        names_.resize(columns_);
        scans_.resize(columns_);
        std::vector<FieldInfo> fields;
        fields.reserve(columns_);
        const std::vector<QString> names = uniqueFieldNames(std::move(names_));
        for (std::size_t c = 0; c < columns_; ++c) fields.push_back(scans_[c].fieldInfo(names[c]));
        return fields;
    }
    std::size_t rows() const { return rowsOf(nonBlankRecords_, blankRecords_); }
    // The values stored of every field whose values were all stored as its type; none for
    // the ones the second pass is to read.
    std::vector<std::optional<Column>> storedColumns(const std::vector<FieldInfo>& fields) {
        std::vector<std::optional<Column>> columns(fields.size());
        if (!storing_ || stored_.size() != fields.size()) return columns;
        for (std::size_t c = 0; c < fields.size(); ++c)
            columns[c] = stored_[c].take(storedFormOf(fields[c].type), rows());
        return columns;
    }
    std::optional<MiddleRecord> middleRecord() const {
        if (!middleRecord_) return std::nullopt;
        return MiddleRecord{middleRecord_->offset, middleRecord_->line,
                            rowsOf(middleRecord_->nonBlankBefore, middleRecord_->blankBefore)};
    }

  private:
    struct Seen {
        std::uint64_t offset;
        std::int64_t line;
        std::size_t nonBlankBefore;
        std::size_t blankBefore;
    };

    // Puts the values `rest` stored after these, every other column on a second thread:
    // copying the columns of a large text is a part of its load that no other work overlaps.
    void appendStored(TableScan& rest) {
        const auto appendEvery = [&](std::size_t first) {
            for (std::size_t c = first; c < stored_.size(); c += 2)
                stored_[c].appendHalf(std::move(rest.stored_[c]), scans_[c].storedForm());
        };
        auto odd = std::async(std::launch::async, appendEvery, std::size_t{1});
        appendEvery(0);
        odd.get();
    }

    template <class Records>
    void storeRecord(const Records& reader, std::span<const FieldSlice> fields, std::size_t width) {
        for (std::size_t c = 0; c < width; ++c) {
            if (fields[c].origin == SliceOrigin::Null) {
                stored_[c].appendNull();
            } else {
                scans_[c].observe(reader.bytes(fields[c]), &stored_[c]);
            }
        }
        for (std::size_t c = width; c < columns_; ++c) stored_[c].appendNull();
        storedCells_ += columns_;
        if (!firstStoredOffset_) firstStoredOffset_ = reader.recordOffset();
        const std::uint64_t bytesRead = reader.recordOffset() - *firstStoredOffset_;
        if (!withinCellBound(storedCells_, static_cast<double>(bytesRead))) stopStoring();
        if (++storedRecords_ == kRecordsBeforeReserving) reserveStore(bytesRead);
    }

    // Room for a few percent more records than the first ones suggest saves growing the
    // columns by copying; the memory is taken as the records come, so a guess too high, from
    // records shorter at the start than later, costs no memory.
    static constexpr std::size_t kRecordsBeforeReserving = 512;
    void reserveStore(std::uint64_t bytesRead) {
        if (bytesRead == 0 || expectedBytes_ <= bytesRead) return;
        const double records = static_cast<double>(kRecordsBeforeReserving) *
                               static_cast<double>(expectedBytes_) /
                               static_cast<double>(bytesRead) * 1.03;
        // Not for more cells than a text of that size may fill (a damaged one would take them
        // all before it is refused).
        const double cells = records * static_cast<double>(columns_);
        if (!withinCellBound(cells, static_cast<double>(expectedBytes_))) return;
        for (FirstPassColumn& column : stored_)
            column.reserveAbout(static_cast<std::size_t>(records));
    }

    // The blank lines before a record are rows of a table of one column.
    void storeBlankRows() {
        if (columns_ != 1) return;
        for (std::size_t i = 0; i < pendingBlank_; ++i) stored_[0].appendNull();
        storedCells_ += pendingBlank_;
    }

    // Short records are filled up with Nulls, but not without bound (checkCellCount).
    static bool withinCellBound(double cells, double textBytes) {
        return cells <= 16.0 * textBytes + 16.0 * 1024 * 1024;
    }

    void stopStoring() {
        storing_ = false;
        for (FirstPassColumn& column : stored_) column.drop();
    }

    // A blank line is a row only where the table has one column.
    std::size_t rowsOf(std::size_t nonBlank, std::size_t blank) const {
        return nonBlank + (columns_ == 1 ? blank : 0);
    }

    // A record wider than the header line is refused unless its extra fields are empty; the
    // first such record is named once the whole text has been read, so that damage to its
    // quoting is reported first.
    void checkWidth(std::int64_t line, std::span<const FieldSlice> fields) {
        if (fields.size() <= columns_ || widthError_) return;
        const bool extraAreEmpty =
            std::all_of(fields.begin() + static_cast<std::ptrdiff_t>(columns_), fields.end(),
                        [](const FieldSlice& s) { return s.origin == SliceOrigin::Null; });
        if (extraAreEmpty) return;
        widthError_ = DaoError(DaoError::BadFile,
                               QStringLiteral("The file \"%1\" cannot be read: line %2 holds %3 "
                                              "fields, but the header line names only %4.")
                                   .arg(path_, QString::number(line),
                                        QString::number(fields.size()), QString::number(columns_)));
    }

    // Short records are filled up with Nulls. A header line of thousands of fields over
    // many short lines, as a damaged file may hold, would need far more memory than the
    // file's size warrants; such a file is refused.
    void checkCellCount(std::uint64_t textBytes) const {
        const double cells = static_cast<double>(rows()) * static_cast<double>(columns_);
        if (withinCellBound(cells, static_cast<double>(textBytes))) return;
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The file \"%1\" cannot be read: its %2 records hold far "
                                      "fewer fields than the table's %3 columns.")
                           .arg(path_, QString::number(rows()), QString::number(columns_)));
    }

    QString path_;
    bool headerRow_;
    bool storing_;
    bool headerSeen_ = false;
    std::vector<QString> names_;
    std::vector<ColumnScan> scans_;
    std::vector<FirstPassColumn> stored_;
    double storedCells_ = 0;
    std::size_t storedRecords_ = 0;
    std::uint64_t expectedBytes_ = 0;
    std::optional<std::uint64_t> firstStoredOffset_;
    std::optional<DaoError> widthError_;
    std::size_t columns_ = 0;
    std::size_t nonBlankRecords_ = 0;
    std::size_t blankRecords_ = 0;
    std::size_t pendingBlank_ = 0;
    std::uint64_t middle_;
    std::optional<Seen> middleRecord_;
};

// The second pass: the values of one record after another, typed as the first pass found.
// A blank line is a record of one Null field where there is one field, and nothing where
// there are several.
class RowFiller {
  public:
    // Only the columns `reads` marks are filled, where it is given.
    RowFiller(const QString& path, std::vector<FieldInfo> fields, bool headerRow,
              std::vector<bool> reads = {})
        : path_(path),
          fields_(std::move(fields)),
          reads_(std::move(reads)),
          headerSkipped_(!headerRow) {
        reads_.resize(fields_.size(), true);
    }

    // Appends the next record's values to `columns`; false after the last record.
    template <class Records>
    bool appendRow(Records& reader, std::vector<Column>& columns) {
        const std::size_t width = fields_.size();
        for (;;) {
            if (!reader.next()) return false;
            const auto slices = reader.fields();
            if (!headerSkipped_) {
                headerSkipped_ = !slices.empty();
                continue;
            }
            if (slices.empty() && width != 1) continue;
            const std::size_t filled = std::min(slices.size(), width);
            for (std::size_t c = 0; c < width; ++c) {
                if (!reads_[c]) continue;
                if (c >= filled || slices[c].origin == SliceOrigin::Null) {
                    columns[c].appendNull();
                } else if (!appendValue(columns[c], reader.bytes(slices[c]), fields_[c].type)) {
                    throw changedMeanwhile(path_);
                }
            }
            return true;
        }
    }

  private:
    QString path_;
    std::vector<FieldInfo> fields_;
    std::vector<bool> reads_;
    bool headerSkipped_;
};

// The bytes of the blocks a file of `fileBytes` is read in: a sixty-fourth of it, from 128 KB
// up to `most`. A block's memory is pages the kernel has to fault in at first use (on a virtual
// machine, as much time as reading the bytes into them), and a small file would pay for large
// blocks' pages in full.
qint64 blockBytesFor(std::uint64_t fileBytes, qint64 most) {
    constexpr qint64 kSmallBlockBytes = 128 << 10;
    return std::min(most, std::max(static_cast<qint64>(fileBytes / 64), kSmallBlockBytes));
}

// The records of a text file, in two passes over its text read a block at a time: the first
// finds the field names, the number of records and every column's type; the second stores
// the values in columns, all at once for a loaded recordset, or record by record as a
// streamed one asks for them. Neither holds more of the text than a block. A load stores the
// values in the first pass already, and reads again only the columns whose type changed in
// a way the values stored before could not follow.
class TextFileTable final : public RowSource {
  public:
    TextFileTable(const QString& path, const TextTableOptions& options)
        : TextFileTable(path, options, static_cast<std::uint64_t>(QFileInfo(path).size())) {}

  private:
    TextFileTable(const QString& path, const TextTableOptions& options, std::uint64_t fileBytes)
        : path_(path),
          blockBytes_(blockBytesFor(fileBytes, options.blockBytes)),
          blocks_(path, blockBytes_),
          headerRow_(options.headerRow),
          fileBytes_(fileBytes) {
        const std::string firstLine = blocks_.firstLine();
        delimiter_ = options.delimiter.value_or(chooseDelimiter(
            QFileInfo(path).fileName(),
            QByteArrayView(firstLine.data(), static_cast<qsizetype>(firstLine.size()))));
    }

  public:
    std::unique_ptr<Recordset> load() {
        std::optional<std::vector<FieldInfo>> fields = firstPass(middleOfText(), true);
        if (!fields) return std::make_unique<Recordset>();
        std::vector<Column> columns(fields->size());
        std::vector<bool> reads(fields->size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (storedColumns_[c]) {
                columns[c] = std::move(*storedColumns_[c]);
            } else {
                reads[c] = true;
                columns[c].reserve(rows_);
            }
        }
        storedColumns_.clear();
        if (std::find(reads.begin(), reads.end(), true) != reads.end())
            secondPass(columns, *fields, reads);
        return std::make_unique<Recordset>(std::move(*fields), std::move(columns));
    }

    std::unique_ptr<Recordset> open(std::unique_ptr<TextFileTable> self, long keepRows) {
        std::optional<std::vector<FieldInfo>> fields = firstPass(middleOfText(), false);
        if (!fields) return std::make_unique<Recordset>();
        return std::make_unique<Recordset>(std::move(*fields), static_cast<long>(rows_),
                                           std::move(self), keepRows);
    }

    long readRows(std::vector<Column>& columns, long maxRows) override {
        long rows = 0;
        while (rows < maxRows && filler_->appendRow(*records_, columns)) ++rows;
        return rows;
    }

  private:
    // A text of several blocks is read in two halves side by side where the machine has a
    // second core: the first pass always, the second when the table is loaded. 0 for reading
    // it whole.
    std::uint64_t middleOfText() const {
        const auto size = static_cast<qint64>(fileBytes_);
        if (size < 4 * blockBytes_ || std::thread::hardware_concurrency() < 2) return 0;
        return static_cast<std::uint64_t>(size / 2);
    }

    // The fields, or none for a text without any; the second pass is ready to begin. With
    // `storeValues`, the values stored on the way are kept in storedColumns_.
    std::optional<std::vector<FieldInfo>> firstPass(std::uint64_t middle, bool storeValues) {
        TableScan scan = scanText(middle, storeValues);
        if (blocks_.settleEncoding()) {
            scan = scanText(middle, storeValues);
            blocks_.rewind();
        }
        if (scan.isEmpty()) return std::nullopt;
        std::vector<FieldInfo> fields = scan.fields(scannedBytes_);
        filler_.emplace(path_, fields, headerRow_);
        records_.emplace(blocks_, delimiter_, path_);
        rows_ = scan.rows();
        middleRecord_ = scan.middleRecord();
        storedColumns_ = scan.storedColumns(fields);
        return fields;
    }

    // Reads the columns `reads` marks into `columns`.
    void secondPass(std::vector<Column>& columns, const std::vector<FieldInfo>& fields,
                    const std::vector<bool>& reads) {
        filler_.emplace(path_, fields, headerRow_, reads);
        std::unique_ptr<TextBlocks> secondHalf;
        if (middleRecord_) secondHalf = blocks_.readerFrom(middleRecord_->offset);
        if (secondHalf) {
            readInTwoHalves(columns, fields, reads, *secondHalf);
        } else if (readRows(columns, static_cast<long>(rows_)) != static_cast<long>(rows_)) {
            throw changedMeanwhile(path_);
        }
    }

    // The rows from the middle record on are read on a second thread into columns of their
    // own, which then go after the first half's. An error of the first half is the one
    // reported, as it comes first in the text.
    void readInTwoHalves(std::vector<Column>& columns, const std::vector<FieldInfo>& fields,
                         const std::vector<bool>& reads, TextBlocks& secondHalf) {
        const auto firstRows = static_cast<long>(middleRecord_->rowsBefore);
        const long lastRows = static_cast<long>(rows_) - firstRows;
        auto lastColumns = std::async(std::launch::async, [&] {
            std::vector<Column> half(columns.size());
            for (std::size_t c = 0; c < half.size(); ++c) {
                if (reads[c]) half[c].reserve(static_cast<std::size_t>(lastRows));
            }
            RecordStream records(secondHalf, delimiter_, path_, middleRecord_->line);
            RowFiller filler(path_, fields, false, reads);
            long rows = 0;
            while (rows < lastRows && filler.appendRow(records, half)) ++rows;
            if (rows != lastRows) throw changedMeanwhile(path_);
            return half;
        });
        const bool firstHalfWhole = readRows(columns, firstRows) == firstRows;
        std::vector<Column> half = lastColumns.get();
        if (!firstHalfWhole) throw changedMeanwhile(path_);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (reads[c]) columns[c].appendColumn(std::move(half[c]));
        }
    }

    // With a `middle`, the first pass over UTF-8 text scans from the first line past it on a
    // second thread, taking that line for a record's beginning. When this pass gets there and
    // a record does begin there, the rest is that scan's, unless it failed (an error, a
    // record it refuses, text that is not UTF-8: this pass goes on to find them as it would
    // alone); if the line lay inside a quoted field, its scan is dropped.
    TableScan scanText(std::uint64_t middle, bool storeValues) {
        TableScan scan(path_, headerRow_, middle, storeValues);
        scan.expectBytes(middle != 0 ? middle : fileBytes_);
        RecordStream records(blocks_, delimiter_, path_);
        std::optional<SecondHalfScan> secondHalf;
        while (records.next()) {
            if (secondHalf && records.recordOffset() >= secondHalf->start) {
                if (auto rest = secondHalf->result(records.recordOffset())) {
                    scan.append(std::move(rest->scan), records.recordOffset(), records.line());
                    scannedBytes_ = secondHalf->start + rest->textBytes;
                    return scan;
                }
                secondHalf.reset();
            }
            scan.observe(records);
            if (middle != 0 && scan.namesKnown()) {
                if (auto started = scanSecondHalf(scan, middle, records.recordOffset()))
                    secondHalf.emplace(std::move(*started));
                middle = 0;
            }
        }
        scannedBytes_ = blocks_.textSize();
        return scan;
    }

    struct HalfScanned {
        TableScan scan;
        std::uint64_t textBytes;
    };

    struct SecondHalfScan {
        std::uint64_t start;
        std::unique_ptr<std::atomic<bool>> stop;
        std::future<std::optional<HalfScanned>> scanned;

        SecondHalfScan(std::uint64_t start, std::unique_ptr<std::atomic<bool>> stop,
                       std::future<std::optional<HalfScanned>> scanned)
            : start(start), stop(std::move(stop)), scanned(std::move(scanned)) {}
        SecondHalfScan(SecondHalfScan&&) = default;
        ~SecondHalfScan() {
            if (stop) *stop = true;
        }
        // The scan from `start`, or none when `start` is no record's beginning or it failed.
        std::optional<HalfScanned> result(std::uint64_t recordStart) {
            if (recordStart != start) return std::nullopt;
            return scanned.get();
        }
    };

    std::optional<SecondHalfScan> scanSecondHalf(const TableScan& head, std::uint64_t middle,
                                                 std::uint64_t recordStart) {
        const std::optional<std::uint64_t> start = blocks_.lineStartFrom(middle);
        if (!start || *start <= recordStart) return std::nullopt;
        std::shared_ptr<TextBlocks> blocks = blocks_.readerFrom(*start);
        if (!blocks) return std::nullopt;
        auto stop = std::make_unique<std::atomic<bool>>(false);
        auto scanned =
            std::async(std::launch::async,
                       [this, blocks, rest = TableScan::after(head, fileBytes_ - *start),
                        &stopped = *stop]() mutable -> std::optional<HalfScanned> {
                           try {
                               RecordStream records(*blocks, delimiter_, path_);
                               while (!stopped && records.next()) rest.observe(records);
                               const std::uint64_t textBytes = blocks->textSize();
                               if (stopped || blocks->settleEncoding() || rest.refusesARecord())
                                   return std::nullopt;
                               return HalfScanned{std::move(rest), textBytes};
                           } catch (const DaoError&) {
                               return std::nullopt;
                           }
                       });
        return SecondHalfScan{*start, std::move(stop), std::move(scanned)};
    }

    const QString path_;
    qint64 blockBytes_;
    TextBlocks blocks_;
    bool headerRow_;
    std::uint64_t fileBytes_;
    char delimiter_ = ',';
    std::optional<RowFiller> filler_;
    std::optional<RecordStream> records_;
    std::size_t rows_ = 0;
    std::optional<MiddleRecord> middleRecord_;
    std::uint64_t scannedBytes_ = 0;  // of text, in the first pass
    std::vector<std::optional<Column>> storedColumns_;
};

}  // namespace

char chooseDelimiter(const QString& fileName, QByteArrayView text) {
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) return ',';
    qsizetype start = 0;
    while (start < text.size() && (text[start] == '\n' || text[start] == '\r')) ++start;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') break;
        if (text[i] == '\t') return '\t';
    }
    return ',';
}

std::unique_ptr<Recordset> readTextTable(const QString& path, const TextTableOptions& options) {
    return TextFileTable(path, options).load();
}

std::unique_ptr<Recordset> streamTextTable(const QString& path, const TextTableOptions& options,
                                           long keepRows) {
    auto table = std::make_unique<TextFileTable>(path, options);
    TextFileTable& opening = *table;
    return opening.open(std::move(table), keepRows);
}

}  // namespace keldara::dao::text
