#include "platform/dao/excel/Workbook.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dao/Memory.h"
#include "platform/dao/excel/CompoundFile.h"
#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::xls {

namespace {

constexpr std::uint16_t kGlobalsSubstream = 0x0005;
constexpr std::uint16_t kWorksheetSubstream = 0x0010;
constexpr std::uint16_t kMaxColumns = 256;

bool isBof(std::uint16_t type) {
    return type == record::Bof || type == record::Bof4 || type == record::Bof3 ||
           type == record::Bof2;
}

double rkNumber(std::uint32_t rk) {
    double value = 0;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100.0 : value;
}

int biffOfBof(const Record& bof, const QString& streamName) {
    if (bof.type == record::Bof4) return 4;
    if (bof.type == record::Bof3) return 3;
    if (bof.type == record::Bof2) return 2;
    const std::uint16_t version = bof.u16(0);
    if (version == 0x0600) return 8;
    if (version == 0x0500) return 5;
    return streamName.compare(QLatin1String("Book"), Qt::CaseInsensitive) == 0 ? 5 : 8;
}

}  // namespace

std::unique_ptr<Workbook> Workbook::load(const QByteArray& file, const QString& singleSheetName) {
    std::unique_ptr<Workbook> book(new Workbook());
    QString streamName;
    if (CompoundFile::hasSignature(file)) {
        const CompoundFile container(file);
        for (const char* name : {"Workbook", "Book"}) {
            if (auto stream = container.stream(QLatin1String(name))) {
                book->stream_ = std::move(*stream);
                const char* begin = file.constData();
                if (book->stream_.constData() >= begin &&
                    book->stream_.constData() < begin + file.size()) {
                    book->file_ = file;  // the stream is a view of the file's bytes
                }
                streamName = QLatin1String(name);
                break;
            }
        }
        if (streamName.isEmpty()) {
            throw sheet::FormatError(
                QStringLiteral("it is a compound file without a workbook stream "
                               "(perhaps another Office document)"));
        }
    } else {
        // Not a compound file: perhaps a bare BIFF stream, which starts with a BOF record.
        const bool startsWithBof =
            file.size() >= 4 &&
            isBof(static_cast<std::uint16_t>(static_cast<unsigned char>(file[0]) |
                                             static_cast<unsigned char>(file[1]) << 8));
        if (!startsWithBof) throw sheet::FormatError(QStringLiteral("it is not an Excel workbook"));
        book->stream_ = file;
    }
    Record bof;
    RecordReader reader(book->stream_, 0);
    if (!reader.next(bof) || !isBof(bof.type)) {
        throw sheet::FormatError(QStringLiteral("it is not an Excel workbook"));
    }
    book->biff_ = biffOfBof(bof, streamName);
    if (book->biff_ == 2) {
        throw sheet::FormatError(
            QStringLiteral("it is an Excel 2.x worksheet, which is not supported"));
    }
    if (book->biff_ >= 5) {
        if (bof.u16(2) != kGlobalsSubstream) {
            throw sheet::FormatError(
                QStringLiteral("its workbook stream does not begin with the "
                               "workbook globals"));
        }
        book->readGlobals(0, false);
    } else {
        if (bof.u16(2) != kWorksheetSubstream) {
            throw sheet::FormatError(
                QStringLiteral("it is an Excel 4.0 workbook or macro sheet, which "
                               "is not supported (only single worksheets are)"));
        }
        book->readGlobals(0, true);
        book->rawSheets_.push_back(RawSheet{{}, singleSheetName, 0});
    }
    book->finishGlobals();
    return book;
}

// Reads the records that apply to the whole workbook. For a BIFF5/BIFF8 workbook they form
// the globals substream; a BIFF3/BIFF4 worksheet mixes them with its cells (`wholeStream`).
void Workbook::readGlobals(std::size_t offset, bool wholeStream) {
    RecordReader reader(stream_, offset);
    Record rec;
    reader.next(rec);  // the BOF
    while (reader.next(rec)) {
        switch (rec.type) {
            case record::Eof:
                return;
            case record::FilePass:
                throw sheet::EncryptedWorkbook();
            case record::CodePage:
                codePage_ = rec.u16(0);
                break;
            case record::DateMode:
                date1904_ = rec.u16(0) == 1;
                break;
            case record::Format:
            case record::Format2:
                readFormatRecord(rec);
                break;
            case record::Xf:
            case record::Xf3:
            case record::Xf4:
                readXfRecord(rec);
                break;
            case record::BoundSheet:
                if (!wholeStream) readBoundSheet(rec);
                break;
            case record::Sst:
                if (biff_ == 8) readSharedStrings(rec, reader);
                break;
            default:
                break;
        }
    }
    throw sheet::FormatError(
        QStringLiteral("its workbook stream ends before the end of the %1")
            .arg(wholeStream ? QStringLiteral("worksheet") : QStringLiteral("workbook globals")));
}

// A format whose string is cut short costs only the cells of that format: they are read in
// the General format, with a note on their fields.
void Workbook::readFormatRecord(const Record& rec) {
    if (biff_ >= 5 && rec.data.size() < 2) return;  // without its number no cell can use it
    const int index = biff_ >= 5 ? rec.u16(0) : formatCount_++;
    try {
        if (biff_ == 8) {
            ContinuedCursor cursor({rec.data.subspan(2)});
            formats_[index] = sheet::classifyFormatString(cursor.unicodeString(true));
        } else {
            // BIFF4 has two unused bytes before the string, BIFF3 none.
            const std::size_t at = biff_ == 5 || rec.type == record::Format ? 2 : 0;
            const std::size_t length = rec.u8(at);
            rec.require(at + 1 + length);
            formatBytes_[index] =
                QByteArray(reinterpret_cast<const char*>(rec.data.data() + at + 1),
                           static_cast<qsizetype>(length));
        }
        cutFormats_.erase(index);
    } catch (const sheet::FormatError&) {
        formats_.erase(index);
        formatBytes_.erase(index);
        cutFormats_.insert(index);
    }
}

void Workbook::readXfRecord(const Record& rec) {
    xfFormats_.push_back(biff_ >= 5 ? rec.u16(2) : rec.u8(1));
}

void Workbook::readBoundSheet(const Record& rec) {
    const std::uint32_t offset = rec.u32(0);
    const std::uint8_t sheetType = rec.u8(5);
    RawSheet sheet;
    sheet.offset = offset;
    if (biff_ == 8) {
        ContinuedCursor cursor({rec.data.subspan(6)});
        sheet.unicodeName = cursor.unicodeString(false);
    } else {
        const std::size_t length = rec.u8(6);
        rec.require(7 + length);
        sheet.name = QByteArray(reinterpret_cast<const char*>(rec.data.data() + 7),
                                static_cast<qsizetype>(length));
    }
    // Only worksheets are tables; macro sheets (1), charts (2) and VB modules (6) are not.
    if (sheetType != 0) return;
    if (offset >= static_cast<std::size_t>(stream_.size())) {
        throw sheet::FormatError(
            QStringLiteral("a sheet starts beyond the end of the workbook stream"));
    }
    rawSheets_.push_back(std::move(sheet));
}

void Workbook::readSharedStrings(const Record& rec, RecordReader& reader) {
    std::vector<std::span<const std::uint8_t>> segments{rec.data};
    for (auto& segment : reader.takeContinues()) segments.push_back(segment);
    // A character takes at least a byte of the records: this is room enough for them all.
    std::size_t bytes = 0;
    for (const auto& segment : segments) bytes += segment.size();
    ContinuedCursor cursor(std::move(segments));
    cursor.skip(4);  // total number of string uses
    const std::uint32_t unique = cursor.u32();
    sharedText_.reserve(bytes);
    prepareForFilling(sharedText_.data(), bytes * sizeof(char16_t));
    sharedStringEnds_.reserve(std::min<std::uint32_t>(unique, 1u << 20));
    for (std::uint32_t i = 0; i < unique && !cursor.atEnd(); ++i) {
        cursor.appendUnicodeString(true, sharedText_);
        sharedStringEnds_.push_back(sharedText_.size());
    }
}

// Cells share the text rather than each copying it.
QString Workbook::sharedString(std::size_t index) const {
    const std::size_t start = index == 0 ? 0 : sharedStringEnds_[index - 1];
    return QString::fromRawData(reinterpret_cast<const QChar*>(sharedText_.data() + start),
                                static_cast<qsizetype>(sharedStringEnds_[index] - start));
}

void Workbook::finishGlobals() {
    if (biff_ < 8) {
        try {
            decoder_ = std::make_unique<CodePageDecoder>(codePage_);
        } catch (const DaoError&) {
            throw sheet::FormatError(
                QStringLiteral("its text is in code page %1, which cannot be decoded")
                    .arg(codePage_));
        }
    }
    for (const auto& [index, bytes] : formatBytes_) {
        formats_[index] = sheet::classifyFormatString(
            byteString(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                       static_cast<std::size_t>(bytes.size())));
    }
    xfClasses_.reserve(xfFormats_.size());
    for (const std::uint16_t format : xfFormats_) {
        xfClasses_.push_back(classOfFormat(format));
        xfFormatCut_.push_back(cutFormats_.contains(format));
    }
    for (const RawSheet& raw : rawSheets_) {
        Worksheet sheet;
        sheet.name = biff_ == 8 || raw.name.isNull()
                         ? raw.unicodeName
                         : byteString(reinterpret_cast<const std::uint8_t*>(raw.name.constData()),
                                      static_cast<std::size_t>(raw.name.size()));
        sheet.streamOffset = raw.offset;
        sheets_.push_back(std::move(sheet));
    }
}

QString Workbook::byteString(const std::uint8_t* data, std::size_t size) const {
    return decoder_->decode(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

sheet::FormatClass Workbook::classOfFormat(int format) const {
    if (cutFormats_.contains(format)) return sheet::FormatClass::Number;
    const auto found = formats_.find(format);
    if (found != formats_.end()) return found->second;
    return biff_ >= 5 ? sheet::builtInFormatClass(format) : sheet::FormatClass::Number;
}

Value Workbook::numberValue(double number, std::uint16_t xf) const {
    return sheet::numberCellValue(number, formatOfXf(xf), date1904_);
}

// Reads the cell records of one worksheet substream.
class SheetReader {
  public:
    SheetReader(const Workbook& book, std::size_t offset, const CellSink& sink)
        : book_(book), reader_(book.stream_, offset), sink_(sink) {}

    void read() {
        Record rec;
        if (!reader_.next(rec) || !isBof(rec.type)) {
            throw sheet::FormatError(
                QStringLiteral("a worksheet does not start with a BOF record"));
        }
        while (reader_.next(rec)) {
            if (rec.type == record::Eof) return;
            if (isBof(rec.type)) {
                skipEmbeddedSubstream();
            } else {
                readRecord(rec);
            }
        }
        throw sheet::FormatError(QStringLiteral("a worksheet ends before its EOF record"));
    }

  private:
    void skipEmbeddedSubstream() {
        Record rec;
        int depth = 1;
        while (depth > 0 && reader_.next(rec)) {
            if (isBof(rec.type)) ++depth;
            if (rec.type == record::Eof) --depth;
        }
        if (depth > 0)
            throw sheet::FormatError(QStringLiteral("a chart inside a worksheet is cut short"));
    }

    void readRecord(const Record& rec) {
        switch (rec.type) {
            case record::Number:
                putNumber(rec, rec.f64(6), rec.u16(4));
                break;
            case record::Rk:
                putNumber(rec, rkNumber(rec.u32(6)), rec.u16(4));
                break;
            case record::MulRk:
                readMulRk(rec);
                break;
            case record::Label:
            case record::RString:
                readLabel(rec);
                break;
            case record::LabelSst:
                readLabelSst(rec);
                break;
            case record::BoolErr:
                readBoolErr(rec);
                break;
            case record::Formula:
            case record::Formula3:
            case record::Formula4:
                readFormula(rec);
                break;
            case record::String:
                readString(rec);
                break;
            default:
                break;
        }
    }

    void put(const Record& rec, std::uint32_t column, Value value, bool isError = false,
             sheet::CellNote note = sheet::CellNote::None) {
        const std::uint16_t row = rec.u16(0);
        if (column >= kMaxColumns) {
            throw sheet::FormatError(
                QStringLiteral("a cell lies in column %1, beyond the last column").arg(column + 1));
        }
        pendingString_.reset();
        sink_(SheetCell{row, static_cast<std::uint16_t>(column), isError, note, std::move(value)});
    }

    void putNumber(const Record& rec, double number, std::uint16_t xf, std::uint32_t column) {
        if (!std::isfinite(number)) {
            put(rec, column, Value::null(), true);
        } else {
            put(rec, column, book_.numberValue(number, xf), false,
                book_.formatCutShort(xf) ? sheet::CellNote::FormatCutShort : sheet::CellNote::None);
        }
    }

    void putNumber(const Record& rec, double number, std::uint16_t xf) {
        putNumber(rec, number, xf, rec.u16(2));
    }

    void putText(const Record& rec, QString text) { put(rec, rec.u16(2), Value::text(text)); }

    void readMulRk(const Record& rec) {
        const std::uint16_t first = rec.u16(2);
        const std::size_t count = rec.data.size() >= 6 ? (rec.data.size() - 6) / 6 : 0;
        for (std::size_t i = 0; i < count; ++i) {
            putNumber(rec, rkNumber(rec.u32(6 + 6 * i)), rec.u16(4 + 6 * i),
                      static_cast<std::uint32_t>(first + i));
        }
    }

    QString recordString(const Record& rec, std::size_t at,
                         std::vector<std::span<const std::uint8_t>> continues = {}) {
        rec.require(at);
        std::vector<std::span<const std::uint8_t>> segments{rec.data.subspan(at)};
        for (auto& segment : continues) segments.push_back(segment);
        ContinuedCursor cursor(std::move(segments));
        if (book_.biff_ == 8) return cursor.unicodeString(true);
        const std::uint16_t length = cursor.u16();
        const QByteArray bytes = cursor.bytes(length);
        return book_.byteString(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()));
    }

    void readLabel(const Record& rec) { putText(rec, recordString(rec, 6)); }

    void readLabelSst(const Record& rec) {
        const std::uint32_t index = rec.u32(6);
        if (index >= book_.sharedStringCount()) {
            throw sheet::FormatError(QStringLiteral("a cell refers to shared string %1, but the "
                                                    "workbook has only %2")
                                         .arg(index)
                                         .arg(book_.sharedStringCount()));
        }
        putText(rec, book_.sharedString(index));
    }

    void readBoolErr(const Record& rec) {
        const std::uint8_t value = rec.u8(6);
        if (rec.u8(7) != 0) {
            put(rec, rec.u16(2), Value::null(), true);
        } else {
            put(rec, rec.u16(2), Value::boolean(value != 0));
        }
    }

    // A formula's cached result: a number, or a marked result whose kind is in byte 0.
    void readFormula(const Record& rec) {
        rec.require(14);
        if (rec.u16(12) != 0xFFFF) {
            putNumber(rec, rec.f64(6), rec.u16(4));
            return;
        }
        switch (rec.u8(6)) {
            case 0:  // text, in the STRING record that follows
                pendingString_.reset();
                pendingString_ = PendingString{rec.u16(0), rec.u16(2)};
                break;
            case 1:
                put(rec, rec.u16(2), Value::boolean(rec.u8(8) != 0));
                break;
            case 2:
                put(rec, rec.u16(2), Value::null(), true);
                break;
            case 3:
                put(rec, rec.u16(2), Value::text(QString()));
                break;
            default:
                pendingString_.reset();
                break;
        }
    }

    void readString(const Record& rec) {
        auto continues = reader_.takeContinues();
        if (!pendingString_) return;
        const PendingString target = *pendingString_;
        QString text = recordString(rec, 0, std::move(continues));
        pendingString_.reset();
        sink_(
            SheetCell{target.row, target.column, false, sheet::CellNote::None, Value::text(text)});
    }

    struct PendingString {
        std::uint16_t row;
        std::uint16_t column;
    };

    const Workbook& book_;
    RecordReader reader_;
    const CellSink& sink_;
    std::optional<PendingString> pendingString_;
};

std::vector<QString> Workbook::sheetNames() const {
    std::vector<QString> names;
    for (const Worksheet& sheet : sheets_) names.push_back(sheet.name);
    return names;
}

void Workbook::visitCells(std::size_t sheet, const sheet::CellSink& sink) const {
    SheetReader(*this, sheets_.at(sheet).streamOffset, sink).read();
}

}  // namespace keldara::dao::xls
