#include "platform/dao/access/JetDatabase.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/JetLibmdb.h"
#include "platform/dao/access/JetValues.h"

namespace keldara::dao::access {

namespace {

constexpr int kRowDeleted = 0x4000;
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kLongValueHeaderSize = 12;
constexpr quint32 kLongValueInline = 0x80000000u;
constexpr quint32 kLongValueOnePage = 0x40000000u;
constexpr quint32 kLongValueLengthMask = 0x3FFFFFFFu;
// Jet allows 255 columns and 32 indexes to a table; a definition beyond that is damage.
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxRealIndexes = 255;
constexpr unsigned long kCatalogueDefinitionPage = 2;
constexpr int kMaxDecimalDigits = 28;
// Column types of Access 2007 and later that libmdb does not name.
constexpr int kLargeNumberType = 0x13;
constexpr int kExtendedDateSize = 42;
constexpr int kExtendedDateLastTickDigit = 38;
// A calculated column's stored result: 16 bytes, the result's length, the result, 3 bytes.
constexpr int kCalculatedHeaderSize = 20;
constexpr int kCalculatedLengthOffset = 16;
constexpr int kStoredDecimalSize = 16;
// Catalogue flags of system and hidden system objects.
constexpr qint64 kSystemObjectFlags = 0x80000002;

// Defined sizes as the Jet OLE DB provider reports them for the long types.
constexpr long kMemoDefinedSize = 536870910;
constexpr long kOleDefinedSize = 1073741823;
constexpr long kDecimalDefinedSize = 19;

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// libmdb fills col_scale from the byte that holds a decimal column's precision and
// col_prec from the one that holds its scale.
int precisionOf(const MdbColumn* column) {
    return column->col_scale;
}
int scaleOf(const MdbColumn* column) {
    return column->col_prec;
}

constexpr int kDataPage = 0x01;
constexpr int kTableDefinitionPage = 0x02;
constexpr unsigned char kInlineUsageMap = 0;
constexpr unsigned char kPagedUsageMap = 1;
constexpr int kInlineUsageMapHeader = 5;  // the map type and the first page of the bitmap

// libmdb trusts the usage map reference of a table definition: a reference to a row its
// page does not hold crashes it, and a map of an unknown type or pointing past the end of
// the file sends it through pages that are not the table's. This checks the reference on
// libmdb's own copy of the pages (it decrypts them) before libmdb is given the table.
class DefinitionCheck {
  public:
    DefinitionCheck(MdbHandle* mdb, quint32 pageCount)
        : mdb_(mdb), pageCount_(pageCount), pageSize_(static_cast<int>(mdb->fmt->pg_size)) {}

    // Why the definition on `page` cannot be read; empty when it can.
    QString problem(quint32 page) {
        if (!readPage(page)) return QStringLiteral("lies outside the file");
        if (mdb_->pg_buf[0] != kTableDefinitionPage) {
            return QStringLiteral("is not on a table definition page");
        }
        const auto usageMap =
            static_cast<quint32>(mdb_get_int32(mdb_->pg_buf, mdb_->fmt->tab_usage_map_offset));
        const QString why = usageMapProblem(usageMap);
        return why.isEmpty() ? usageMapContentProblem() : why;
    }

  private:
    bool readPage(quint32 page) {
        return page > 0 && page < pageCount_ && mdb_read_pg(mdb_, page) == pageSize_;
    }

    // Finds the usage map's row and keeps its bytes in map_.
    QString usageMapProblem(quint32 pageRow) {
        const quint32 page = pageRow >> 8;
        const int row = static_cast<int>(pageRow & 0xFF);
        if (!readPage(page)) return QStringLiteral("refers to a usage map outside the file");
        const int rowTable = mdb_->fmt->row_count_offset;
        const int rows = mdb_get_int16(mdb_->pg_buf, rowTable);
        const int rowTableEnd = rowTable + 2 + 2 * rows;
        if (row >= rows || rowTableEnd > pageSize_) {
            return QStringLiteral("refers to a usage map its page does not hold");
        }
        const int start = mdb_get_int16(mdb_->pg_buf, rowTable + 2 + 2 * row) & kRowOffsetMask;
        const int end =
            row == 0 ? pageSize_ : mdb_get_int16(mdb_->pg_buf, rowTable + 2 * row) & kRowOffsetMask;
        if (start < rowTableEnd || start >= end || end > pageSize_) {
            return QStringLiteral("refers to a usage map that does not lie inside its page");
        }
        map_ = QByteArray(reinterpret_cast<const char*>(mdb_->pg_buf) + start, end - start);
        return {};
    }

    // The usage map lists the table's data pages: inline as a bitmap from a first page
    // on, or as the numbers of pages that hold such bitmaps.
    QString usageMapContentProblem() const {
        const auto* map = reinterpret_cast<const unsigned char*>(map_.constData());
        const auto size = static_cast<int>(map_.size());
        if (map[0] == kInlineUsageMap) {
            if (size < kInlineUsageMapHeader || qFromLittleEndian<quint32>(map + 1) >= pageCount_) {
                return QStringLiteral("has a usage map that points outside the file");
            }
        } else if (map[0] == kPagedUsageMap) {
            for (int offset = 1; offset + 4 <= size; offset += 4) {
                if (qFromLittleEndian<quint32>(map + offset) >= pageCount_) {
                    return QStringLiteral("has a usage map that points outside the file");
                }
            }
        } else {
            return QStringLiteral("has a usage map of unknown type %1").arg(map[0]);
        }
        return {};
    }

    MdbHandle* mdb_;
    quint32 pageCount_;
    int pageSize_;
    QByteArray map_;
};

}  // namespace

namespace {

// A memo, or a calculated text without a length (its result is kept as a memo's).
bool isLongText(const MdbColumn* column) {
    return column->col_type == MDB_MEMO || (column->col_type == MDB_TEXT && column->col_size == 0);
}

// What the column descriptors of an Access 2007+ table say beyond what libmdb reads.
struct AceColumnTraits {
    bool calculated = false;
    quint32 complexId = 0;
};

constexpr int kDescriptorComplexIdOffset = 11;
constexpr int kDescriptorExtraFlagsOffset = 16;
constexpr unsigned char kCalculatedFlags = 0xC0;
constexpr int kDefinitionContinuationHeader = 8;
constexpr int kMaxDefinitionPages = 64;

// The descriptors of a table definition, keyed by their column's number in the row.
QHash<int, AceColumnTraits> readAceColumnTraits(MdbHandle* mdb, MdbTableDef* table,
                                                quint32 pageCount) {
    const MdbFormatConstants* fmt = mdb->fmt;
    const QByteArray definition =
        readTableDefinition(mdb, static_cast<quint32>(table->entry->table_pg), pageCount);
    QHash<int, AceColumnTraits> traits;
    const qsizetype first =
        fmt->tab_cols_start_offset + qsizetype(table->num_real_idxs) * fmt->tab_ridx_entry_size;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const qsizetype at = first + qsizetype(i) * fmt->tab_col_entry_size;
        if (at + fmt->tab_col_entry_size > definition.size()) break;
        const auto* descriptor =
            reinterpret_cast<const unsigned char*>(definition.constData() + at);
        AceColumnTraits& column =
            traits[qFromLittleEndian<quint16>(descriptor + fmt->tab_row_col_num_offset)];
        column.calculated =
            (descriptor[kDescriptorExtraFlagsOffset] & kCalculatedFlags) == kCalculatedFlags;
        column.complexId = qFromLittleEndian<quint32>(descriptor + kDescriptorComplexIdOffset);
    }
    return traits;
}

// Reads one table's rows into a recordset; every failure is a DaoError naming the file.
class TableReader {
  public:
    TableReader(MdbHandle* mdb, MdbTableDef* table, const QString& path, const QString& tableName,
                const CodePageDecoder& jet3Text, quint32 pageCount = 0,
                JetDatabase::ComplexResolver complexResolver = {})
        : mdb_(mdb),
          table_(table),
          path_(path),
          tableName_(tableName),
          jet3Text_(jet3Text),
          jet4_(mdb->f->jet_version != MDB_VER_JET3),
          ace_(mdb->f->jet_version >= MDB_VER_ACCDB_2007),
          pageSize_(static_cast<int>(mdb->fmt->pg_size)),
          pageCount_(pageCount),
          complexResolver_(std::move(complexResolver)) {}

    // Reads only the named columns; the others stay Null.
    void readOnly(const QStringList& names) { wanted_ = names; }

    std::unique_ptr<Recordset> read() {
        start();
        std::vector<Column> columns(columns_.size());
        for (Column& column : columns)
            column.reserve(std::min<std::size_t>(table_->num_rows, 1u << 20));
        readRows(columns, std::numeric_limits<long>::max());
        auto recordset = std::make_unique<Recordset>(fields(), std::move(columns));
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            if (!notes_[c].isEmpty()) recordset->setFieldNote(static_cast<int>(c), notes_[c]);
        }
        return recordset;
    }

    // Reads the table once without keeping its rows, finding what read() finds (the fields,
    // their notes, the damage), and gives the number of rows; readRows then reads them again.
    long countRows() {
        start();
        constexpr long kRowsAtATime = 4096;
        long rows = 0;
        for (long read = kRowsAtATime; read == kRowsAtATime; rows += read) {
            std::vector<Column> discarded(columns_.size());
            read = readRows(discarded, kRowsAtATime);
        }
        rewind();
        return rows;
    }
    const std::vector<QString>& notes() const { return notes_; }

    // Appends the next rows, up to `maxRows`, page by page; gives how many.
    long readRows(std::vector<Column>& columns, long maxRows) {
        // Another table may have been read through the handle since: the page again.
        if (rowOnPage_ < rowsOnPage_) mdb_read_pg(mdb_, page_);
        long appended = 0;
        while (appended < maxRows) {
            if (rowOnPage_ == rowsOnPage_ && !nextPage()) break;
            const int r = rowOnPage_++;
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb_, r, &start, &size) == -1 || size == 0) continue;
            if (start & kRowDeleted) continue;
            start &= kRowOffsetMask;
            if (mdb_crack_row(table_, start, size, fields_.data()) < 0) {
                damaged(QStringLiteral("a row of table %1 cannot be read").arg(quoted(tableName_)));
            }
            for (std::size_t c = 0; c < columns_.size(); ++c) {
                if (skipped_[c]) {
                    columns[c].appendNull();
                } else if (const auto digits =
                               decimalDigitsOf(c, fields_[c], start, static_cast<int>(size))) {
                    fitDecimal(c, digits->view());
                    columns[c].appendLatin1(ValueKind::Decimal, digits->view());
                } else {
                    const Value value = columnValue(c, fields_[c], start, static_cast<int>(size));
                    fitDecimal(c, value);
                    columns[c].append(value);
                }
            }
            ++rowsRead_;
            ++appended;
        }
        if (appended < maxRows && rowsRead_ < static_cast<long>(table_->num_rows)) {
            damaged(QStringLiteral("table %1 holds %2 rows, but only %3 could be read")
                        .arg(quoted(tableName_), QString::number(table_->num_rows),
                             QString::number(rowsRead_)));
        }
        return appended;
    }

  private:
    [[noreturn]] void damaged(const QString& why) const {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The Access database %1 is damaged: %2.").arg(quoted(path_), why));
    }

    [[noreturn]] void badValue(const MdbColumn* column, const QString& why) const {
        damaged(QStringLiteral("a value of column %1 in table %2 %3")
                    .arg(quoted(QString::fromUtf8(column->name)), quoted(tableName_), why));
    }

    void readColumns() {
        if (!hasValidCounts(table_)) {
            damaged(
                QStringLiteral("the definition of table %1 is not valid").arg(quoted(tableName_)));
        }
        GPtrArray* columns = mdb_read_columns(table_);
        if (!columns || columns->len != table_->num_cols) {
            damaged(
                QStringLiteral("the columns of table %1 cannot be read").arg(quoted(tableName_)));
        }
        for (guint i = 0; i < columns->len; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
            if (column->col_type == MDB_NUMERIC && (precisionOf(column) > kMaxDecimalDigits ||
                                                    scaleOf(column) > precisionOf(column))) {
                damaged(QStringLiteral("the decimal column %1 of table %2 has no valid precision")
                            .arg(quoted(QString::fromUtf8(column->name)), quoted(tableName_)));
            }
            if (ace_ && !isKnownType(column->col_type)) {
                notes_[i] = QStringLiteral("unknown Access type 0x%1, read as Null")
                                .arg(column->col_type, 2, 16, QLatin1Char('0'));
            }
            columns_.push_back(column);
            fieldInfos_.push_back(fieldInfoOfColumn(column, jet4_));
        }
        const auto traits =
            ace_ ? readAceColumnTraits(mdb_, table_, pageCount_) : QHash<int, AceColumnTraits>();
        complex_.resize(columns_.size());
        calculated_.assign(columns_.size(), false);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const AceColumnTraits column = traits.value(columns_[c]->row_col_num);
            calculated_[c] = column.calculated;
            if (columns_[c]->col_type == MDB_COMPLEX) resolveComplex(c, column.complexId);
        }
    }

    // A complex field's values live in a hidden table; what the field holds is read from it
    // now, before the table's own pages.
    void resolveComplex(std::size_t c, quint32 complexId) {
        const FieldInfo& info = fieldInfos_[c];
        if (complexResolver_) {
            complex_[c] = complexResolver_(complexId, info.name);
        } else {
            complex_[c].note = QStringLiteral("not copied: its values cannot be read here");
        }
        notes_[c] = complex_[c].note;
    }

    Value columnValue(std::size_t c, const MdbField& field, int rowStart, int rowSize) {
        const MdbColumn* column = columns_[c];
        if (column->col_type == MDB_COMPLEX) {
            const Value key = fieldValue(column, field, rowStart, rowSize);
            if (key.isNull() || !complex_[c].texts) return Value::null();
            const auto found = complex_[c].texts->find(key.toInt());
            return found == complex_[c].texts->end() ? Value::null() : Value::text(*found);
        }
        if (calculated_[c]) return calculatedValue(column, field, rowStart, rowSize);
        Value value = fieldValue(column, field, rowStart, rowSize);
        if (column->col_type == kExtendedDateType && !value.isNull() &&
            mdb_->pg_buf[field.start + kExtendedDateLastTickDigit] != '0') {
            notes_[c] = QStringLiteral(
                "times to the microsecond: the 7th decimal of a second "
                "is not kept");
        }
        return value;
    }

    // The stored result of a calculated column, decoded as the column's type. Numbers are
    // stored in the type the expression gave (Access converts them when it shows them): a
    // Decimal in 16 bytes, a Single in 4, Currency or Double in 8 (a Currency's bits are no
    // normal Double), an integer or Yes/No in fewer.
    Value calculatedValue(const MdbColumn* column, const MdbField& field, int rowStart,
                          int rowSize) {
        if (field.is_null) return Value::null();
        checkInsideRow(column, field, rowStart, rowSize);
        const unsigned char* stored = mdb_->pg_buf + field.start;
        int storedSize = field.siz;
        QByteArray gathered;
        if (isLongText(column)) {
            const QByteArrayView longResult = longValueBytes(column, stored, storedSize, gathered);
            stored = reinterpret_cast<const unsigned char*>(longResult.data());
            storedSize = static_cast<int>(longResult.size());
        }
        if (storedSize < kCalculatedHeaderSize) badValue(column, QStringLiteral("is too short"));
        const auto length = qFromLittleEndian<quint32>(stored + kCalculatedLengthOffset);
        if (length > quint32(storedSize - kCalculatedHeaderSize))
            badValue(column, QStringLiteral("is cut short"));
        const unsigned char* data = stored + kCalculatedHeaderSize;
        const int size = static_cast<int>(length);
        if (size == 0) return Value::null();
        switch (column->col_type) {
            case MDB_TEXT:
            case MDB_MEMO:
                return Value::text(text(column, data, size));
            case MDB_BOOL:
                return Value::boolean(data[0] != 0);
            case MDB_BYTE:
            case MDB_INT:
            case MDB_LONGINT:
            case kLargeNumberType:
                return storedInteger(column, data, size);
            case MDB_MONEY:
            case MDB_FLOAT:
            case MDB_DOUBLE:
            case MDB_NUMERIC:
                return storedNumber(column, data, size);
            default:  // dates, GUIDs, binary data as they are stored in a row
                return fieldValueOfBytes(column, data, size);
        }
    }

    Value storedInteger(const MdbColumn* column, const unsigned char* data, int size) {
        switch (size) {
            case 1:  // Yes/No results are 0 or 0xFF (True, -1)
                return Value::integer(column->col_type == MDB_BYTE ? data[0]
                                                                   : static_cast<qint8>(data[0]));
            case 2:
                return Value::integer(qFromLittleEndian<qint16>(data));
            case 4:
                return Value::integer(qFromLittleEndian<qint32>(data));
            case 8:
                return Value::integer(qFromLittleEndian<qint64>(data));
            default:
                badValue(column, QStringLiteral("has a result of unexpected size"));
        }
    }

    Value storedNumber(const MdbColumn* column, const unsigned char* data, int size) {
        const bool exact = column->col_type == MDB_NUMERIC || column->col_type == MDB_MONEY;
        if (size == kStoredDecimalSize) {
            if (exact) {
                const auto text = storedDecimalText(data);
                if (!text) badValue(column, QStringLiteral("has no valid scale"));
                return Value::decimal(*text);
            }
            const auto number = storedDecimalNumber(data);
            if (!number) badValue(column, QStringLiteral("has no valid scale"));
            return Value::floating(*number);
        }
        if (size == 4) return Value::floating(singleAsDouble(qFromLittleEndian<float>(data)));
        if (size != 8) badValue(column, QStringLiteral("has a result of unexpected size"));
        const double number = qFromLittleEndian<double>(data);
        if (column->col_type != MDB_MONEY && std::fpclassify(number) != FP_SUBNORMAL &&
            !std::isnan(number)) {
            return Value::floating(number);
        }
        const auto tenThousandths = qFromLittleEndian<qint64>(data);
        return exact ? Value::decimal(currencyText(tenThousandths))
                     : Value::floating(currencyNumber(tenThousandths));
    }

    // A calculated Decimal column has no precision of its own: it gets what its values need,
    // and becomes a Double when its expression gave floating-point results.
    struct DecimalFit {
        int whole = 1;
        int scale = 0;
        bool floating = false;
    };

    void fitDecimal(std::size_t c, const Value& value) {
        if (!calculated_[c] || columns_[c]->col_type != MDB_NUMERIC) return;
        fits_[c].floating = fits_[c].floating || value.kind() == ValueKind::Double;
        if (value.kind() == ValueKind::Decimal)
            fitDecimal(c, std::string_view(value.decimalText().toLatin1()));
    }

    void fitDecimal(std::size_t c, std::string_view digits) {
        if (!calculated_[c] || columns_[c]->col_type != MDB_NUMERIC) return;
        DecimalFit& fit = fits_[c];
        if (digits.starts_with('-')) digits.remove_prefix(1);
        const std::size_t point = digits.find('.');
        const bool whole = point == std::string_view::npos;
        fit.whole = std::max<int>(fit.whole, static_cast<int>(whole ? digits.size() : point));
        fit.scale =
            std::max<int>(fit.scale, whole ? 0 : static_cast<int>(digits.size() - point - 1));
    }

    // The text of a Decimal or Currency value (a calculated column's only where it holds a
    // Decimal), read straight into its column: a table of many such fields spent much of its
    // time making and freeing a Value and a QString for each. Nothing for other values and
    // for those columnValue finds damaged.
    std::optional<NumberText> decimalDigitsOf(std::size_t c, const MdbField& field, int rowStart,
                                              int rowSize) {
        const MdbColumn* column = columns_[c];
        const bool currency = column->col_type == MDB_MONEY;
        if ((!currency && column->col_type != MDB_NUMERIC) || field.is_null) return std::nullopt;
        checkInsideRow(column, field, rowStart, rowSize);
        const unsigned char* data = mdb_->pg_buf + field.start;
        if (calculated_[c]) {
            if (field.siz < kCalculatedHeaderSize + kStoredDecimalSize ||
                qFromLittleEndian<quint32>(data + kCalculatedLengthOffset) != kStoredDecimalSize)
                return std::nullopt;
            return storedDecimalDigits(data + kCalculatedHeaderSize);
        }
        if (field.siz < (currency ? 8 : 17)) return std::nullopt;
        return currency ? currencyDigits(qFromLittleEndian<qint64>(data))
                        : decimalDigits(data, scaleOf(column));
    }

  public:
    // The fields, once every row has been read.
    std::vector<FieldInfo> fields() const {
        std::vector<FieldInfo> infos = fieldInfos_;
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            if (!calculated_[c] || columns_[c]->col_type != MDB_NUMERIC) continue;
            FieldInfo& info = infos[c];
            if (fits_[c].floating) {
                info = FieldInfo{info.name, adType::Double, 8, 0, 0};
            } else {
                info.precision = fits_[c].whole + fits_[c].scale;
                info.numericScale = fits_[c].scale;
            }
        }
        return infos;
    }

  private:
    void start() {
        readColumns();
        skipped_.assign(columns_.size(), false);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            skipped_[c] = !wanted_.isEmpty() && !wanted_.contains(fieldInfos_[c].name);
        }
        fields_.resize(columns_.size());
        fits_.assign(columns_.size(), DecimalFit{});
        rewind();
    }

    void rewind() {
        mdb_rewind_table(table_);
        if (mappedPages_.empty()) mappedPages_ = mappedPages();
        nextMapped_ = 0;
        rowsRead_ = 0;
        previousPage_ = page_ = 0;
        rowOnPage_ = rowsOnPage_ = 0;
    }

    // The pages the table's usage map marks, in ascending order, as libmdb's walk of the map
    // finds them one at a time (page 0 never). A paged map's bitmap pages are read once here;
    // the walk reads one again for every data page. The map's type and the numbers of its
    // bitmap pages were checked with the definition (DefinitionCheck).
    std::vector<quint32> mappedPages() {
        std::vector<quint32> pages;
        const unsigned char* map = table_->usage_map;
        const auto size = static_cast<qsizetype>(table_->map_sz);
        const auto addBitmap = [&](const unsigned char* bitmap, quint32 bits, quint32 first) {
            for (quint32 bit = 0; bit < bits; ++bit) {
                if ((bitmap[bit / 8] >> (bit % 8) & 1) && first + bit != 0)
                    pages.push_back(first + bit);
            }
        };
        if (!map || size < 1) return pages;
        if (map[0] == kInlineUsageMap && size >= kInlineUsageMapHeader) {
            addBitmap(map + kInlineUsageMapHeader, static_cast<quint32>(size - 5) * 8,
                      qFromLittleEndian<quint32>(map + 1));
        } else if (map[0] == kPagedUsageMap) {
            const auto bitsPerPage = static_cast<quint32>(pageSize_ - 4) * 8;
            for (qsizetype i = 0; 1 + 4 * i + 4 <= size; ++i) {
                const quint32 bitmapPage = qFromLittleEndian<quint32>(map + 1 + 4 * i);
                if (bitmapPage == 0) continue;
                if (mdb_read_alt_pg(mdb_, bitmapPage) != pageSize_) {
                    damaged(QStringLiteral("the page map of table %1 is not valid")
                                .arg(quoted(tableName_)));
                }
                addBitmap(mdb_->alt_pg_buf + 4, bitsPerPage, static_cast<quint32>(i) * bitsPerPage);
            }
        }
        return pages;
    }

    // The next of the mapped pages that is a data page of this table (libmdb warns of the
    // others and passes them by); none after a page that cannot be read.
    bool nextPage() {
        for (;;) {
            if (nextMapped_ == mappedPages_.size()) return false;
            const quint32 page = mappedPages_[nextMapped_++];
            if (!readMappedPage(page)) return false;
            if (mdb_->pg_buf[0] == kDataPage &&
                static_cast<quint32>(mdb_get_int32(mdb_->pg_buf, 4)) == table_->entry->table_pg) {
                page_ = static_cast<int>(page);
                break;
            }
        }
        if (page_ <= previousPage_) {  // data pages come in ascending order
            damaged(
                QStringLiteral("the page map of table %1 is not valid").arg(quoted(tableName_)));
        }
        previousPage_ = page_;
        rowsOnPage_ = mdb_get_int16(mdb_->pg_buf, mdb_->fmt->row_count_offset);
        rowOnPage_ = 0;
        return true;
    }

    // Reads the mapped page just taken into the handle's page buffer, as mdb_read_pg would.
    // Pages of the map that follow one another in the file are read together, up to
    // kPagesAtATime in one call, where the database keeps its pages as they are (an encoded
    // one's pages are decoded by libmdb, a page at a time): a table of long rows spent a
    // tenth of its time in the three calls a page takes.
    bool readMappedPage(quint32 page) {
        if (mdb_->f->db_key != 0) return mdb_read_pg(mdb_, page) == pageSize_;
        const auto size = static_cast<std::size_t>(pageSize_);
        if (page < runFirst_ || page - runFirst_ >= runPages_) {
            std::size_t pages = 1;
            while (pages < kPagesAtATime && nextMapped_ - 1 + pages < mappedPages_.size() &&
                   mappedPages_[nextMapped_ - 1 + pages] == page + pages) {
                ++pages;
            }
            run_.resize(pages * size);
            const ssize_t read = pread(fileno(mdb_->f->stream), run_.data(), run_.size(),
                                       static_cast<off_t>(page) * pageSize_);
            if (read < pageSize_) return false;
            runFirst_ = page;
            runPages_ = static_cast<quint32>(static_cast<std::size_t>(read) / size);
        }
        std::memcpy(mdb_->pg_buf, run_.data() + (page - runFirst_) * size, size);
        mdb_->cur_pg = page;
        mdb_->cur_pos = 0;
        return true;
    }

    static bool isKnownType(int type) {
        return (type >= MDB_BOOL && type <= MDB_MEMO) || type == MDB_REPID || type == MDB_NUMERIC ||
               type == MDB_COMPLEX || type == kLargeNumberType || type == kExtendedDateType;
    }

    void checkInsideRow(const MdbColumn* column, const MdbField& field, int rowStart,
                        int rowSize) const {
        if (field.siz < 0 || field.start < rowStart ||
            field.start + field.siz > rowStart + rowSize || field.start + field.siz > pageSize_) {
            badValue(column, QStringLiteral("lies outside its row"));
        }
    }

    Value fieldValue(const MdbColumn* column, const MdbField& field, int rowStart, int rowSize) {
        if (column->col_type == MDB_BOOL) return Value::boolean(!field.is_null);
        if (field.is_null) return Value::null();
        checkInsideRow(column, field, rowStart, rowSize);
        return fieldValueOfBytes(column, mdb_->pg_buf + field.start, field.siz);
    }

    Value fieldValueOfBytes(const MdbColumn* column, const unsigned char* data, int size) {
        const auto need = [&](int bytes) {
            if (size < bytes) badValue(column, QStringLiteral("is too short"));
        };
        switch (column->col_type) {
            case MDB_BYTE:
                need(1);
                return Value::integer(data[0]);
            case MDB_INT:
                need(2);
                return Value::integer(qFromLittleEndian<qint16>(data));
            case MDB_LONGINT:
                need(4);
                return Value::integer(qFromLittleEndian<qint32>(data));
            case MDB_MONEY:
                need(8);
                return Value::decimal(currencyText(qFromLittleEndian<qint64>(data)));
            case MDB_FLOAT:
                need(4);
                return Value::floating(singleAsDouble(qFromLittleEndian<float>(data)));
            case MDB_DOUBLE:
                need(8);
                return Value::floating(qFromLittleEndian<double>(data));
            case MDB_DATETIME: {
                need(8);
                auto value = dateValue(qFromLittleEndian<double>(data));
                if (!value)
                    badValue(column,
                             QStringLiteral("is not a date between the years 100 and 9999"));
                return *value;
            }
            case MDB_NUMERIC:
                need(17);
                return Value::decimal(decimalText(data, scaleOf(column)));
            case MDB_REPID:
                need(16);
                return Value::text(guidText(data));
            case MDB_TEXT:
                return Value::text(text(column, data, size));
            case MDB_MEMO: {
                QByteArray gathered;
                const QByteArrayView bytes = longValueBytes(column, data, size, gathered);
                return Value::text(text(column,
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size())));
            }
            case MDB_OLE:
                return Value::bytes(longValue(column, data, size));
            case MDB_COMPLEX:  // the key of its values in the hidden table
                need(4);
                return Value::integer(qFromLittleEndian<qint32>(data));
            case kLargeNumberType:
                need(8);
                return Value::integer(qFromLittleEndian<qint64>(data));
            case kExtendedDateType: {
                need(kExtendedDateSize);
                auto value = extendedDateValue(data, size);
                if (!value)
                    badValue(column, QStringLiteral("is not a date between the years 1 and 9999"));
                return *value;
            }
            default:  // Binary; a type unknown to Access 2007+ is read as Null (and noted)
                if (ace_ && !isKnownType(column->col_type)) return Value::null();
                return Value::bytes(QByteArray(reinterpret_cast<const char*>(data), size));
        }
    }

    QString text(const MdbColumn* column, const unsigned char* data, int size) const {
        const auto* chars = reinterpret_cast<const char*>(data);
        if (jet4_) return decodeJet4Text(chars, size);
        auto decoded = jet3Text_.decodeStrict(chars, size);
        if (!decoded) {
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The Access database %1 cannot be read in code page %2, "
                                          "the code page of this computer's language: a value of "
                                          "column %3 in table %4 is not text in that code page.")
                               .arg(quoted(path_), QString::number(jet3Text_.codePage()),
                                    quoted(QString::fromUtf8(column->name)), quoted(tableName_)));
        }
        return *decoded;
    }

    // Memo and OLE values: a 12-byte header in the row, the data in the row itself, in one
    // row of a long-value page, or in a chain of such rows.
    QByteArray longValue(const MdbColumn* column, const unsigned char* field, int size) {
        QByteArray gathered;
        const QByteArrayView bytes = longValueBytes(column, field, size, gathered);
        return gathered.isEmpty() ? bytes.toByteArray() : gathered;
    }

    // The bytes of a long value: a view of the row or of the kept long-value page where they
    // lie in one piece (good until the next long value is read), else gathered from their
    // chain of pages into `gathered`.
    QByteArrayView longValueBytes(const MdbColumn* column, const unsigned char* field, int size,
                                  QByteArray& gathered) {
        if (size < kLongValueHeaderSize) badValue(column, QStringLiteral("is too short"));
        const quint32 header = qFromLittleEndian<quint32>(field);
        const qsizetype length = header & kLongValueLengthMask;
        if (header & kLongValueInline) {
            if (length > size - kLongValueHeaderSize)
                badValue(column, QStringLiteral("is cut short"));
            return QByteArrayView(field + kLongValueHeaderSize, length);
        }
        quint32 pageRow = qFromLittleEndian<quint32>(field + 4);
        if (header & kLongValueOnePage) {
            const QByteArrayView part = longValueRow(column, pageRow);
            if (part.size() < length) badValue(column, QStringLiteral("is cut short"));
            return part.first(length);
        }
        gathered.reserve(std::min<qsizetype>(length, 1 << 24));
        QSet<quint32> visited;
        while (gathered.size() < length) {
            if (pageRow == 0 || visited.contains(pageRow)) {
                badValue(column, QStringLiteral("has a broken chain of pages"));
            }
            visited.insert(pageRow);
            const QByteArrayView part = longValueRow(column, pageRow);
            if (part.size() < 4) badValue(column, QStringLiteral("has a broken chain of pages"));
            pageRow = qFromLittleEndian<quint32>(part.data());
            gathered += part.sliced(4).first(std::min(part.size() - 4, length - gathered.size()));
        }
        return gathered;
    }

    // A row of a long-value page, viewed in the kept page. The last such page read is kept:
    // the values of rows that follow one another mostly lie on the same page, which is then
    // not read again.
    QByteArrayView longValueRow(const MdbColumn* column, quint32 pageRow) {
        const quint32 page = pageRow >> 8;
        const int row = static_cast<int>(pageRow & 0xFF);
        if (longValuePage_.isEmpty() || page != longValuePageNumber_) {
            longValuePage_.clear();
            if (mdb_read_alt_pg(mdb_, page) != pageSize_)
                badValue(column, QStringLiteral("points to data that cannot be read"));
            longValuePage_ = QByteArray(reinterpret_cast<const char*>(mdb_->alt_pg_buf), pageSize_);
            longValuePageNumber_ = page;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(longValuePage_.constData());
        const int rowTable = mdb_->fmt->row_count_offset;
        const auto entry = [&](int offset) { return qFromLittleEndian<quint16>(data + offset); };
        const int start = entry(rowTable + 2 + 2 * row) & kRowOffsetMask;
        const int end = row == 0 ? pageSize_ : entry(rowTable + 2 * row) & kRowOffsetMask;
        if (end < start || end > pageSize_)
            badValue(column, QStringLiteral("points to data that cannot be read"));
        return QByteArrayView(longValuePage_).sliced(start, end - start);
    }

    MdbHandle* mdb_;
    MdbTableDef* table_;
    const QString path_;
    const QString tableName_;
    const CodePageDecoder& jet3Text_;
    bool jet4_;
    bool ace_;
    int pageSize_;
    quint32 pageCount_;
    JetDatabase::ComplexResolver complexResolver_;
    std::vector<JetDatabase::ComplexField> complex_;
    std::vector<bool> calculated_;
    std::vector<QString> notes_ = std::vector<QString>(kMaxColumns);
    std::vector<MdbColumn*> columns_;
    std::vector<FieldInfo> fieldInfos_;
    QStringList wanted_;
    std::vector<bool> skipped_;
    std::vector<MdbField> fields_;
    std::vector<DecimalFit> fits_;
    QByteArray longValuePage_;  // the long-value page last read, and its number
    quint32 longValuePageNumber_ = 0;
    long rowsRead_ = 0;
    std::vector<quint32> mappedPages_;
    std::size_t nextMapped_ = 0;
    static constexpr std::size_t kPagesAtATime = 32;
    std::vector<unsigned char> run_;  // pages read together, from runFirst_ on
    quint32 runFirst_ = 0;
    quint32 runPages_ = 0;
    int page_ = 0;
    int previousPage_ = 0;
    int rowOnPage_ = 0;
    int rowsOnPage_ = 0;
};

// The rows of a table read again for a streamed recordset, through the database's handle;
// the reader keeps its table's definition and the database.
class StreamedTable final : public RowSource {
  public:
    StreamedTable(std::shared_ptr<const JetDatabase> database,
                  std::unique_ptr<MdbCatalogEntry> entry, TablePtr table,
                  std::unique_ptr<TableReader> reader)
        : database_(std::move(database)),
          entry_(std::move(entry)),
          table_(std::move(table)),
          reader_(std::move(reader)) {}
    ~StreamedTable() override {
        std::lock_guard lock(libmdbMutex());
        reader_.reset();
        table_.reset();
    }

    long readRows(std::vector<Column>& columns, long maxRows) override {
        std::lock_guard lock(libmdbMutex());
        return reader_->readRows(columns, maxRows);
    }

  private:
    std::shared_ptr<const JetDatabase> database_;
    std::unique_ptr<MdbCatalogEntry> entry_;
    TablePtr table_;
    std::unique_ptr<TableReader> reader_;
};

}  // namespace

bool hasValidCounts(const MdbTableDef* table) {
    return table->num_cols > 0 && table->num_cols <= kMaxColumns &&
           table->num_real_idxs <= kMaxRealIndexes;
}

QByteArray readTableDefinition(MdbHandle* mdb, quint32 firstPage, quint32 pageCount) {
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    QByteArray definition;
    quint32 page = firstPage;
    for (int pages = 0; page != 0 && pages < kMaxDefinitionPages; ++pages) {
        if (page >= pageCount || mdb_read_pg(mdb, page) != pageSize) break;
        const auto* data = reinterpret_cast<const char*>(mdb->pg_buf);
        definition += pages == 0 ? QByteArray(data, pageSize)
                                 : QByteArray(data + kDefinitionContinuationHeader,
                                              pageSize - kDefinitionContinuationHeader);
        page = static_cast<quint32>(mdb_get_int32(mdb->pg_buf, 4));
    }
    return definition;
}

FieldInfo fieldInfoOfColumn(const MdbColumn* column, bool jet4) {
    FieldInfo info;
    info.name = QString::fromUtf8(column->name);
    switch (column->col_type) {
        case MDB_BOOL:
            info.type = adType::Boolean;
            info.definedSize = 2;
            break;
        case MDB_BYTE:
            info.type = adType::UnsignedTinyInt;
            info.definedSize = 1;
            break;
        case MDB_INT:
            info.type = adType::SmallInt;
            info.definedSize = 2;
            break;
        case MDB_LONGINT:
            info.type = adType::Integer;
            info.definedSize = 4;
            break;
        case MDB_MONEY:
            info.type = adType::Currency;
            info.definedSize = 8;
            break;
        case MDB_FLOAT:
            info.type = adType::Single;
            info.definedSize = 4;
            break;
        case MDB_DOUBLE:
            info.type = adType::Double;
            info.definedSize = 8;
            break;
        case MDB_DATETIME:
            info.type = adType::Date;
            info.definedSize = 8;
            break;
        case MDB_TEXT:
            if (!isLongText(column)) {
                info.type = adType::VarWChar;
                info.definedSize = jet4 ? column->col_size / 2 : column->col_size;
                break;
            }
            [[fallthrough]];
        case MDB_MEMO:
            info.type = adType::LongVarWChar;
            info.definedSize = kMemoDefinedSize;
            break;
        case MDB_OLE:
            info.type = adType::LongVarBinary;
            info.definedSize = kOleDefinedSize;
            break;
        case MDB_REPID:
            info.type = adType::GUID;
            info.definedSize = 16;
            break;
        case MDB_NUMERIC:
            info.type = adType::Numeric;
            info.definedSize = kDecimalDefinedSize;
            info.precision = precisionOf(column);
            info.numericScale = scaleOf(column);
            break;
        case kLargeNumberType:
            info.type = adType::BigInt;
            info.definedSize = 8;
            break;
        case kExtendedDateType:
            info.type = adType::Date;
            info.definedSize = 8;
            break;
        case MDB_COMPLEX:  // its values, joined as text (see resolveComplex)
            info.type = adType::LongVarWChar;
            info.definedSize = kMemoDefinedSize;
            break;
        case MDB_BINARY:
            info.type = adType::Binary;
            info.definedSize = column->col_size;
            break;
        default:
            info.type = adType::Binary;
            info.definedSize = column->col_size;
            break;
    }
    return info;
}

JetDatabase::JetDatabase(const QString& path, const QString& password, int jet3CodePage)
    : path_(path), jet3Text_(jet3CodePage), handle_(std::make_unique<Handle>()) {
    checkFileAndHeader(password);
    std::lock_guard lock(libmdbMutex());
    openHandle();
    readCatalogue();
}

JetDatabase::~JetDatabase() {
    std::lock_guard lock(libmdbMutex());
    handle_.reset();
}

void JetDatabase::checkFileAndHeader(const QString& password) {
    const QFileInfo info(path_);
    if (!info.exists() || !info.isFile()) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("Could not find file %1.").arg(quoted(path_)));
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        throw DaoError(
            DaoError::OpenFailed,
            QStringLiteral("Cannot open the file %1: %2.").arg(quoted(path_), file.errorString()));
    }
    QString reason;
    const auto header = parseJetHeader(file.read(4096), &reason);
    if (!header) {
        throw DaoError(
            DaoError::OpenFailed,
            QStringLiteral("Unrecognized database format %1: %2.").arg(quoted(path_), reason));
    }
    header_ = *header;
    const qint64 size = file.size();
    if (size % header_.pageSize != 0 || size < 3 * header_.pageSize) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The Access database %1 is damaged: its length (%2 bytes) is "
                           "not a whole number of %3-byte pages.")
                .arg(quoted(path_), QString::number(size), QString::number(header_.pageSize)));
    }
    pageCount_ = static_cast<quint32>(std::min<qint64>(size / header_.pageSize, UINT32_MAX));
    if (header_.isEncryptedAce()) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("The Access database %1 cannot be opened: encrypted Access "
                                      "2007+ databases are not supported.")
                           .arg(quoted(path_)));
    }
    if (!header_.hasPassword()) return;
    bool matches = false;
    if (header_.version != JetVersion::Jet3) {
        matches = password == header_.jet4Password;
    } else {
        const auto stored =
            jet3Text_.decodeStrict(header_.jet3Password.constData(), header_.jet3Password.size());
        matches = stored && password == *stored;
    }
    if (!matches) {
        throw DaoError(DaoError::OpenFailed,
                       password.isEmpty()
                           ? QStringLiteral("The Access database %1 is protected by a password, "
                                            "and none was given.")
                                 .arg(quoted(path_))
                           : QStringLiteral("Not a valid password for the Access database %1.")
                                 .arg(quoted(path_)));
    }
}

void JetDatabase::openHandle() {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path_).constData(), MDB_NOFLAGS);
    if (!mdb) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The Access database %1 is damaged: its first page cannot be read.")
                .arg(quoted(path_)));
    }
    handle_->mdb = mdb;
    // Names are converted by libmdb; make it use the code page chosen here and UTF-8,
    // whatever its environment variables say.
    const QByteArray source = header_.version == JetVersion::Jet3
                                  ? iconvNameOfCodePage(jet3Text_.codePage())
                                  : QByteArrayLiteral("UCS-2LE");
    iconv_t in = iconv_open("UTF-8", source.constData());
    iconv_t out = iconv_open(source.constData(), "UTF-8");
    if (in == reinterpret_cast<iconv_t>(-1) || out == reinterpret_cast<iconv_t>(-1)) {
        if (in != reinterpret_cast<iconv_t>(-1)) iconv_close(in);
        if (out != reinterpret_cast<iconv_t>(-1)) iconv_close(out);
        in = iconv_open("UTF-8", "CP1252");
        out = iconv_open("CP1252", "UTF-8");
    }
    mdb_iconv_close(mdb);
    mdb->iconv_in = in;
    mdb->iconv_out = out;
}

// The catalogue is the system table MSysObjects, whose definition is always on page 2. It is
// read here like any table rather than through libmdb's catalogue reader, which also follows
// the property blobs and does not survive every damaged file.
void JetDatabase::readCatalogue() {
    auto systemObjects = std::make_unique<MdbCatalogEntry>();
    systemObjects->mdb = handle_->mdb;
    systemObjects->object_type = MDB_SYSTEM_TABLE;
    systemObjects->table_pg = kCatalogueDefinitionPage;
    std::snprintf(systemObjects->object_name, sizeof systemObjects->object_name, "MSysObjects");
    const QString catalogueName = QStringLiteral("MSysObjects");
    const QString problem = definitionProblem(kCatalogueDefinitionPage);
    if (!problem.isEmpty()) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: the definition of its "
                                      "table catalogue %2.")
                           .arg(quoted(path_), problem));
    }
    TablePtr table(mdb_read_table(systemObjects.get()));
    if (!table) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: its table catalogue "
                                      "cannot be read.")
                           .arg(quoted(path_)));
    }
    TableReader reader(handle_->mdb, table.get(), path_, catalogueName, jet3Text_);
    // The property blobs of the catalogue are not needed, and a damaged one must not hide
    // the tables.
    reader.readOnly({QStringLiteral("Id"), QStringLiteral("Name"), QStringLiteral("Type"),
                     QStringLiteral("Flags")});
    const auto objects = reader.read();
    const int idColumn = columnIndex(*objects, "Id");
    const int nameColumn = columnIndex(*objects, "Name");
    const int typeColumn = columnIndex(*objects, "Type");
    const int flagsColumn = columnIndex(*objects, "Flags");
    for (long row = 0; row < objects->recordCount(); ++row) {
        const Value id = objects->valueAt(row, idColumn);
        const Value name = objects->valueAt(row, nameColumn);
        const Value type = objects->valueAt(row, typeColumn);
        const Value flags = objects->valueAt(row, flagsColumn);
        if (id.kind() != ValueKind::Integer || name.kind() != ValueKind::Text ||
            type.kind() != ValueKind::Integer) {
            continue;
        }
        const qint64 flagBits = flags.kind() == ValueKind::Integer ? flags.toInt() : 0;
        objectNames_.insert(id.toInt(), name.toText());
        if ((type.toInt() & 0x7F) != MDB_TABLE) continue;
        tableIds_.insert(name.toText(), id.toInt());
        if ((flagBits & kSystemObjectFlags) != 0) continue;
        auto entry = std::make_unique<MdbCatalogEntry>();
        entry->mdb = handle_->mdb;
        entry->object_type = MDB_TABLE;
        entry->table_pg = static_cast<unsigned long>(id.toInt() & 0x00FFFFFF);
        entry->flags = static_cast<int>(flagBits);
        std::snprintf(entry->object_name, sizeof entry->object_name, "%s",
                      name.toText().toUtf8().constData());
        handle_->tableEntries.push_back(std::move(entry));
        userTables_ << name.toText();
    }
}

QString JetDatabase::definitionProblem(quint32 page) const {
    return DefinitionCheck(handle_->mdb, pageCount_).problem(page);
}

void JetDatabase::checkDefinition(quint32 page, const QString& name) const {
    const QString problem = definitionProblem(page);
    if (!problem.isEmpty()) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: the definition of table "
                                      "%2 %3.")
                           .arg(quoted(path_), quoted(name), problem));
    }
}

int JetDatabase::columnIndex(const Recordset& records, const char* name) const {
    for (int i = 0; i < records.fieldCount(); ++i) {
        if (records.fieldInfo(i).name == QLatin1String(name)) return i;
    }
    throw DaoError(DaoError::BadFile,
                   QStringLiteral("The Access database %1 is damaged: its table catalogue has "
                                  "no column %2.")
                       .arg(quoted(path_), QLatin1String(name)));
}

std::unique_ptr<Recordset> JetDatabase::readTable(const QString& name,
                                                  std::optional<long> streamedRows) {
    std::lock_guard lock(libmdbMutex());
    qsizetype index = userTables_.indexOf(name);
    if (index < 0) {
        const auto found = std::find_if(
            userTables_.cbegin(), userTables_.cend(),
            [&](const QString& t) { return t.compare(name, Qt::CaseInsensitive) == 0; });
        if (found == userTables_.cend()) {
            throw DaoError(DaoError::NoSuchTable,
                           QStringLiteral("Cannot find the table %1 in the Access database %2.")
                               .arg(quoted(name), quoted(path_)));
        }
        index = found - userTables_.cbegin();
    }
    const QString& tableName = userTables_[index];
    const auto page = static_cast<quint32>(handle_->tableEntries[std::size_t(index)]->table_pg);
    return readTableAt(page, tableName, {}, streamedRows);
}

std::unique_ptr<Recordset> JetDatabase::readTableAt(quint32 page, const QString& name,
                                                    const QStringList& columns,
                                                    std::optional<long> streamedRows) {
    auto entry = std::make_unique<MdbCatalogEntry>();
    entry->mdb = handle_->mdb;
    entry->object_type = MDB_TABLE;
    entry->table_pg = page;
    std::snprintf(entry->object_name, sizeof entry->object_name, "%s", name.toUtf8().constData());
    checkDefinition(page, name);
    TablePtr table(mdb_read_table(entry.get()));
    if (!table) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: the definition of table "
                                      "%2 cannot be read.")
                           .arg(quoted(path_), quoted(name)));
    }
    auto reader = std::make_unique<TableReader>(
        handle_->mdb, table.get(), path_, name, jet3Text_, pageCount_,
        [this](quint32 complexId, const QString& field) { return complexField(complexId, field); });
    if (!columns.isEmpty()) reader->readOnly(columns);
    if (!streamedRows) return reader->read();
    const long rows = reader->countRows();
    std::vector<FieldInfo> fields = reader->fields();
    const std::vector<QString> notes = reader->notes();
    auto source = std::make_unique<StreamedTable>(shared_from_this(), std::move(entry),
                                                  std::move(table), std::move(reader));
    auto recordset =
        std::make_unique<Recordset>(std::move(fields), rows, std::move(source), *streamedRows);
    for (int c = 0; c < recordset->fieldCount(); ++c) {
        if (!notes[std::size_t(c)].isEmpty()) recordset->setFieldNote(c, notes[std::size_t(c)]);
    }
    return recordset;
}

std::unique_ptr<Recordset> JetDatabase::readSystemTable(const QString& name,
                                                        const QStringList& columns) {
    const auto id = tableIds_.constFind(name);
    if (id == tableIds_.constEnd()) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: its table catalogue has "
                                      "no table %2.")
                           .arg(quoted(path_), quoted(name)));
    }
    return readTableAt(static_cast<quint32>(*id & 0x00FFFFFF), name, columns);
}

namespace {

// The values of one key of a multi-value or attachment field, in the order they are stored.
QHash<qint64, QString> joinedByKey(const Recordset& flat, int keyColumn, int valueColumn) {
    QHash<qint64, QString> texts;
    for (long row = 0; row < flat.recordCount(); ++row) {
        const Value key = flat.valueAt(row, keyColumn);
        const Value value = flat.valueAt(row, valueColumn);
        if (key.kind() != ValueKind::Integer || value.isNull()) continue;
        QString& text = texts[key.toInt()];
        if (!text.isEmpty()) text += QStringLiteral("; ");
        text += value.standardText();
    }
    return texts;
}

int fieldIndex(const Recordset& records, const QString& name) {
    for (int i = 0; i < records.fieldCount(); ++i) {
        if (records.fieldInfo(i).name.compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

}  // namespace

// MSysComplexColumns names, for each complex field, the type of its values (an object named
// MSysComplexType_<type>, MSysComplexType_Attachment, or MSysComplexTypeVH_... for the
// version history of a memo) and the hidden table that holds them. That table has a column
// "_<field>" with the key the field holds in the row.
JetDatabase::ComplexField JetDatabase::complexField(quint32 complexId, const QString& field) {
    // A hidden table has no complex fields of its own; a damaged file may say otherwise.
    if (resolvingComplex_) {
        return {std::nullopt, QStringLiteral("not copied: a complex field inside a hidden table")};
    }
    resolvingComplex_ = true;
    const auto done = qScopeGuard([this] { resolvingComplex_ = false; });
    if (!complexColumns_) {
        const auto columns =
            readSystemTable(QStringLiteral("MSysComplexColumns"),
                            {QStringLiteral("ComplexID"), QStringLiteral("ComplexTypeObjectID"),
                             QStringLiteral("FlatTableID")});
        const int id = columnIndex(*columns, "ComplexID");
        const int type = columnIndex(*columns, "ComplexTypeObjectID");
        const int flat = columnIndex(*columns, "FlatTableID");
        complexColumns_.emplace();
        for (long row = 0; row < columns->recordCount(); ++row) {
            complexColumns_->insert(
                columns->valueAt(row, id).toInt(),
                {columns->valueAt(row, type).toInt(), columns->valueAt(row, flat).toInt()});
        }
    }
    const auto column = complexColumns_->constFind(complexId);
    if (column == complexColumns_->constEnd()) {
        return {std::nullopt,
                QStringLiteral("not copied: the file does not say where its values are")};
    }
    const QString typeName = objectNames_.value(column->typeId);
    if (typeName.startsWith(QLatin1String("MSysComplexTypeVH_"))) {
        return {std::nullopt,
                QStringLiteral("not copied: the version history of a memo field (its current "
                               "value is copied)")};
    }
    const bool attachment = typeName == QLatin1String("MSysComplexType_Attachment");
    if (!attachment && !typeName.startsWith(QLatin1String("MSysComplexType_"))) {
        return {std::nullopt, QStringLiteral("not copied: a complex field of an unknown kind")};
    }
    const QString valueName = attachment ? QStringLiteral("FileName") : QStringLiteral("Value");
    const QString keyName = QLatin1Char('_') + field;
    const auto flat = readTableAt(static_cast<quint32>(column->flatTableId & 0x00FFFFFF),
                                  objectNames_.value(column->flatTableId), {keyName, valueName});
    const int key = fieldIndex(*flat, keyName);
    const int value = fieldIndex(*flat, valueName);
    if (key < 0 || value < 0) {
        return {std::nullopt, QStringLiteral("not copied: its hidden table has no column %1")
                                  .arg(quoted(key < 0 ? keyName : valueName))};
    }
    if (!flat->fieldNote(value).isEmpty()) {
        return {std::nullopt,
                QStringLiteral("not copied: its values are of an %1").arg(flat->fieldNote(value))};
    }
    return {joinedByKey(*flat, key, value),
            attachment ? QStringLiteral("the names of the attached files") : QString()};
}

}  // namespace keldara::dao::access
