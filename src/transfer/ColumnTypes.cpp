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

}  // namespace keldara::transfer
