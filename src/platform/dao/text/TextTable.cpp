#include "platform/dao/text/TextTable.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdint>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/text/DelimitedParser.h"
#include "platform/dao/text/TextEncoding.h"
#include "platform/dao/text/ValueScanning.h"

namespace keldara::dao::text {

namespace {

constexpr long kShortTextSize = 255;
constexpr long kLongTextSize = 536870910;
// Integers up to 2^53 in magnitude are exact as doubles.
constexpr std::int64_t kLargestExactInteger = std::int64_t{1} << 53;

// What the values of one column seen so far have in common.
class ColumnScan {
  public:
    void observe(std::string_view value) {
        any_ = true;
        if (value.size() > static_cast<std::size_t>(kShortTextSize) &&
            utf8Length(value) > static_cast<std::size_t>(kShortTextSize)) {
            long_ = true;
        }
        if (int32_ || int64_ || double_) observeNumber(value);
        if (date_) date_ = parseIsoDate(value).has_value();
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

  private:
    void observeNumber(std::string_view value) {
        if (const auto integer = parseInteger(value)) {
            if (*integer < INT32_MIN || *integer > INT32_MAX) int32_ = false;
            if (*integer < -kLargestExactInteger || *integer > kLargestExactInteger) {
                double_ = false;
            }
            return;
        }
        int32_ = int64_ = false;
        if (double_) double_ = parseExactDouble(value).has_value();
    }

    bool any_ = false;
    bool long_ = false;
    bool int32_ = true;
    bool int64_ = true;
    bool double_ = true;
    bool date_ = true;
};

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The file \"%1\" cannot be opened: %2.").arg(path, file.errorString()));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw DaoError(
            DaoError::BadFile,
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    }
    return bytes;
}

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

Value valueOf(std::string_view bytes, int type) {
    switch (type) {
        case adType::Integer:
        case adType::BigInt:
            return Value::integer(parseInteger(bytes).value_or(0));
        case adType::Double:
            return Value::floating(parseExactDouble(bytes).value_or(0.0));
        case adType::Date: {
            const auto date = parseIsoDate(bytes);
            if (!date) return Value::null();
            if (!date->hasTime) {
                return Value::date(date->parts.year, date->parts.month, date->parts.day);
            }
            return Value::dateTime(date->parts);
        }
        default:
            return Value::text(textOf(bytes));
    }
}

class TableBuilder {
  public:
    TableBuilder(const QString& path, ParsedRecords records, bool headerRow)
        : path_(path), records_(std::move(records)), headerRow_(headerRow) {}

    std::unique_ptr<Recordset> build() {
        dropTrailingBlankLines();
        std::size_t first = 0;
        std::vector<QString> names;
        if (headerRow_) {
            while (first < records_.recordCount() && records_.record(first).empty()) ++first;
            if (first == records_.recordCount()) return std::make_unique<Recordset>();
            for (const FieldSlice& slice : records_.record(first)) {
                names.push_back(textOf(records_.bytes(slice)));
            }
            ++first;
            columns_ = names.size();
            checkRecordWidths(first);
        } else {
            for (std::size_t r = 0; r < records_.recordCount(); ++r) {
                columns_ = std::max(columns_, records_.record(r).size());
            }
            if (columns_ == 0) return std::make_unique<Recordset>();
            names.resize(columns_);
        }
        names = uniqueFieldNames(std::move(names));
        countRows(first);
        checkCellCount();
        const std::vector<FieldInfo> fields = scanColumns(first, names);
        return fill(first, fields);
    }

  private:
    void dropTrailingBlankLines() {
        while (records_.recordCount() > 0 && records_.record(records_.recordCount() - 1).empty()) {
            records_.recordLines.pop_back();
            records_.recordStarts.pop_back();
        }
    }

    // A blank line is a record of one Null field where there is one field, and nothing
    // where there are several.
    bool isRecord(std::size_t r) const { return columns_ == 1 || !records_.record(r).empty(); }

    void checkRecordWidths(std::size_t first) const {
        for (std::size_t r = first; r < records_.recordCount(); ++r) {
            const auto fields = records_.record(r);
            if (fields.size() <= columns_) continue;
            const bool extraAreEmpty =
                std::all_of(fields.begin() + static_cast<std::ptrdiff_t>(columns_), fields.end(),
                            [](const FieldSlice& s) { return s.origin == SliceOrigin::Null; });
            if (extraAreEmpty) continue;
            throw DaoError(DaoError::BadFile,
                           QStringLiteral("The file \"%1\" cannot be read: line %2 holds %3 "
                                          "fields, but the header line names only %4.")
                               .arg(path_)
                               .arg(records_.recordLines[r])
                               .arg(fields.size())
                               .arg(columns_));
        }
    }

    void countRows(std::size_t first) {
        for (std::size_t r = first; r < records_.recordCount(); ++r) {
            if (isRecord(r)) ++rows_;
        }
    }

    // Short records are filled up with Nulls. A header line of thousands of fields over
    // many short lines, as a damaged file may hold, would need far more memory than the
    // file's size warrants; such a file is refused.
    void checkCellCount() const {
        const double cells = static_cast<double>(rows_) * static_cast<double>(columns_);
        const double bytes = static_cast<double>(records_.text.size());
        if (cells <= 16.0 * bytes + 16.0 * 1024 * 1024) return;
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The file \"%1\" cannot be read: its %2 records hold far "
                                      "fewer fields than the table's %3 columns.")
                           .arg(path_)
                           .arg(rows_)
                           .arg(columns_));
    }

    std::vector<FieldInfo> scanColumns(std::size_t first, const std::vector<QString>& names) {
        std::vector<ColumnScan> scans(columns_);
        for (std::size_t r = first; r < records_.recordCount(); ++r) {
            if (!isRecord(r)) continue;
            const auto fields = records_.record(r);
            const std::size_t width = std::min(fields.size(), columns_);
            for (std::size_t c = 0; c < width; ++c) {
                if (fields[c].origin != SliceOrigin::Null) {
                    scans[c].observe(records_.bytes(fields[c]));
                }
            }
        }
        std::vector<FieldInfo> fields;
        fields.reserve(columns_);
        for (std::size_t c = 0; c < columns_; ++c) fields.push_back(scans[c].fieldInfo(names[c]));
        return fields;
    }

    std::unique_ptr<Recordset> fill(std::size_t first, const std::vector<FieldInfo>& fields) {
        auto recordset = std::make_unique<Recordset>(fields);
        recordset->reserve(rows_);
        std::vector<Value> row(columns_);
        for (std::size_t r = first; r < records_.recordCount(); ++r) {
            if (!isRecord(r)) continue;
            const auto slices = records_.record(r);
            const std::size_t width = std::min(slices.size(), columns_);
            for (std::size_t c = 0; c < columns_; ++c) {
                if (c < width && slices[c].origin != SliceOrigin::Null) {
                    row[c] = valueOf(records_.bytes(slices[c]), fields[c].type);
                } else {
                    row[c] = Value::null();
                }
            }
            recordset->appendRow(row);
        }
        return recordset;
    }

    const QString& path_;
    ParsedRecords records_;
    bool headerRow_;
    std::size_t columns_ = 0;
    std::size_t rows_ = 0;
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
    QByteArray text = decodeTextFile(readFileBytes(path), path);
    const char delimiter =
        options.delimiter.value_or(chooseDelimiter(QFileInfo(path).fileName(), text));
    ParsedRecords records = parseDelimited(std::move(text), delimiter, path);
    return TableBuilder(path, std::move(records), options.headerRow).build();
}

}  // namespace keldara::dao::text
