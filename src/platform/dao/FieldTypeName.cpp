#include "platform/dao/FieldTypeName.h"

#include <QHash>

#include "platform/dao/TypeCodes.h"

namespace keldara::dao {

namespace {

// One name per code. adEmpty (0) has none on purpose: it stands for "no field" (element 0 of
// the field lists), not for a type.
const QHash<int, QString>& typeNames() {
    namespace t = dao::adType;
    static const QHash<int, QString> names{
        {t::SmallInt, QStringLiteral("Small Integer")},
        {t::Integer, QStringLiteral("Integer")},
        {t::Single, QStringLiteral("Single")},
        {t::Double, QStringLiteral("Double")},
        {t::Currency, QStringLiteral("Currency")},
        {t::Date, QStringLiteral("Date/Time")},
        {t::BSTR, QStringLiteral("Text (BSTR)")},
        {9, QStringLiteral("IDispatch")},
        {t::Error, QStringLiteral("Error Code")},
        {t::Boolean, QStringLiteral("Yes/No")},
        {t::Variant, QStringLiteral("Variant")},
        {13, QStringLiteral("IUnknown")},
        {t::Decimal, QStringLiteral("Decimal")},
        {t::TinyInt, QStringLiteral("Tiny Integer")},
        {t::UnsignedTinyInt, QStringLiteral("Byte")},
        {t::UnsignedSmallInt, QStringLiteral("Unsigned Small Integer")},
        {t::UnsignedInt, QStringLiteral("Unsigned Integer")},
        {t::BigInt, QStringLiteral("Big Integer")},
        {t::UnsignedBigInt, QStringLiteral("Unsigned Big Integer")},
        {t::FileTime, QStringLiteral("File Time")},
        {t::GUID, QStringLiteral("GUID")},
        {t::CalendarDate, QStringLiteral("Date")},
        {t::TimeOfDay, QStringLiteral("Time")},
        {t::Binary, QStringLiteral("Binary")},
        {t::Char, QStringLiteral("Char")},
        {t::WChar, QStringLiteral("Unicode Char")},
        {t::Numeric, QStringLiteral("Numeric")},
        {132, QStringLiteral("User Defined")},
        {t::DBDate, QStringLiteral("DB Date")},
        {t::DBTime, QStringLiteral("DB Time")},
        {t::DBTimeStamp, QStringLiteral("DB Timestamp")},
        {136, QStringLiteral("Chapter")},
        {138, QStringLiteral("Property Variant")},
        {139, QStringLiteral("Variable Numeric")},
        {t::VarChar, QStringLiteral("VarChar")},
        {t::LongVarChar, QStringLiteral("Long Text")},
        {t::VarWChar, QStringLiteral("Text")},
        {t::LongVarWChar, QStringLiteral("Memo")},
        {t::VarBinary, QStringLiteral("VarBinary")},
        {t::LongVarBinary, QStringLiteral("Long Binary")},
    };
    return names;
}

}  // namespace

QString FieldTypeName(int code) {
    return typeNames().value(code, QStringLiteral("Not Defined"));
}

}  // namespace keldara::dao
