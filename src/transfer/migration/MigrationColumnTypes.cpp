#include "transfer/migration/MigrationColumnTypes.h"

#include <QRegularExpression>
#include <algorithm>
#include <numeric>

#include "platform/dao/TypeCodes.h"
#include "transfer/ColumnTypes.h"

namespace keldara::transfer::migration {

namespace {

constexpr int kGuidCharacters = 38;
constexpr int kMaxFractionDigits = 6;
constexpr long long kMediumTextBytes = 16'777'215;
constexpr int kBytesPerCharacter = 4;  // utf8mb4
// InnoDB keeps a row within half a 16 KB page; a column longer than 255 bytes may leave the
// page (a 20-byte pointer stays), a shorter one may not.
constexpr long long kInnoDbRowBytes = 8126 - 100;  // less room for the record's headers
constexpr long long kLongestInRow = 255;
constexpr long long kPointerBytes = 20;

bool isLongText(int type) {
    return type == dao::adType::LongVarWChar || type == dao::adType::LongVarChar;
}

bool isDate(int type) {
    return type == dao::adType::Date || type == dao::adType::DBTimeStamp;
}

// What a column of this type may take of an InnoDB page.
long long inPageBytes(const QString& type) {
    if (isCharacterType(type)) {
        const long long bytes = typeLength(type) * kBytesPerCharacter;
        return bytes > kLongestInRow ? kPointerBytes : bytes + 2;
    }
    if (isLongType(type)) return kPointerBytes;
    if (type.startsWith(QLatin1String("DECIMAL"))) return 30;
    return 8;
}

bool isIndexed(const dao::TableSchema& table, int column) {
    for (const dao::IndexSchema& index : table.indexes)
        for (const dao::IndexColumn& key : index.columns)
            if (ColumnNamed(table, key.name) == column) return true;
    return false;
}

// Short character columns become TEXT, those outside indexes and the largest first, until the
// row fits the page (a key over a TEXT column's prefix takes more of it).
int fitInnoDbPage(const dao::TableSchema& table, std::vector<ColumnType>& types) {
    long long bytes = 0;
    for (const ColumnType& column : types) bytes += inPageBytes(column.type);
    std::vector<std::size_t> order(types.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<bool> indexed;
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        indexed.push_back(isIndexed(table, static_cast<int>(i)));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (indexed[a] != indexed[b]) return !indexed[a];
        return inPageBytes(types[a].type) > inPageBytes(types[b].type);
    });
    int widened = 0;
    for (std::size_t i : order) {
        if (bytes <= kInnoDbRowBytes) break;
        if (!isCharacterType(types[i].type) || inPageBytes(types[i].type) == kPointerBytes)
            continue;
        bytes -= inPageBytes(types[i].type) - kPointerBytes;
        types[i].type = QStringLiteral("TEXT");
        ++widened;
    }
    return widened;
}

}  // namespace

std::vector<ColumnType> ColumnTypesOf(const dao::TableSchema& table, const LongestOfColumn& longest,
                                      int& widened) {
    std::vector<dao::FieldInfo> fields;
    for (const dao::ColumnSchema& c : table.columns)
        fields.push_back({c.name, c.type, c.definedSize, c.precision, c.numericScale});
    const std::vector<QString> base = TableColumnTypes(fields);
    std::vector<ColumnType> types;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const dao::ColumnSchema& column = table.columns[i];
        ColumnType planned{base[i].toUpper()};
        if (isCharacterType(planned.type)) planned.longest = typeLength(planned.type);
        if (planned.type == QLatin1String("TEXT") || planned.type == QLatin1String("MEDIUMTEXT"))
            planned.longest = column.definedSize;  // a character column over the row limit
        if (column.type == dao::adType::GUID) {
            planned = {QStringLiteral("CHAR(%1)").arg(kGuidCharacters), kGuidCharacters};
        } else if (isDate(column.type) && column.fractionDigits > 3) {
            planned.type = QStringLiteral("DATETIME(%1)")
                               .arg(std::min(column.fractionDigits, kMaxFractionDigits));
        } else if (isLongText(column.type)) {
            planned.longest = longest ? longest(column.name) : -1;
            const bool fits =
                planned.longest >= 0 && planned.longest * kBytesPerCharacter <= kMediumTextBytes;
            planned.type = fits ? QStringLiteral("MEDIUMTEXT") : QStringLiteral("LONGTEXT");
        }
        types.push_back(planned);
    }
    widened = fitInnoDbPage(table, types);
    return types;
}

int ColumnNamed(const dao::TableSchema& table, const QString& name) {
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            if (table.columns[i].name.compare(name, cs) == 0) return static_cast<int>(i);
    }
    return -1;
}

bool isCharacterType(const QString& type) {
    return type.startsWith(QLatin1String("CHAR(")) || type.startsWith(QLatin1String("VARCHAR("));
}

bool isLongType(const QString& type) {
    return type.endsWith(QLatin1String("TEXT")) || type.endsWith(QLatin1String("BLOB"));
}

bool isBinaryType(const QString& type) {
    return type.endsWith(QLatin1String("BLOB")) || type.contains(QLatin1String("BINARY"));
}

bool isTextType(const QString& type) {
    return isCharacterType(type) || type.endsWith(QLatin1String("TEXT"));
}

bool isIntegerType(const QString& type) {
    static const QRegularExpression integer(QStringLiteral("^(TINY|SMALL|MEDIUM|BIG)?INT\\b"));
    return integer.match(type).hasMatch();
}

bool isBooleanType(const QString& type) {
    return type == QLatin1String("TINYINT(1)");
}

bool isDateTimeType(const QString& type) {
    return type.startsWith(QLatin1String("DATETIME"));
}

int typeLength(const QString& type) {
    static const QRegularExpression length(QStringLiteral("\\((\\d+)"));
    const auto match = length.match(type);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

}  // namespace keldara::transfer::migration
