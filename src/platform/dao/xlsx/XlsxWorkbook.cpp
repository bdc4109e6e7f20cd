#include "platform/dao/xlsx/XlsxWorkbook.h"

#include <QFile>
#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "platform/dao/excel/CompoundFile.h"
#include "platform/dao/sheet/NumberFormat.h"
#include "platform/dao/sheet/SheetError.h"
#include "platform/dao/sheet/XmlStream.h"
#include "platform/dao/sheet/ZipPackage.h"

namespace keldara::dao::xlsx {

using sheet::attribute;
using sheet::FormatError;
using sheet::XmlName;

namespace {

// A workbook protected by a password to open is a compound file holding this stream.
const QString kEncryptedPackage = QStringLiteral("EncryptedPackage");
// Encrypted workbooks are small enough to be looked at whole; anything larger is no workbook.
constexpr qint64 kLargestCompoundFile = qint64{1} << 31;

struct Relationship {
    QString type;  // the last segment of the type URI: "worksheet", "sharedStrings", ...
    QString target;
};

QString text(const char* utf8) {
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QString folderOf(const QString& part) {
    return part.left(part.lastIndexOf(QLatin1Char('/')) + 1);
}

// A relationship's target as a part name: relative to the folder of the part it belongs
// to unless it starts with "/".
QString resolveTarget(const QString& sourceFolder, QString target) {
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));  // as some writers separate them
    const QString joined = target.startsWith(QLatin1Char('/')) ? target : sourceFolder + target;
    QStringList segments;
    for (const QString& segment : joined.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("..")) {
            if (!segments.isEmpty()) segments.removeLast();
        } else if (segment != QLatin1String(".")) {
            segments.append(segment);
        }
    }
    return segments.join(QLatin1Char('/'));
}

// The relationships of a part (by Id), read from its .rels part; none when it has none.
class RelationshipsReader : public sheet::XmlHandler {
  public:
    static std::map<QString, Relationship> read(const sheet::ZipPackage& package,
                                                const QString& part) {
        const QString relsPart = folderOf(part) + QStringLiteral("_rels/") +
                                 part.mid(part.lastIndexOf(QLatin1Char('/')) + 1) +
                                 QStringLiteral(".rels");
        RelationshipsReader reader;
        reader.folder_ = folderOf(part);
        if (package.has(relsPart)) sheet::parseXmlPart(package, relsPart, reader);
        return std::move(reader.found_);
    }

    void startElement(XmlName name, const char** attributes) override {
        if (name.local != "Relationship") return;
        const QString mode = text(attribute(attributes, "TargetMode"));
        if (mode.compare(QLatin1String("External"), Qt::CaseInsensitive) == 0) return;
        const QString type = text(attribute(attributes, "Type"));
        found_[text(attribute(attributes, "Id"))] =
            Relationship{type.mid(type.lastIndexOf(QLatin1Char('/')) + 1),
                         resolveTarget(folder_, text(attribute(attributes, "Target")))};
    }
    void endElement(XmlName) override {}

  private:
    QString folder_;
    std::map<QString, Relationship> found_;
};

// The first relationship of a type, or an empty target.
QString targetOfType(const std::map<QString, Relationship>& relationships, const char* type) {
    for (const auto& [id, relationship] : relationships) {
        if (relationship.type == QLatin1String(type)) return relationship.target;
    }
    return {};
}

bool isTrue(const char* value) {
    return value && (std::string_view(value) == "1" || std::string_view(value) == "true");
}

template <typename Number>
std::optional<Number> numberOf(std::string_view text) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

// Collects character data while `collecting`.
class TextCollector {
  public:
    void begin() {
        text_.clear();
        collecting_ = true;
    }
    void add(std::string_view piece) {
        if (collecting_) text_.append(piece);
    }
    void pause() { collecting_ = false; }
    void resume() { collecting_ = true; }
    const std::string& text() const { return text_; }
    void clear() {
        text_.clear();
        collecting_ = false;
    }

  private:
    std::string text_;
    bool collecting_ = false;
};

// The text of a rich or plain string item (<si>, <is>): its <t> elements outside phonetic
// runs (<rPh>), which are reading aids, not the text.
class StringItemText {
  public:
    void start(std::string_view local) {
        if (local == "rPh") ++phonetic_;
        if (local == "t" && phonetic_ == 0) collector_.resume();
    }
    void end(std::string_view local) {
        if (local == "rPh") --phonetic_;
        if (local == "t") collector_.pause();
    }
    void begin() {
        collector_.begin();
        collector_.pause();
        phonetic_ = 0;
    }
    void add(std::string_view piece) { collector_.add(piece); }
    QString take() {
        QString result = unescapeXmlText(QString::fromUtf8(collector_.text()));
        collector_.clear();
        return result;
    }

  private:
    TextCollector collector_;
    int phonetic_ = 0;
};

class Workbook;

// The cells of one worksheet part, handed on as they are parsed.
class SheetReader : public sheet::XmlHandler {
  public:
    SheetReader(const Workbook& book, const sheet::CellSink& sink) : book_(book), sink_(sink) {}
    void startElement(XmlName name, const char** attributes) override;
    void endElement(XmlName name) override;
    void characters(std::string_view piece) override {
        if (inInline_) {
            inline_.add(piece);
        } else {
            value_.add(piece);
        }
    }

  private:
    void startRow(const char** attributes);
    void startCell(const char** attributes);
    void finishCell();
    sheet::SheetCell cellAt(Value value, bool isError = false,
                            sheet::CellNote note = sheet::CellNote::None) const {
        return sheet::SheetCell{row_, static_cast<std::uint16_t>(column_), isError, note,
                                std::move(value)};
    }

    const Workbook& book_;
    const sheet::CellSink& sink_;
    std::uint32_t row_ = 0;
    std::uint32_t column_ = 0;
    std::uint32_t nextRow_ = 0;
    std::uint32_t nextColumn_ = 0;
    std::string type_;
    std::uint32_t style_ = 0;
    TextCollector value_;
    StringItemText inline_;
    bool inInline_ = false;
    bool inlineSeen_ = false;
};

class Workbook : public sheet::SheetBook {
  public:
    explicit Workbook(const QString& path) : package_(path) {
        const QString mainPart = mainPartOf();
        const auto relationships = RelationshipsReader::read(package_, mainPart);
        readWorkbookPart(mainPart, relationships);
        readStyles(targetOfType(relationships, "styles"));
        readSharedStrings(targetOfType(relationships, "sharedStrings"));
    }

    std::vector<QString> sheetNames() const override {
        std::vector<QString> names;
        for (const Sheet& sheet : sheets_) names.push_back(sheet.name);
        return names;
    }

    void visitCells(std::size_t sheet, const sheet::CellSink& sink) const override {
        const Sheet& wanted = sheets_.at(sheet);
        if (wanted.part.isEmpty()) throw FormatError(wanted.fault);
        SheetReader reader(*this, sink);
        sheet::parseXmlPart(package_, wanted.part, reader);
    }

    std::optional<QString> sharedString(std::string_view index) const {
        const auto i = numberOf<std::uint32_t>(index);
        if (!i || *i >= sharedEnds_.size()) return std::nullopt;
        const std::size_t begin = *i == 0 ? 0 : sharedEnds_[*i - 1];
        return QString::fromRawData(reinterpret_cast<const QChar*>(sharedText_.data() + begin),
                                    static_cast<qsizetype>(sharedEnds_[*i] - begin));
    }

    Value numberValue(double number, std::uint32_t style) const {
        const sheet::FormatClass format =
            style < styleClasses_.size() ? styleClasses_[style] : sheet::FormatClass::Number;
        return sheet::numberCellValue(number, format, date1904_);
    }

  private:
    struct Sheet {
        QString name;
        QString part;   // none when the workbook part names none:
        QString fault;  // then why the sheet cannot be read
    };

    QString mainPartOf() const {
        const QString part =
            targetOfType(RelationshipsReader::read(package_, QString()), "officeDocument");
        if (!part.isEmpty() && package_.has(part)) return part;
        if (package_.has(QStringLiteral("xl/workbook.xml")))
            return QStringLiteral("xl/workbook.xml");
        throw FormatError(QStringLiteral("the package holds no workbook part"));
    }

    void readWorkbookPart(const QString& part, const std::map<QString, Relationship>& targets);
    void readStyles(const QString& part);
    void readSharedStrings(const QString& part);

    sheet::ZipPackage package_;
    std::vector<Sheet> sheets_;
    bool date1904_ = false;
    std::vector<sheet::FormatClass> styleClasses_;  // by cell style (xf) index
    std::vector<char16_t> sharedText_;              // the shared strings side by side,
    std::vector<std::size_t> sharedEnds_;           // each ending where the next begins
};

class WorkbookPartReader : public sheet::XmlHandler {
  public:
    void startElement(XmlName name, const char** attributes) override {
        if (name.local == "workbookPr") {
            date1904 = isTrue(attribute(attributes, "date1904"));
        } else if (name.local == "sheet") {
            sheets.emplace_back(text(attribute(attributes, "name")),
                                text(attribute(attributes, "id")));
        }
    }
    void endElement(XmlName name) override {
        if (name.local == "sheets") stop();
    }

    bool date1904 = false;
    std::vector<std::pair<QString, QString>> sheets;  // name and relationship id
};

void Workbook::readWorkbookPart(const QString& part,
                                const std::map<QString, Relationship>& targets) {
    WorkbookPartReader reader;
    sheet::parseXmlPart(package_, part, reader);
    date1904_ = reader.date1904;
    for (const auto& [name, id] : reader.sheets) {
        const auto target = id.isEmpty() ? targets.end() : targets.find(id);
        if (target == targets.end()) {
            // The other sheets are still read; this one is refused when it is opened.
            sheets_.push_back(
                Sheet{name,
                      {},
                      id.isEmpty() ? QStringLiteral("the workbook names no part for it (its "
                                                    "relationship id is empty)")
                                   : QStringLiteral("the workbook names its part by the "
                                                    "relationship id \"%1\", which it does not "
                                                    "have")
                                         .arg(id)});
        } else if (target->second.type == QLatin1String("worksheet")) {
            // Chart sheets, dialog sheets and macro sheets hold no cells.
            sheets_.push_back(Sheet{name, target->second.target,
                                    QStringLiteral("its relationship names no part")});
        }
    }
}

class StylesReader : public sheet::XmlHandler {
  public:
    void startElement(XmlName name, const char** attributes) override {
        if (name.local == "numFmt") {
            if (auto id = numberOf<int>(std::string_view(attributeOr(attributes, "numFmtId")))) {
                formats[*id] =
                    sheet::classifyFormatString(text(attribute(attributes, "formatCode")));
            }
        } else if (name.local == "cellXfs") {
            inCellXfs_ = true;
        } else if (name.local == "xf" && inCellXfs_) {
            const auto id = numberOf<int>(std::string_view(attributeOr(attributes, "numFmtId")));
            cellFormats.push_back(id.value_or(0));
        }
    }
    void endElement(XmlName name) override {
        if (name.local == "cellXfs") inCellXfs_ = false;
    }

    std::map<int, sheet::FormatClass> formats;
    std::vector<int> cellFormats;

  private:
    static const char* attributeOr(const char** attributes, std::string_view local) {
        const char* value = sheet::attribute(attributes, local);
        return value ? value : "";
    }
    bool inCellXfs_ = false;
};

void Workbook::readStyles(const QString& part) {
    if (part.isEmpty() || !package_.has(part)) return;
    StylesReader reader;
    sheet::parseXmlPart(package_, part, reader);
    for (const int format : reader.cellFormats) {
        const auto own = reader.formats.find(format);
        styleClasses_.push_back(own != reader.formats.end() ? own->second
                                                            : sheet::builtInFormatClass(format));
    }
}

class SharedStringsReader : public sheet::XmlHandler {
  public:
    SharedStringsReader(std::vector<char16_t>& text, std::vector<std::size_t>& ends)
        : text_(text), ends_(ends) {}

    void startElement(XmlName name, const char**) override {
        if (name.local == "si") {
            item_.begin();
        } else {
            item_.start(name.local);
        }
    }
    void endElement(XmlName name) override {
        if (name.local != "si") {
            item_.end(name.local);
            return;
        }
        const QString string = item_.take();
        text_.insert(text_.end(), string.utf16(), string.utf16() + string.size());
        ends_.push_back(text_.size());
    }
    void characters(std::string_view piece) override { item_.add(piece); }

  private:
    std::vector<char16_t>& text_;
    std::vector<std::size_t>& ends_;
    StringItemText item_;
};

void Workbook::readSharedStrings(const QString& part) {
    if (part.isEmpty() || !package_.has(part)) return;
    SharedStringsReader reader(sharedText_, sharedEnds_);
    sheet::parseXmlPart(package_, part, reader);
}

// A cell reference's column and row ("AB12": 27 and 11, counted from 0); nothing when it is
// none or lies beyond the largest sheet.
std::optional<std::pair<std::uint32_t, std::uint32_t>> cellReference(std::string_view ref) {
    std::size_t at = 0;
    std::uint32_t column = 0;
    for (; at < ref.size() && at < 4; ++at) {
        const char c = ref[at];
        if (c >= 'A' && c <= 'Z') {
            column = column * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
        } else if (c >= 'a' && c <= 'z') {
            column = column * 26 + static_cast<std::uint32_t>(c - 'a' + 1);
        } else {
            break;
        }
    }
    const auto row = numberOf<std::uint32_t>(ref.substr(at));
    if (at == 0 || !row || *row == 0) return std::nullopt;
    return std::pair{column - 1, *row - 1};
}

[[noreturn]] void pastLimits() {
    throw FormatError(
        QStringLiteral("a cell lies beyond row 1048576 or column XFD, past the "
                       "limits of a worksheet"));
}

void SheetReader::startElement(XmlName name, const char** attributes) {
    const std::string_view local = name.local;
    if (inInline_) {
        inline_.start(local);
    } else if (local == "c") {
        startCell(attributes);
    } else if (local == "v") {
        value_.begin();
    } else if (local == "is") {
        inInline_ = inlineSeen_ = true;
        inline_.begin();
    } else if (local == "row") {
        startRow(attributes);
    }
}

void SheetReader::endElement(XmlName name) {
    const std::string_view local = name.local;
    if (inInline_) {
        if (local == "is") {
            inInline_ = false;
        } else {
            inline_.end(local);
        }
    } else if (local == "v") {
        value_.pause();
    } else if (local == "c") {
        finishCell();
    } else if (local == "sheetData") {
        stop();
    }
}

void SheetReader::startRow(const char** attributes) {
    if (const char* r = attribute(attributes, "r")) {
        const auto number = numberOf<std::uint32_t>(r);
        if (!number || *number == 0) {
            throw FormatError(QStringLiteral("a row has the number \"%1\"").arg(text(r)));
        }
        nextRow_ = *number - 1;
    }
    if (nextRow_ >= sheet::kMaxSheetRows) pastLimits();
    row_ = nextRow_++;
    nextColumn_ = 0;
}

void SheetReader::startCell(const char** attributes) {
    column_ = nextColumn_;
    if (const char* r = attribute(attributes, "r")) {
        const auto ref = cellReference(r);
        if (!ref) throw FormatError(QStringLiteral("a cell has the reference \"%1\"").arg(text(r)));
        column_ = ref->first;
        row_ = ref->second;
    }
    if (column_ >= sheet::kMaxSheetColumns || row_ >= sheet::kMaxSheetRows) pastLimits();
    nextColumn_ = column_ + 1;
    const char* type = attribute(attributes, "t");
    type_ = type ? type : "n";
    const char* style = attribute(attributes, "s");
    style_ = style ? numberOf<std::uint32_t>(style).value_or(0) : 0;
    value_.clear();
    inlineSeen_ = false;
}

// Texts count as cells even when empty: a formula's empty result (t="str", its <v> empty
// or missing), an empty inline string, a shared string that is empty.
void SheetReader::finishCell() {
    const std::string& raw = value_.text();
    if (type_ == "inlineStr" || (inlineSeen_ && raw.empty())) {
        if (inlineSeen_) {
            sink_(cellAt(Value::text(inline_.take())));
        } else if (!raw.empty()) {
            sink_(cellAt(Value::text(unescapeXmlText(QString::fromUtf8(raw)))));
        }
        return;
    }
    if (type_ == "str") {
        sink_(cellAt(Value::text(unescapeXmlText(QString::fromUtf8(raw)))));
        return;
    }
    if (type_ == "e") {
        sink_(cellAt(Value::null(), true));
        return;
    }
    if (raw.empty()) return;  // a blank cell, perhaps with a style or a formula without result
    if (type_ == "s") {
        const auto string = book_.sharedString(raw);
        if (!string) {
            throw FormatError(QStringLiteral("a cell refers to the shared string %1, which the "
                                             "workbook does not have")
                                  .arg(QString::fromStdString(raw)));
        }
        sink_(cellAt(Value::text(*string)));
    } else if (type_ == "b") {
        sink_(cellAt(Value::boolean(raw != "0" && raw != "false")));
    } else if (type_ == "d") {
        if (const auto date = sheet::isoDateValue(raw)) {
            sink_(cellAt(*date));
        } else {  // beyond the dates a value holds ("-0001-12-30"): its text, noted
            sink_(cellAt(Value::text(QString::fromStdString(raw)), false,
                         sheet::CellNote::DateAsText));
        }
    } else {
        const auto number = sheet::parseNumber(raw);
        if (!number) {
            throw FormatError(
                QStringLiteral("a number cell holds \"%1\"").arg(QString::fromStdString(raw)));
        }
        sink_(cellAt(book_.numberValue(*number, style_)));
    }
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

[[noreturn]] void throwEncrypted(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestCompoundFile) {
        const QByteArray bytes = file.readAll();
        if (dao::xls::CompoundFile(bytes).stream(kEncryptedPackage)) {
            throw sheet::EncryptedWorkbook();
        }
    }
    throw FormatError(
        QStringLiteral("it is a compound file (an Excel 97-2003 workbook?), not a "
                       "ZIP package"));
}

}  // namespace

QString unescapeXmlText(QString text) {
    qsizetype at = text.indexOf(QLatin1String("_x"));
    while (at >= 0 && at + 7 <= text.size()) {
        const QStringView code = QStringView(text).mid(at + 2, 4);
        if (text.at(at + 6) == u'_' && std::all_of(code.begin(), code.end(), isHexDigit)) {
            text.replace(at, 7, QChar(static_cast<char16_t>(code.toUInt(nullptr, 16))));
            at = text.indexOf(QLatin1String("_x"), at + 1);
        } else {
            at = text.indexOf(QLatin1String("_x"), at + 1);
        }
    }
    return text;
}

std::unique_ptr<sheet::SheetBook> openXlsxWorkbook(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && dao::xls::CompoundFile::hasSignature(file.read(8))) {
        throwEncrypted(path);
    }
    return std::make_unique<Workbook>(path);
}

}  // namespace keldara::dao::xlsx
