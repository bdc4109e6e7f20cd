#include "platform/dao/dbase/DbfTable.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVarLengthArray>
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/dao/CodePages.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/dbase/Bytes.h"
#include "platform/dao/dbase/MemoFile.h"

namespace keldara::dao::dbase {

namespace {

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr qint64 kChunkBytes = qint64(4) << 20;
constexpr long kLongFieldSize = 2147483647;  // what ADO reports for memo-like fields
constexpr int kMillisecondsPerDay = 86400000;
constexpr int kLargestExponent = 400;

// Field descriptor flags of Visual FoxPro.
constexpr std::uint8_t kFlagNullable = 0x02;
constexpr std::uint8_t kFlagBinary = 0x04;

enum class FieldKind {
    Character,
    CharacterBinary,
    Numeric,
    Float,
    Date,
    DateTime,
    Logical,
    Integer,
    Double,
    Currency,
    Memo,
    MemoBinary,
    BinaryMemo,  // General, Picture, and dBase's binary memo B
    Varchar,
    Varbinary,
    NullFlags,
};

struct DbfField {
    QString name;
    char type = 0;
    FieldKind kind = FieldKind::Character;
    int offset = 0;  // within the record, after the deletion flag
    int length = 0;
    int decimals = 0;
    std::uint8_t flags = 0;
    int varLengthBit = -1;  // Visual FoxPro: set when a V/Q value is shorter than the field
    int nullBit = -1;       // Visual FoxPro: set when the value is Null
};

bool isVisualFoxPro(std::uint8_t signature) {
    return signature == 0x30 || signature == 0x31 || signature == 0x32;
}

bool prefersFoxProMemo(std::uint8_t signature) {
    return isVisualFoxPro(signature) || signature == 0xF5 || signature == 0xFB || signature == 0x02;
}

bool isKnownSignature(std::uint8_t signature) {
    switch (signature) {
        case 0x02:  // FoxBASE
        case 0x03:  // dBase III, IV, 5 and FoxPro without memo
        case 0x05:  // dBase 5 without memo
        case 0x30:  // Visual FoxPro
        case 0x31:  // Visual FoxPro with autoincrement
        case 0x32:  // Visual FoxPro with varchar/varbinary
        case 0x43:  // dBase IV SQL table
        case 0x63:  // dBase IV SQL system table
        case 0x83:  // dBase III with memo
        case 0x8B:  // dBase IV with memo
        case 0x8E:  // dBase IV SQL table with memo
        case 0xCB:  // dBase IV SQL table with memo
        case 0xF5:  // FoxPro 2.x with memo
        case 0xFB:  // FoxBASE with memo
            return true;
        default:
            return false;
    }
}

bool isBlank(const unsigned char* p, int n) {
    for (int i = 0; i < n; ++i) {
        if (p[i] != ' ' && p[i] != 0) return false;
    }
    return true;
}

// The length of a character value without its trailing blanks and NUL padding.
int lengthWithoutPadding(const unsigned char* p, int n) {
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
    return n;
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

using DecimalText = QVarLengthArray<char, 64>;

// The canonical decimal text of a numeric field's digits, blanks trimmed ("-12.50", "0.5",
// "1500" from "1.5E3"), without a trip through binary floating point. False when the text is
// no number.
bool decimalFromText(const unsigned char* p, int i, int n, DecimalText& text) {
    bool negative = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';

    char digits[256];
    int digitCount = 0;
    int pointPosition = -1;
    for (; i < n; ++i) {
        if (isDigit(p[i]) && digitCount < int(sizeof digits)) {
            digits[digitCount++] = static_cast<char>(p[i]);
        } else if ((p[i] == '.' || p[i] == ',') && pointPosition < 0) {
            pointPosition = digitCount;
        } else {
            break;
        }
    }
    if (digitCount == 0) return false;
    if (pointPosition < 0) pointPosition = digitCount;

    if (i < n && (p[i] == 'e' || p[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (p[i] == '-' || p[i] == '+')) negativeExponent = p[i++] == '-';
        if (i == n) return false;
        int exponent = 0;
        for (; i < n && isDigit(p[i]); ++i) {
            exponent = exponent * 10 + (p[i] - '0');
            if (exponent > kLargestExponent) return false;
        }
        pointPosition += negativeExponent ? -exponent : exponent;
    }
    if (i != n) return false;

    text.clear();
    bool zero = true;
    for (int k = 0; k < digitCount && zero; ++k) zero = digits[k] == '0';
    if (negative && !zero) text.append('-');
    int first = 0;  // leading zeros of the integer part go, one digit stays
    while (first < pointPosition - 1 && first < digitCount && digits[first] == '0') ++first;
    if (pointPosition <= 0) {
        text.append('0');
    } else {
        for (int k = first; k < pointPosition; ++k) text.append(k < digitCount ? digits[k] : '0');
    }
    if (pointPosition < digitCount) {
        text.append('.');
        for (int k = pointPosition; k < 0; ++k) text.append('0');
        text.append(digits + std::max(pointPosition, 0), digitCount - std::max(pointPosition, 0));
    }
    return true;
}

// A currency value: a 64-bit count of ten-thousandths.
QString currencyText(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    QString digits = QString::number(magnitude);
    if (digits.size() < 5) digits.prepend(QString(5 - digits.size(), QLatin1Char('0')));
    digits.insert(digits.size() - 4, QLatin1Char('.'));
    if (negative) digits.prepend(QLatin1Char('-'));
    return digits;
}

// Reads a table's records in order, a chunk of the file at a time: all of them into a
// recordset, or as a streamed recordset asks for them.
class TableReader final : public RowSource {
  public:
    explicit TableReader(const QString& path) : path_(path) {}
    std::unique_ptr<Recordset> read();
    // Opens the table, checks and counts its live records on the way (reading every value,
    // so that a damaged one is found as read() finds it) and gives a recordset that reads
    // them again as they are asked for.
    static std::unique_ptr<Recordset> stream(std::unique_ptr<TableReader> reader, long keepRows);
    long readRows(std::vector<Column>& columns, long maxRows) override;

  private:
    void open();
    void rewind();
    long countLiveRecords();
    void readHeader();
    void readFieldDescriptors(const QByteArray& header);
    void addField(const unsigned char* descriptor, int& offset);
    void assignNullFlagBits();
    void openMemoFile();
    std::vector<FieldInfo> fieldInfos() const;
    void readChunk();
    bool appendRecord(const unsigned char* record, std::uint32_t number,
                      std::vector<Column>& columns);
    void storeField(const DbfField& field, const unsigned char* record, Column& column);
    void storeCharacter(const DbfField& field, const unsigned char* p, Column& column) const;
    void storeNumeric(const DbfField& field, const unsigned char* p, Column& column);
    Value dateValue(const DbfField& field, const unsigned char* p) const;
    Value dateTimeValue(const DbfField& field, const unsigned char* p) const;
    Value logicalValue(const DbfField& field, const unsigned char* p) const;
    Value memoValue(const DbfField& field, const unsigned char* p) const;
    Value variableLengthValue(const DbfField& field, const unsigned char* record,
                              const unsigned char* p) const;
    bool flagSet(const unsigned char* record, int bit) const;
    [[noreturn]] void fail(const QString& reason) const;
    [[noreturn]] void failValue(const DbfField& field, const QString& reason) const;

    QString path_;
    QFile file_;
    qint64 fileSize_ = 0;
    std::uint8_t signature_ = 0;
    std::uint32_t recordCount_ = 0;
    int headerLength_ = 0;
    int recordLength_ = 0;
    std::unique_ptr<CodePageDecoder> decoder_;
    std::vector<DbfField> fields_;  // the visible fields
    int nullFlagsOffset_ = -1;
    int nullFlagsLength_ = 0;
    bool hasMemoFields_ = false;
    std::unique_ptr<MemoFile> memo_;
    std::uint32_t currentRecord_ = 0;  // 1-based, for messages
    DecimalText decimal_;              // reused for every numeric value
    QByteArray chunk_;                 // records read from the file
    qint64 chunkRecords_ = 0;
    qint64 chunkNext_ = 0;  // the chunk's record to read next
    std::uint32_t recordsRead_ = 0;
};

std::unique_ptr<Recordset> TableReader::read() {
    open();
    std::vector<Column> columns(fields_.size());
    // No more than the file holds: readHeader checked the count.
    for (Column& column : columns) column.reserve(recordCount_);
    readRows(columns, std::numeric_limits<long>::max());
    return std::make_unique<Recordset>(fieldInfos(), std::move(columns));
}

std::unique_ptr<Recordset> TableReader::stream(std::unique_ptr<TableReader> reader, long keepRows) {
    reader->open();
    const long rows = reader->countLiveRecords();
    std::vector<FieldInfo> fields = reader->fieldInfos();
    return std::make_unique<Recordset>(std::move(fields), rows, std::move(reader), keepRows);
}

void TableReader::open() {
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadOnly)) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The dBase table \"%1\" cannot be opened: %2.")
                           .arg(path_, file_.errorString()));
    }
    fileSize_ = file_.size();
    readHeader();
    if (hasMemoFields_) openMemoFile();
    rewind();
}

void TableReader::rewind() {
    if (!file_.seek(headerLength_)) fail(QStringLiteral("its records cannot be reached"));
    recordsRead_ = 0;
    chunkRecords_ = chunkNext_ = 0;
}

long TableReader::countLiveRecords() {
    constexpr long kRecordsAtATime = 4096;
    long live = 0;
    long read = 0;
    do {
        std::vector<Column> discarded(fields_.size());
        read = readRows(discarded, kRecordsAtATime);
        live += read;
    } while (read == kRecordsAtATime);
    rewind();
    return live;
}

void TableReader::readHeader() {
    const QByteArray start = file_.read(kHeaderSize);
    if (start.size() < kHeaderSize) fail(QStringLiteral("it is shorter than a table header"));
    const auto* h = reinterpret_cast<const unsigned char*>(start.constData());
    signature_ = h[0];
    if (signature_ == 0x04 || signature_ == 0x8C) {
        fail(QStringLiteral("it is a dBase 7 table, which this reader does not support"));
    }
    if (!isKnownSignature(signature_)) {
        fail(QStringLiteral("its first byte (0x%1) is not the signature of a dBase or FoxPro "
                            "table")
                 .arg(signature_, 2, 16, QLatin1Char('0')));
    }
    recordCount_ = readLittleEndian32(h + 4);
    headerLength_ = readLittleEndian16(h + 8);
    recordLength_ = readLittleEndian16(h + 10);
    decoder_ = std::make_unique<CodePageDecoder>(codePageOfLanguageDriver(h[29]));
    if (headerLength_ < kHeaderSize + 1 || headerLength_ > fileSize_) {
        fail(QStringLiteral("its header length (%1 bytes) does not fit the file (%2 bytes)")
                 .arg(headerLength_)
                 .arg(fileSize_));
    }
    file_.seek(0);
    const QByteArray header = file_.read(headerLength_);
    if (header.size() != headerLength_) fail(QStringLiteral("its header could not be read"));
    readFieldDescriptors(header);
    assignNullFlagBits();

    const qint64 completeRecords = (fileSize_ - headerLength_) / recordLength_;
    if (recordCount_ > completeRecords) {
        fail(QStringLiteral("its header announces %1 records, but the file holds only %2 "
                            "(the file is cut short)")
                 .arg(recordCount_)
                 .arg(completeRecords));
    }
}

void TableReader::readFieldDescriptors(const QByteArray& header) {
    const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
    int recordOffset = 1;  // after the deletion flag
    for (int pos = kHeaderSize; pos < headerLength_ && h[pos] != 0x0D && h[pos] != 0x0A;
         pos += kDescriptorSize) {
        if (pos + kDescriptorSize > headerLength_) {
            fail(QStringLiteral("its field descriptors run past the end of its header"));
        }
        addField(h + pos, recordOffset);
    }
    if (fields_.empty()) fail(QStringLiteral("it has no fields"));
    if (recordLength_ < recordOffset) {
        fail(QStringLiteral("its fields need %1 bytes per record, but its records are %2 bytes "
                            "long")
                 .arg(recordOffset)
                 .arg(recordLength_));
    }
}

void TableReader::addField(const unsigned char* d, int& recordOffset) {
    DbfField field;
    const auto* nameEnd = static_cast<const unsigned char*>(std::memchr(d, 0, 11));
    field.name = decoder_->decode(reinterpret_cast<const char*>(d), nameEnd ? nameEnd - d : 11);
    field.type = static_cast<char>(d[11]);
    field.length = d[16];
    field.decimals = d[17];
    const bool visualFoxPro = isVisualFoxPro(signature_);
    field.flags = visualFoxPro ? d[18] : 0;
    field.offset = recordOffset;

    auto requireLength = [&](std::initializer_list<int> allowed) {
        for (int length : allowed) {
            if (field.length == length) return;
        }
        fail(QStringLiteral("field %1 of type %2 has the impossible length %3")
                 .arg(field.name, QChar::fromLatin1(field.type), QString::number(field.length)));
    };
    auto requireMemoPointer = [&] {
        if (field.length != 4 && field.length != 10) requireLength({4, 10});
        hasMemoFields_ = true;
    };

    switch (field.type) {
        case 'C':
            // Clipper and FoxPro keep the high byte of a long character field's width here.
            field.length |= field.decimals << 8;
            field.decimals = 0;
            field.kind =
                field.flags & kFlagBinary ? FieldKind::CharacterBinary : FieldKind::Character;
            break;
        case 'N':
        case 'F':
            if (field.length == 0) requireLength({});
            field.kind = field.type == 'N' ? FieldKind::Numeric : FieldKind::Float;
            break;
        case 'D':
            requireLength({8});
            field.kind = FieldKind::Date;
            break;
        case 'T':
            requireLength({8});
            field.kind = FieldKind::DateTime;
            break;
        case 'L':
            requireLength({1});
            field.kind = FieldKind::Logical;
            break;
        case 'I':
            requireLength({4});
            field.kind = FieldKind::Integer;
            break;
        case 'Y':
            requireLength({8});
            field.kind = FieldKind::Currency;
            break;
        case 'B':
            if (visualFoxPro) {
                requireLength({8});
                field.kind = FieldKind::Double;
            } else {
                requireMemoPointer();
                field.kind = FieldKind::BinaryMemo;
            }
            break;
        case 'M':
            requireMemoPointer();
            field.kind = field.flags & kFlagBinary ? FieldKind::MemoBinary : FieldKind::Memo;
            break;
        case 'G':
        case 'P':
            requireMemoPointer();
            field.kind = FieldKind::BinaryMemo;
            break;
        case 'V':
        case 'Q':
            if (!visualFoxPro || field.length == 0) {
                fail(QStringLiteral("field %1 has the type %2, which only Visual FoxPro tables "
                                    "use, with a width of at least 1")
                         .arg(field.name, QChar::fromLatin1(field.type)));
            }
            field.kind = field.type == 'Q' || field.flags & kFlagBinary ? FieldKind::Varbinary
                                                                        : FieldKind::Varchar;
            break;
        case '0':
            field.kind = FieldKind::NullFlags;
            break;
        default:
            fail(QStringLiteral("field %1 has the type '%2' (0x%3), which this reader does not "
                                "know")
                     .arg(field.name, QChar::fromLatin1(field.type),
                          QString::number(static_cast<unsigned char>(field.type), 16)
                              .rightJustified(2, QLatin1Char('0'))));
    }
    recordOffset += field.length;
    if (field.kind == FieldKind::NullFlags) {
        nullFlagsOffset_ = field.offset;
        nullFlagsLength_ = field.length;
    } else {
        fields_.push_back(std::move(field));
    }
}

// Visual FoxPro gives each varchar/varbinary field a bit for "shorter than the field",
// followed by a bit for Null when the field is nullable, in field order.
void TableReader::assignNullFlagBits() {
    if (nullFlagsOffset_ < 0) {
        for (const DbfField& field : fields_) {
            if (field.kind == FieldKind::Varchar || field.kind == FieldKind::Varbinary) {
                fail(QStringLiteral("it has variable-length fields but no null flags field"));
            }
        }
        return;
    }
    int bit = 0;
    for (DbfField& field : fields_) {
        if (field.kind == FieldKind::Varchar || field.kind == FieldKind::Varbinary) {
            field.varLengthBit = bit++;
        }
        if (field.flags & kFlagNullable) field.nullBit = bit++;
    }
    if (bit > nullFlagsLength_ * 8) {
        fail(QStringLiteral("its null flags field has %1 bits for %2 flags")
                 .arg(nullFlagsLength_ * 8)
                 .arg(bit));
    }
}

void TableReader::openMemoFile() {
    const QFileInfo table(path_);
    const QString base = table.completeBaseName();
    const QStringList extensions = prefersFoxProMemo(signature_)
                                       ? QStringList{QStringLiteral("fpt"), QStringLiteral("dbt")}
                                       : QStringList{QStringLiteral("dbt"), QStringLiteral("fpt")};
    const QDir folder = table.dir();
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& extension : extensions) {
        const QString wanted = base + QLatin1Char('.') + extension;
        for (const QString& entry : entries) {
            if (entry.compare(wanted, Qt::CaseInsensitive) == 0) {
                memo_ = MemoFile::open(folder.filePath(entry), signature_);
                return;
            }
        }
    }
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The memo file \"%1\" of the dBase table \"%2\" is missing.")
                       .arg(folder.filePath(base + QLatin1Char('.') + extensions.front()), path_));
}

std::vector<FieldInfo> TableReader::fieldInfos() const {
    std::vector<FieldInfo> infos;
    infos.reserve(fields_.size());
    for (const DbfField& field : fields_) {
        FieldInfo info{field.name, 0, field.length, 0, 0};
        switch (field.kind) {
            case FieldKind::Character:
                info.type = adType::Char;
                break;
            case FieldKind::CharacterBinary:
                info.type = adType::Binary;
                break;
            case FieldKind::Numeric:
            case FieldKind::Float:
                info.type = field.kind == FieldKind::Numeric ? adType::Numeric : adType::Double;
                info.precision = field.length;
                info.numericScale = field.decimals;
                break;
            case FieldKind::Date:
                info.type = adType::DBDate;
                break;
            case FieldKind::DateTime:
                info.type = adType::DBTimeStamp;
                break;
            case FieldKind::Logical:
                info.type = adType::Boolean;
                break;
            case FieldKind::Integer:
                info.type = adType::Integer;
                info.precision = 10;
                break;
            case FieldKind::Double:
                info.type = adType::Double;
                info.precision = 15;
                break;
            case FieldKind::Currency:
                info.type = adType::Currency;
                info.precision = 19;
                info.numericScale = 4;
                break;
            case FieldKind::Memo:
                info.type = adType::LongVarChar;
                info.definedSize = kLongFieldSize;
                break;
            case FieldKind::MemoBinary:
            case FieldKind::BinaryMemo:
                info.type = adType::LongVarBinary;
                info.definedSize = kLongFieldSize;
                break;
            case FieldKind::Varchar:
                info.type = adType::VarChar;
                break;
            case FieldKind::Varbinary:
                info.type = adType::VarBinary;
                break;
            case FieldKind::NullFlags:
                break;
        }
        infos.push_back(info);
    }
    return infos;
}

// Appends the next live records, up to `maxRows`; gives how many.
long TableReader::readRows(std::vector<Column>& columns, long maxRows) {
    long appended = 0;
    while (appended < maxRows && recordsRead_ < recordCount_) {
        if (chunkNext_ == chunkRecords_) readChunk();
        const auto* record =
            reinterpret_cast<const unsigned char*>(chunk_.constData()) + chunkNext_ * recordLength_;
        ++chunkNext_;
        if (appendRecord(record, ++recordsRead_, columns)) ++appended;
    }
    return appended;
}

void TableReader::readChunk() {
    const qint64 recordsPerChunk = std::max<qint64>(1, kChunkBytes / recordLength_);
    chunkRecords_ = std::min<qint64>(recordsPerChunk, recordCount_ - recordsRead_);
    const qint64 bytes = chunkRecords_ * recordLength_;
    chunk_.resize(static_cast<qsizetype>(bytes));
    if (file_.read(chunk_.data(), bytes) != bytes) {
        fail(QStringLiteral("its records could not be read: %1").arg(file_.errorString()));
    }
    chunkNext_ = 0;
}

// False for a deleted record, which is left out.
bool TableReader::appendRecord(const unsigned char* record, std::uint32_t number,
                               std::vector<Column>& columns) {
    currentRecord_ = number;
    if (record[0] == '*') return false;
    if (record[0] != ' ') {
        fail(QStringLiteral("record %1 starts with 0x%2 instead of a deletion flag")
                 .arg(number)
                 .arg(record[0], 2, 16, QLatin1Char('0')));
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) storeField(fields_[i], record, columns[i]);
    return true;
}

bool TableReader::flagSet(const unsigned char* record, int bit) const {
    return (record[nullFlagsOffset_ + bit / 8] >> (bit % 8)) & 1;
}

// The common field types go straight into their column; the rarer ones through a Value.
void TableReader::storeField(const DbfField& field, const unsigned char* record, Column& column) {
    if (field.nullBit >= 0 && flagSet(record, field.nullBit)) return column.appendNull();
    const unsigned char* p = record + field.offset;
    switch (field.kind) {
        case FieldKind::Character:
            return storeCharacter(field, p, column);
        case FieldKind::CharacterBinary:
            return column.appendBytes(
                std::string_view(reinterpret_cast<const char*>(p), field.length));
        case FieldKind::Numeric:
        case FieldKind::Float:
            return storeNumeric(field, p, column);
        case FieldKind::Date:
            return column.append(dateValue(field, p));
        case FieldKind::DateTime:
            return column.append(dateTimeValue(field, p));
        case FieldKind::Logical:
            return column.append(logicalValue(field, p));
        case FieldKind::Integer:
            return column.appendInteger(static_cast<std::int32_t>(readLittleEndian32(p)));
        case FieldKind::Double:
            return column.appendDouble(std::bit_cast<double>(readLittleEndian64(p)));
        case FieldKind::Currency:
            return column.append(
                Value::decimal(currencyText(static_cast<std::int64_t>(readLittleEndian64(p)))));
        case FieldKind::Memo:
        case FieldKind::MemoBinary:
        case FieldKind::BinaryMemo:
            return column.append(memoValue(field, p));
        case FieldKind::Varchar:
        case FieldKind::Varbinary:
            return column.append(variableLengthValue(field, record, p));
        case FieldKind::NullFlags:
            return column.appendNull();
    }
}

void TableReader::storeCharacter(const DbfField& field, const unsigned char* p,
                                 Column& column) const {
    const int length = lengthWithoutPadding(p, field.length);
    const auto* bytes = reinterpret_cast<const char*>(p);
    if (decoder_->decodesToLatin1(bytes, length)) {
        return column.appendLatin1(ValueKind::Text, std::string_view(bytes, length));
    }
    column.appendText(ValueKind::Text, decoder_->decode(bytes, length));
}

void TableReader::storeNumeric(const DbfField& field, const unsigned char* p, Column& column) {
    int first = 0, end = field.length;
    while (first < end && (p[first] == ' ' || p[first] == 0)) ++first;
    while (end > first && (p[end - 1] == ' ' || p[end - 1] == 0)) --end;
    // A value too wide for its field is stored as asterisks: it is unknown.
    auto starOrBlank = [](unsigned char c) { return c == '*' || c == ' ' || c == 0; };
    if (first == end || (p[first] == '*' && std::all_of(p + first, p + end, starOrBlank))) {
        return column.appendNull();
    }
    if (!decimalFromText(p, first, end, decimal_)) {
        failValue(field,
                  QStringLiteral("\"%1\" is not a number")
                      .arg(QString::fromLatin1(reinterpret_cast<const char*>(p), field.length)));
    }
    column.appendLatin1(ValueKind::Decimal,
                        std::string_view(decimal_.constData(), decimal_.size()));
}

Value TableReader::dateValue(const DbfField& field, const unsigned char* p) const {
    bool empty = true, digits = true;
    for (int i = 0; i < 8; ++i) {
        if (p[i] != ' ' && p[i] != '0' && p[i] != 0) empty = false;
        if (!isDigit(p[i])) digits = false;
    }
    if (empty) return Value::null();
    auto number = [p](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) n = n * 10 + (p[i] - '0');
        return n;
    };
    if (digits) {
        const int year = number(0, 4), month = number(4, 2), day = number(6, 2);
        if (QDate(year, month, day).isValid()) return Value::date(year, month, day);
    }
    failValue(field, QStringLiteral("\"%1\" is not a date")
                         .arg(QString::fromLatin1(reinterpret_cast<const char*>(p), 8)));
}

Value TableReader::dateTimeValue(const DbfField& field, const unsigned char* p) const {
    if (isBlank(p, 8)) return Value::null();
    const std::uint32_t julianDay = readLittleEndian32(p);
    const std::uint32_t milliseconds = readLittleEndian32(p + 4);
    if (julianDay == 0) return Value::null();
    const QDate date = QDate::fromJulianDay(julianDay);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999 ||
        milliseconds >= std::uint32_t(kMillisecondsPerDay)) {
        failValue(field, QStringLiteral("day %1 and millisecond %2 are not a date and time")
                             .arg(julianDay)
                             .arg(milliseconds));
    }
    DateTime dt;
    dt.year = date.year();
    dt.month = date.month();
    dt.day = date.day();
    dt.hour = static_cast<int>(milliseconds / 3600000);
    dt.minute = static_cast<int>(milliseconds / 60000 % 60);
    dt.second = static_cast<int>(milliseconds / 1000 % 60);
    dt.microsecond = static_cast<int>(milliseconds % 1000) * 1000;
    return Value::dateTime(dt);
}

Value TableReader::logicalValue(const DbfField& field, const unsigned char* p) const {
    switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return Value::boolean(true);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return Value::boolean(false);
        case '?':
        case ' ':
        case 0:
            return Value::null();
        default:
            failValue(field, QStringLiteral("the byte 0x%1 is not a logical value")
                                 .arg(p[0], 2, 16, QLatin1Char('0')));
    }
}

Value TableReader::memoValue(const DbfField& field, const unsigned char* p) const {
    std::uint32_t block = 0;
    if (field.length == 4) {
        block = readLittleEndian32(p);
    } else {
        std::uint64_t number = 0;
        for (int i = 0; i < field.length; ++i) {
            if (p[i] == ' ' || p[i] == 0) continue;
            if (!isDigit(p[i]) || (number = number * 10 + (p[i] - '0')) > 0xFFFFFFFFu) {
                failValue(field, QStringLiteral("\"%1\" is not a memo block number")
                                     .arg(QString::fromLatin1(reinterpret_cast<const char*>(p),
                                                              field.length)));
            }
        }
        block = static_cast<std::uint32_t>(number);
    }
    if (block == 0) return Value::null();
    try {
        const MemoFile::Memo memo = memo_->read(block);
        if (field.kind == FieldKind::Memo && memo.text) {
            return Value::text(decoder_->decode(memo.data, memo.size));
        }
        return Value::bytes(QByteArray(memo.data, memo.size));
    } catch (const DaoError& error) {
        throw DaoError(
            error.number(),
            error.description().chopped(1) +
                QStringLiteral(" (record %1, field %2).").arg(currentRecord_).arg(field.name));
    }
}

Value TableReader::variableLengthValue(const DbfField& field, const unsigned char* record,
                                       const unsigned char* p) const {
    int length = field.length;
    if (flagSet(record, field.varLengthBit)) {
        length = p[field.length - 1];
        if (length > field.length - 1) {
            failValue(field, QStringLiteral("its stored length %1 exceeds the field's width %2")
                                 .arg(length)
                                 .arg(field.length - 1));
        }
    }
    const char* data = reinterpret_cast<const char*>(p);
    if (field.kind == FieldKind::Varbinary) return Value::bytes(QByteArray(data, length));
    return Value::text(decoder_->decode(data, length));
}

void TableReader::fail(const QString& reason) const {
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The dBase table \"%1\" is damaged: %2.").arg(path_, reason));
}

void TableReader::failValue(const DbfField& field, const QString& reason) const {
    fail(QStringLiteral("record %1, field %2: %3").arg(currentRecord_).arg(field.name, reason));
}

}  // namespace

std::unique_ptr<Recordset> readDbfTable(const QString& path, std::optional<long> streamedRows) {
    try {
        if (streamedRows)
            return TableReader::stream(std::make_unique<TableReader>(path), *streamedRows);
        return TableReader(path).read();
    } catch (const std::bad_alloc&) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The dBase table \"%1\" cannot be read: there is not "
                                      "enough memory for its records.")
                           .arg(path));
    }
}

}  // namespace keldara::dao::dbase
