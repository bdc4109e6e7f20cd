#include "platform/dao/ods/OdsSpreadsheet.h"

#include <charconv>
#include <cmath>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dao/sheet/SheetError.h"
#include "platform/dao/sheet/XmlStream.h"
#include "platform/dao/sheet/ZipPackage.h"

namespace keldara::dao::ods {

using sheet::FormatError;
using sheet::NamespaceTest;
using sheet::XmlName;

namespace {

const QString kContent = QStringLiteral("content.xml");
const QString kManifest = QStringLiteral("META-INF/manifest.xml");

constexpr std::string_view kTableSpace = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kOfficeSpace = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTextSpace = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kCalcExtSpace =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";

// Repeating cells that hold something may make a table this large and no larger: beyond it
// a small file would ask for more memory than any real sheet needs.
constexpr std::uint64_t kMostRepeatedCells = 50'000'000;

std::uint64_t repeatCount(const char* value) {
    if (!value) return 1;
    std::uint64_t count = 0;
    const std::string_view text(value);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count == 0) {
        throw FormatError(
            QStringLiteral("a row or cell is repeated \"%1\" times").arg(QString::fromUtf8(value)));
    }
    return count;
}

// A duration ("PT12H30M05.5S", "P1DT2H") as a fraction of days; nothing when it is none.
std::optional<double> durationInDays(std::string_view text) {
    if (text.empty() || text[0] != 'P') return std::nullopt;
    double seconds = 0;
    bool inTime = false;
    std::size_t at = 1;
    while (at < text.size()) {
        if (text[at] == 'T') {
            inTime = true;
            ++at;
            continue;
        }
        double amount = 0;
        const auto [end, error] =
            std::from_chars(text.data() + at, text.data() + text.size(), amount);
        if (error != std::errc() || end == text.data() + text.size()) return std::nullopt;
        const char unit = *end;
        if (unit == 'D' && !inTime) {
            seconds += amount * 86400;
        } else if (unit == 'H' && inTime) {
            seconds += amount * 3600;
        } else if (unit == 'M' && inTime) {
            seconds += amount * 60;
        } else if (unit == 'S' && inTime) {
            seconds += amount;
        } else {
            return std::nullopt;
        }
        at = static_cast<std::size_t>(end - text.data()) + 1;
    }
    return seconds / 86400;
}

// The names of the tables, in document order, their content passed over unparsed; with a
// `wanted` name, the reading stops at the first table of that name but for letter case.
class TableNamesReader : public sheet::XmlHandler {
  public:
    explicit TableNamesReader(const QString& wanted = {}) : wanted_(wanted) {}

    void startElement(XmlName name, const char** attributes) override {
        if (!is(name, kTableSpace, "table")) return;
        if (depth_++ == 0) {
            const char* tableName = attribute(attributes, "name", kTableSpace);
            names.push_back(QString::fromUtf8(tableName ? tableName : ""));
            if (!wanted_.isNull() && names.back().compare(wanted_, Qt::CaseInsensitive) == 0)
                stop();
            else
                skipContent();
        }
    }
    void endElement(XmlName name) override {
        if (is(name, kTableSpace, "table")) --depth_;
    }

    std::vector<QString> names;

  private:
    QString wanted_;
    int depth_ = 0;
};

// The cells of the n-th table, handed on as they are parsed; the tables before it are passed
// over unparsed.
class TableReader : public sheet::XmlHandler {
  public:
    TableReader(std::size_t table, const sheet::CellSink& sink) : wanted_(table), sink_(sink) {}

    void startElement(XmlName name, const char** attributes) override {
        if (table_.holds(*this, name, "table")) {
            if (tableDepth_++ == 0) {
                inWanted_ = tables_++ == wanted_;
                if (!inWanted_) skipContent();
            }
            return;
        }
        if (!inWanted_ || tableDepth_ != 1) return;
        if (ignoredDepth_ > 0) {
            ++ignoredDepth_;
        } else if (inCell_) {
            startInCell(name, attributes);
        } else if (table_.holds(*this, name, "table-row")) {
            rowRepeat_ = repeatCount(attribute(attributes, "number-rows-repeated", kTableSpace));
            rowCells_.clear();
            column_ = 0;
        } else if (isCell(name)) {
            startCell(name, attributes);
        }
    }

    void endElement(XmlName name) override {
        if (table_.holds(*this, name, "table")) {
            if (--tableDepth_ == 0 && inWanted_) stop();
            return;
        }
        if (!inWanted_ || tableDepth_ != 1) return;
        if (ignoredDepth_ > 0) {
            --ignoredDepth_;
        } else if (inCell_ && paragraphDepth_ > 0) {
            if (--paragraphDepth_ == 0) inParagraph_ = false;
        } else if (inCell_ && isCell(name)) {
            finishCell();
        } else if (table_.holds(*this, name, "table-row")) {
            finishRow();
        }
    }

    void characters(std::string_view piece) override {
        if (inParagraph_ && ignoredDepth_ == 0) text_.append(piece);
    }

  private:
    struct RowCell {
        std::uint64_t column;
        std::uint64_t repeat;
        bool isError;
        sheet::CellNote note;
        Value value;
    };

    bool isCell(XmlName name) {
        return table_.holds(*this, name, "table-cell") ||
               table_.holds(*this, name, "covered-table-cell");
    }

    // The attributes a cell's value is read from (the first of each name), in one pass.
    struct CellAttributes {
        const char* columnsRepeated = nullptr;
        const char* type = nullptr;
        const char* extType = nullptr;
        const char* value = nullptr;
        const char* dateValue = nullptr;
        const char* timeValue = nullptr;
        const char* booleanValue = nullptr;
        const char* stringValue = nullptr;
    };

    CellAttributes cellAttributes(const char** attributes) {
        CellAttributes found;
        for (; *attributes; attributes += 2) {
            const XmlName name = sheet::splitName(attributes[0]);
            // An attribute without a prefix is in no namespace, whatever the default one is.
            if (name.prefix.empty()) continue;
            const char* value = attributes[1];
            const auto take = [&](const char*& slot, NamespaceTest& space) {
                if (!slot && space.holds(*this, name.prefix)) slot = value;
            };
            if (name.local == "value-type") {
                take(found.type, office_);
                take(found.extType, calcExt_);
            } else if (name.local == "value") {
                take(found.value, office_);
            } else if (name.local == "number-columns-repeated") {
                take(found.columnsRepeated, table_);
            } else if (name.local == "date-value") {
                take(found.dateValue, office_);
            } else if (name.local == "time-value") {
                take(found.timeValue, office_);
            } else if (name.local == "boolean-value") {
                take(found.booleanValue, office_);
            } else if (name.local == "string-value") {
                take(found.stringValue, office_);
            }
        }
        return found;
    }

    void startCell(XmlName name, const char** attributes) {
        const CellAttributes found = cellAttributes(attributes);
        inCell_ = true;
        covered_ = name.local == "covered-table-cell";
        cellRepeat_ = repeatCount(found.columnsRepeated);
        text_.clear();
        paragraphs_ = 0;
        type_ = found.type ? found.type : "";
        isError_ = found.extType && std::string_view(found.extType) == "error";
        value_ = Value::null();
        note_ = sheet::CellNote::None;
        if (type_ == "float" || type_ == "percentage" || type_ == "currency") {
            value_ = numberValue(found.value);
        } else if (type_ == "date") {
            const char* date = found.dateValue;
            auto parsed = date ? sheet::isoDateValue(date) : std::nullopt;
            if (parsed) {
                value_ = *parsed;
            } else {
                holdsNoDate(date);
            }
        } else if (type_ == "time") {
            const char* time = found.timeValue;
            auto days = time ? durationInDays(time) : std::nullopt;
            auto parsed = days ? sheet::serialToDateValue(*days, false, true) : std::nullopt;
            if (parsed) {
                value_ = *parsed;
            } else {
                holdsNoDate(time);
            }
        } else if (type_ == "boolean") {
            const char* flag = found.booleanValue;
            value_ = Value::boolean(flag && std::string_view(flag) == "true");
        } else if (const char* string = found.stringValue) {
            stringValue_ = QString::fromUtf8(string);
            hasStringValue_ = true;
            return;
        }
        hasStringValue_ = false;
    }

    // A date or time that no value holds ("-0001-12-30", as some writers give a text): the cell
    // is read as the text it shows, or else as the value written, with a note on its field.
    void holdsNoDate(const char* written) {
        note_ = sheet::CellNote::DateAsText;
        writtenDate_ = written ? written : "";
    }

    static Value numberValue(const char* text) {
        const auto number = text ? sheet::parseNumber(text) : std::nullopt;
        if (!number) throw FormatError(QStringLiteral("a number cell holds no valid number"));
        return Value::floating(*number);
    }

    // A cell's text is that of its paragraphs; annotations, drawings and notes are not.
    void startInCell(XmlName name, const char** attributes) {
        const bool textElement = name.local != "note" && textSpace_.holds(*this, name.prefix);
        if (!inParagraph_) {
            if (textElement && (name.local == "p" || name.local == "h")) {
                if (paragraphs_++ > 0) text_.push_back('\n');
                inParagraph_ = true;
                paragraphDepth_ = 1;
            } else {
                ignoredDepth_ = 1;
            }
            return;
        }
        if (!textElement) {
            ignoredDepth_ = 1;
            return;
        }
        ++paragraphDepth_;
        if (name.local == "s") {
            const char* count = attribute(attributes, "c", kTextSpace);
            text_.append(count ? std::min<std::uint64_t>(repeatCount(count), 65535) : 1, ' ');
        } else if (name.local == "tab") {
            text_.push_back('\t');
        } else if (name.local == "line-break") {
            text_.push_back('\n');
        }
    }

    void finishCell() {
        inCell_ = false;
        const std::uint64_t first = column_;
        column_ += cellRepeat_;
        if (covered_) return;  // hidden by a merged cell: the value is the top-left cell's
        if (note_ == sheet::CellNote::DateAsText) {
            value_ = Value::text(QString::fromUtf8(text_.empty() ? writtenDate_ : text_));
        } else if (type_ == "string" || (type_.empty() && !isError_)) {
            value_ = Value::text(hasStringValue_ ? stringValue_ : QString::fromUtf8(text_));
            // A string cell counts even when its text is empty; a cell of no type is blank.
            if (type_.empty() && value_.toText().isEmpty()) value_ = Value::null();
        }
        if (isError_) value_ = Value::null();
        if (value_.isNull() && !isError_) return;
        if (column_ > sheet::kMaxSheetColumns) pastLimits();
        rowCells_.push_back(RowCell{first, cellRepeat_, isError_, note_, value_});
    }

    void finishRow() {
        const std::uint64_t firstRow = row_;
        row_ += rowRepeat_;
        if (rowCells_.empty()) return;
        if (row_ > sheet::kMaxSheetRows) pastLimits();
        for (const RowCell& cell : rowCells_) {
            repeatedCells_ += rowRepeat_ * cell.repeat - 1;
            if (repeatedCells_ > kMostRepeatedCells) {
                throw FormatError(QStringLiteral("its repeated cells would make a table of more "
                                                 "than %1 cells")
                                      .arg(kMostRepeatedCells));
            }
        }
        for (std::uint64_t row = firstRow; row < row_; ++row) {
            for (const RowCell& cell : rowCells_) {
                for (std::uint64_t c = cell.column; c < cell.column + cell.repeat; ++c) {
                    sink_(sheet::SheetCell{static_cast<std::uint32_t>(row),
                                           static_cast<std::uint16_t>(c), cell.isError, cell.note,
                                           cell.value});
                }
            }
        }
    }

    [[noreturn]] static void pastLimits() {
        throw FormatError(
            QStringLiteral("a cell lies beyond row 1048576 or column 16384, past "
                           "the limits of a sheet"));
    }

    const std::size_t wanted_;
    const sheet::CellSink& sink_;
    NamespaceTest table_{kTableSpace};
    NamespaceTest office_{kOfficeSpace};
    NamespaceTest textSpace_{kTextSpace};
    NamespaceTest calcExt_{kCalcExtSpace};
    std::size_t tables_ = 0;
    int tableDepth_ = 0;
    bool inWanted_ = false;
    std::uint64_t row_ = 0;
    std::uint64_t rowRepeat_ = 1;
    std::uint64_t column_ = 0;
    std::uint64_t repeatedCells_ = 0;
    std::vector<RowCell> rowCells_;
    bool inCell_ = false;
    bool covered_ = false;
    std::uint64_t cellRepeat_ = 1;
    std::string type_;
    bool isError_ = false;
    sheet::CellNote note_ = sheet::CellNote::None;
    std::string writtenDate_;  // the date or time written, when no value holds it
    Value value_;
    QString stringValue_;
    bool hasStringValue_ = false;
    std::string text_;
    int paragraphs_ = 0;
    bool inParagraph_ = false;
    int paragraphDepth_ = 0;
    int ignoredDepth_ = 0;
};

// Whether the manifest says that a part is encrypted.
class ManifestReader : public sheet::XmlHandler {
  public:
    void startElement(XmlName name, const char**) override {
        if (name.local == "encryption-data") {
            encrypted = true;
            stop();
        }
    }
    void endElement(XmlName) override {}
    bool encrypted = false;
};

class Spreadsheet : public sheet::SheetBook {
  public:
    explicit Spreadsheet(const QString& path) : package_(path) {
        if (package_.has(kManifest)) {
            ManifestReader manifest;
            sheet::parseXmlPart(package_, kManifest, manifest);
            if (manifest.encrypted) throw sheet::EncryptedWorkbook();
        }
        if (!package_.has(kContent)) {
            throw FormatError(QStringLiteral("the package has no content.xml"));
        }
    }

    // The table list takes a scan of the whole of content.xml, nearly as long as reading a
    // table, so it is made only when asked for; a table asked for by name is found by a scan
    // that stops at it.
    std::vector<QString> sheetNames() const override {
        if (auto names = knownNames()) return *names;
        TableNamesReader reader;
        sheet::parseXmlPart(package_, kContent, reader, "table");
        return remember(std::move(reader.names));
    }

    std::optional<NamedSheet> findSheet(const QString& name) const override {
        if (knownNames()) return SheetBook::findSheet(name);
        TableNamesReader reader(name);
        sheet::parseXmlPart(package_, kContent, reader, "table");
        if (reader.stopped()) return NamedSheet{reader.names.size() - 1, reader.names.back()};
        remember(std::move(reader.names));
        return std::nullopt;
    }

    void visitCells(std::size_t sheet, const sheet::CellSink& sink) const override {
        TableReader reader(sheet, sink);
        sheet::parseXmlPart(package_, kContent, reader, "table");
    }

  private:
    std::optional<std::vector<QString>> knownNames() const {
        const std::lock_guard lock(namesMutex_);
        return names_;
    }
    std::vector<QString> remember(std::vector<QString> names) const {
        const std::lock_guard lock(namesMutex_);
        names_ = std::move(names);
        return *names_;
    }

    sheet::ZipPackage package_;
    mutable std::mutex namesMutex_;  // the book's readings are const, and may be on two threads
    mutable std::optional<std::vector<QString>> names_;
};

}  // namespace

std::unique_ptr<sheet::SheetBook> openOdsSpreadsheet(const QString& path) {
    return std::make_unique<Spreadsheet>(path);
}

}  // namespace keldara::dao::ods
