#include "transfer/ColumnTypes.h"

#include <QHash>
#include <algorithm>

#include "platform/dao/TypeCodes.h"

namespace keldara::transfer {

namespace {

// What MySQL allows for decimal(P,S).
constexpr int kMaxDecimalPrecision = 65;
constexpr int kMaxDecimalScale = 30;

QString decimalType(const dao::FieldInfo& field) {
    const int scale = std::clamp(field.numericScale, 0, kMaxDecimalScale);
    const int precision = std::clamp(std::max(field.precision, scale), 1, kMaxDecimalPrecision);
    return QStringLiteral("decimal(%1,%2)").arg(precision).arg(scale);
}

}  // namespace

QString MySQLTypeName(int typeCode) {
    namespace t = dao::adType;
    static const QHash<int, QString> names = {
        {t::SmallInt, QStringLiteral("smallInt")},
        {t::Integer, QStringLiteral("int")},
        {t::Single, QStringLiteral("float")},
        {t::Double, QStringLiteral("double")},
        {t::Currency, QStringLiteral("decimal(19,4)")},
        {t::Date, QStringLiteral("datetime(3)")},
        {t::BSTR, QStringLiteral("varchar(255)")},
        {t::Boolean, QStringLiteral("tinyint(1)")},
        {t::Decimal, QStringLiteral("decimal(16,3)")},
        {t::TinyInt, QStringLiteral("tinyInt")},
        {t::UnsignedTinyInt, QStringLiteral("tinyint unsigned")},
        {t::UnsignedSmallInt, QStringLiteral("smallint unsigned")},
        {t::UnsignedInt, QStringLiteral("int unsigned")},
        {t::BigInt, QStringLiteral("bigint")},
        {t::UnsignedBigInt, QStringLiteral("bigint unsigned")},
        {t::Binary, QStringLiteral("blob")},
        {t::Char, QStringLiteral("char")},
        {t::WChar, QStringLiteral("char")},
        {t::Numeric, QStringLiteral("decimal")},
        {t::DBDate, QStringLiteral("date")},
        {t::DBTime, QStringLiteral("time")},
        {t::DBTimeStamp, QStringLiteral("datetime(3)")},
        {t::VarChar, QStringLiteral("varchar")},
        {t::LongVarChar, QStringLiteral("mediumText")},
        {t::VarWChar, QStringLiteral("varchar")},
        {t::LongVarWChar, QStringLiteral("mediumText")},
        {t::VarBinary, QStringLiteral("blob")},
        {t::LongVarBinary, QStringLiteral("longblob")},
    };
    return names.value(typeCode, QStringLiteral("varchar(255)"));
}

QString MySQLColumnType(const dao::FieldInfo& field) {
    const QString name = MySQLTypeName(field.type);
    if (name == QLatin1String("char") || name == QLatin1String("varchar")) {
        return name + QStringLiteral("(%1)").arg(field.definedSize);
    }
    if (name == QLatin1String("decimal")) return decimalType(field);
    return name;
}

namespace {

constexpr long kMaxRowBytes = 65535;
constexpr long kBytesPerCharacter = 4;       // utf8mb4
constexpr long kTextCharacters = 65535 / 4;  // what "text" holds in utf8mb4
constexpr long kLongColumnBytes = 12;        // a text or blob column in the row

bool isCharacterType(const QString& type) {
    return type.startsWith(QLatin1String("char(")) || type.startsWith(QLatin1String("varchar("));
}

// What a column of this type takes of the row, as MySQL counts against its limit; generous
// where it varies.
long rowBytes(const QString& type, const dao::FieldInfo& field) {
    if (isCharacterType(type)) {
        const long characters = type == QLatin1String("varchar(255)") ? 255 : field.definedSize;
        return characters * kBytesPerCharacter + 2;
    }
    if (type.contains(QLatin1String("text"), Qt::CaseInsensitive) ||
        type.contains(QLatin1String("blob"))) {
        return kLongColumnBytes;
    }
    if (type.startsWith(QLatin1String("decimal"))) return 32;
    return 8;
}

}  // namespace

std::vector<QString> TableColumnTypes(const std::vector<dao::FieldInfo>& fields) {
    std::vector<QString> types;
    long bytes = static_cast<long>(fields.size()) / 8 + 1;  // the Null flags
    for (const dao::FieldInfo& field : fields) {
        types.push_back(MySQLColumnType(field));
        bytes += rowBytes(types.back(), field);
    }
    if (bytes <= kMaxRowBytes) return types;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!isCharacterType(types[i])) continue;
        const bool fitsText =
            types[i] == QLatin1String("varchar(255)") || fields[i].definedSize <= kTextCharacters;
        types[i] = fitsText ? QStringLiteral("text") : QStringLiteral("mediumText");
    }
    return types;
}

}  // namespace keldara::transfer
