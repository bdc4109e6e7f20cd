// Access 2007+ databases: the values mdb-export cannot give, each checked against a value
// established another way (said at each test), what cannot be copied, and encryption.
#include <gtest/gtest.h>

#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include "access/MdbTools.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/access/JetHeader.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Readers.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

QString aceFixture(const QString& file) {
    return fixturePath(QStringLiteral("accdb/jahlborn__jackcess/") + file);
}

int fieldNamed(const Recordset& records, const QString& name) {
    for (int i = 0; i < records.fieldCount(); ++i) {
        if (records.fieldInfo(i).name == name) return i;
    }
    ADD_FAILURE() << "no field " << name.toStdString();
    return 0;
}

// One field's values in record order.
std::vector<Value> valuesOf(const Recordset& records, const QString& name) {
    const int field = fieldNamed(records, name);
    std::vector<Value> values;
    for (long row = 0; row < records.recordCount(); ++row)
        values.push_back(records.valueAt(row, field));
    return values;
}

// The file stores each character beyond the Basic Multilingual Plane as a UTF-16 surrogate
// pair, which mdb-export prints as "??"; each row's key (which mdb-export reads) is the code
// point of the character its text holds between two "a".
TEST(AceText, CharactersBeyondTheBasicPlaneAreKept) {
    const auto records = selectAll(*openAccess(aceFixture("testEmoticonsV2010.accdb")), "data");
    ASSERT_EQ(records->recordCount(), 80);
    const auto keys = valuesOf(*records, "key");
    const auto texts = valuesOf(*records, "data");
    for (std::size_t row = 0; row < keys.size(); ++row) {
        const char32_t codePoint = static_cast<char32_t>(keys[row].toInt());
        ASSERT_GT(codePoint, 0xFFFFu);
        EXPECT_EQ(texts[row], Value::text(QLatin1Char('a') + QString::fromUcs4(&codePoint, 1) +
                                          QLatin1Char('a')))
            << row;
    }
}

// DateExtStr holds the text Access shows for DateExt ("M/d/yyyy", then "h:mm:ss.fffffff AM"
// when there is a time); the value is kept to the microsecond, which the field's note says.
// DateNormalCalc is calculated: its stored result is DateNormal's date (compared in the file).
TEST(AceDates, ExtendedDatesAreWhatAccessShowsForThem) {
    const auto records = selectAll(*openAccess(aceFixture("extDateTestV2019.accdb")), "Table1");
    const auto dates = valuesOf(*records, "DateExt");
    const auto texts = valuesOf(*records, "DateExtStr");
    const QRegularExpression shown(
        QStringLiteral(R"(^(\d+)/(\d+)/(\d+)(?: (\d+):(\d+):(\d+)\.(\d{6})\d ([AP])M)?$)"));
    int years100To1899 = 0;
    for (std::size_t row = 0; row < dates.size(); ++row) {
        if (texts[row].isNull()) {
            EXPECT_TRUE(dates[row].isNull());
            continue;
        }
        const auto match = shown.match(texts[row].toText());
        ASSERT_TRUE(match.hasMatch()) << texts[row].toText().toStdString();
        const auto part = [&](int n) { return match.captured(n).toInt(); };
        DateTime expected{part(3), part(1), part(2)};
        ValueKind kind = ValueKind::Date;
        if (match.hasCaptured(4)) {
            kind = ValueKind::DateTime;
            expected.hour = part(4) % 12 + (match.captured(8) == QLatin1String("P") ? 12 : 0);
            expected.minute = part(5);
            expected.second = part(6);
            expected.microsecond = part(7);
        }
        EXPECT_EQ(dates[row], Value::dateTimeOfKind(kind, expected)) << row;
        if (expected.year < 1900) ++years100To1899;
    }
    EXPECT_EQ(years100To1899, 3);
    EXPECT_TRUE(records->fieldNote(fieldNamed(*records, "DateExt")).contains("microsecond"));
    EXPECT_EQ(valuesOf(*records, "DateNormalCalc"), valuesOf(*records, "DateNormal"));
}

// Each calculated field's stored result (16 bytes, its length, the result) against what its
// expression gives from the fields mdb-export reads; where the expression is not evident, the
// result as decoded by hand from the stored bytes (an IEEE single; a Windows DECIMAL of sign,
// scale and 96-bit magnitude).
TEST(AceCalculatedFields, TheStoredResultTypedAsTheResultType) {
    const auto records = selectAll(*openAccess(aceFixture("calcFieldTestV2010.accdb")), "Table1");
    ASSERT_EQ(records->recordCount(), 4);
    const auto first = valuesOf(*records, "FirstName");
    const auto last = valuesOf(*records, "LastName");
    const auto salary = valuesOf(*records, "Salary");
    const auto lastFirst = valuesOf(*records, "LastFirst");
    for (long row = 0; row < 4; ++row) {
        const QString name = last[row].toText() + ", " + first[row].toText();
        const double pay = salary[row].decimalText().toDouble();
        EXPECT_EQ(lastFirst[row], Value::text(name));
        EXPECT_EQ(valuesOf(*records, "LastFirstLen")[row], Value::integer(name.size()));
        EXPECT_EQ(valuesOf(*records, "AllNames")[row], Value::text(name + "=" + name));
        EXPECT_EQ(valuesOf(*records, "SalaryTest")[row], salary[row]);
        EXPECT_EQ(valuesOf(*records, "DecimalTest")[row], valuesOf(*records, "Popularity")[row]);
        // Stored as Currency (four decimals), shown as the Double it is declared.
        EXPECT_EQ(valuesOf(*records, "MonthlySalary")[row],
                  Value::floating(std::round(pay / 12 * 10000) / 10000));
        // Stored as a Decimal of 15 significant digits.
        EXPECT_NEAR(valuesOf(*records, "WeeklySalary")[row].toDouble(), pay / 52,
                    1e-14 * std::max(1.0, std::fabs(pay / 52)));
    }
    const std::map<QString, std::vector<Value>> pinned{
        {"IsRich", {Value::integer(-1), Value::integer(0), Value::integer(0), Value::integer(0)}},
        {"BoolTest", std::vector<Value>(4, Value::integer(-1))},
        {"FloatTest",
         {Value::floating(2583.2092), Value::floating(0.0035889593), Value::floating(0),
          Value::floating(1.27413e-10)}},
        {"BigNumTest",
         {Value::decimal("56505085819.42479129657228018"),
          Value::decimal("-0.0784734499180612994241100748"), Value::decimal("0"),
          Value::decimal("0.000000278701928982421698083")}}};
    for (const auto& [field, values] : pinned) EXPECT_EQ(valuesOf(*records, field), values);
    const std::pair<const char*, int> types[] = {
        {"LastFirstLen", adType::Integer}, {"MonthlySalary", adType::Double},
        {"IsRich", adType::SmallInt},      {"AllNames", adType::LongVarWChar},
        {"BigNumTest", adType::Numeric},   {"FloatTest", adType::Double}};
    for (const auto& [field, type] : types)
        EXPECT_EQ(records->fieldInfo(fieldNamed(*records, field)).type, type) << field;
    const FieldInfo& big = records->fieldInfo(fieldNamed(*records, "BigNumTest"));
    EXPECT_EQ(std::pair(big.precision, big.numericScale), std::pair(39, 28));
}

// The values of a complex field as mdb-export reads its hidden table "f_..._<field>": by the
// key in column "_<field>", in stored order.
QMap<QString, QStringList> hiddenValues(const QString& path, const QString& field,
                                        const QString& valueColumn) {
    const QStringList hidden =
        runMdbTool({"mdb-tables", "-S", "-1", path}).split(u'\n', Qt::SkipEmptyParts);
    const auto table = std::find_if(hidden.begin(), hidden.end(), [&](const QString& name) {
        return name.startsWith(QLatin1String("f_")) && name.endsWith(QLatin1Char('_') + field);
    });
    if (table == hidden.end()) {
        ADD_FAILURE() << "no hidden table for " << field.toStdString();
        return {};
    }
    const auto exported = mdbExport(path, *table);
    const int key = static_cast<int>(exported[0].indexOf(QLatin1Char('_') + field));
    const int value = static_cast<int>(exported[0].indexOf(valueColumn));
    QMap<QString, QStringList> values;
    for (std::size_t row = 1; row < exported.size(); ++row)
        values[exported[row][key]] << exported[row][value];
    return values;
}

TEST(AceComplexFields, MultipleValuesAndAttachmentsBecomeTextNothingSilentlyDropped) {
    for (const char* file : {"complexDataTestV2007.accdb", "complexDataTestV2010.accdb"}) {
        SCOPED_TRACE(file);
        const QString path = aceFixture(QString::fromUtf8(file));
        const auto records = selectAll(*openAccess(path), "Table1");
        const auto exported = mdbExport(path, "Table1");  // complex fields as their keys
        const std::pair<QString, QString> fields[] = {{"multi-value-data", "Value"},
                                                      {"attach-data", "FileName"}};
        for (const auto& [field, valueColumn] : fields) {
            const auto values = hiddenValues(path, field, valueColumn);
            const auto mine = valuesOf(*records, field);
            const int keyColumn = static_cast<int>(exported[0].indexOf(field));
            for (long row = 0; row < records->recordCount(); ++row) {
                const QStringList expected = values.value(exported[row + 1][keyColumn]);
                EXPECT_EQ(mine[row],
                          expected.isEmpty() ? Value::null() : Value::text(expected.join("; ")))
                    << field.toStdString() << row;
            }
        }
        EXPECT_EQ(valuesOf(*records, "multi-value-data")[2],
                  Value::text("value1; value2; value3; value4"));
        const int history =
            fieldNamed(*records, "VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880");
        EXPECT_TRUE(records->fieldNote(history).contains("not copied: the version history"));
        EXPECT_EQ(valuesOf(*records, records->fieldInfo(history).name),
                  std::vector<Value>(4, Value::null()));
        EXPECT_TRUE(records->fieldNote(fieldNamed(*records, "attach-data")).contains("names"));
    }
}

TEST(AceUnknownTypes, ReadAsNullAndSaidSoOnTheField) {
    const auto records =
        selectAll(*openAccess(aceFixture("unsupportedFieldsTestV2007.accdb")), "Test");
    const std::pair<const char*, const char*> fields[] = {
        {"UnknownVar", "unknown Access type 0x46"},
        {"UnknownFix", "unknown Access type 0x47"},
        {"UnknownComplex", "not copied: its values are of an unknown Access type 0x48"}};
    for (const auto& [field, note] : fields) {
        EXPECT_TRUE(records->fieldNote(fieldNamed(*records, field)).contains(note)) << field;
        EXPECT_EQ(valuesOf(*records, field), std::vector<Value>(3, Value::null())) << field;
    }
    EXPECT_TRUE(records->fieldNote(fieldNamed(*records, "ID")).isEmpty());
}

// Access 2007+ encrypts the whole file of a database with a password; its header then holds
// the password or a page key.
TEST(AceEncryption, AnEncryptedDatabaseGetsOneClearError) {
    const QByteArray plain = readAll(aceFixture("testV2007.accdb"));
    QByteArray key(4, '\0');
    qToLittleEndian<quint32>(0x6B39DAC7, key.data());
    const auto withHidden = [&](int offset, const QByteArray& bytes) {
        QByteArray database = plain;
        access::rc4Apply(key, database.data() + 0x18, 128);
        database.replace(offset, bytes.size(), bytes);
        access::rc4Apply(key, database.data() + 0x18, 128);
        return database;
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("locked.accdb");
    for (const QByteArray& locked :
         {withHidden(0x42, QByteArray("s\0e\0c\0r\0e\0t\0", 12)), withHidden(0x3E, "\x01\x02")}) {
        writeFile(path, locked);
        const DaoError error = errorOf([&] { openAccess(path); });
        EXPECT_EQ(error.number(), DaoError::OpenFailed);
        EXPECT_TRUE(
            error.description().contains(path) &&
            error.description().contains("encrypted Access 2007+ databases are not supported"))
            << error.description().toStdString();
    }
    writeFile(path, plain);
    EXPECT_EQ(tableNames(*openAccess(path)), QStringList({"Table1", "Table2", "Table3", "Table4"}));
}

}  // namespace
