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

// The file stores each character beyond the Basic Multilingual Plane as a UTF-16 surrogate
// pair, which mdb-export prints as "??"; each row's key (which mdb-export reads) is the code
// point of the character its text holds between two "a".
TEST(AceText, CharactersBeyondTheBasicPlaneAreKept) {
    Table t = readTable(aceFixture("testEmoticonsV2010.accdb"), "data");
    ASSERT_EQ(t.values["key"].size(), 80u);
    for (std::size_t row = 0; row < 80; ++row) {
        const auto codePoint = static_cast<char32_t>(t.values["key"][row].toInt());
        ASSERT_GT(codePoint, 0xFFFFu);
        EXPECT_EQ(t.values["data"][row], Value::text("a" + QString::fromUcs4(&codePoint, 1) + "a"));
    }
}

// DateExtStr holds the text Access shows for DateExt ("M/d/yyyy", then "h:mm:ss.fffffff AM"
// when there is a time); the value is kept to the microsecond, which the field's note says.
// DateNormalCalc is calculated: its stored result is DateNormal's date (compared in the file).
TEST(AceDates, ExtendedDatesAreWhatAccessShowsForThem) {
    Table t = readTable(aceFixture("extDateTestV2019.accdb"), "Table1");
    const QRegularExpression shown(
        R"(^(\d+)/(\d+)/(\d+)(?: (\d+):(\d+):(\d+)\.(\d{6})\d ([AP])M)?$)");
    int before1900 = 0;
    for (std::size_t row = 0; row < t.values["DateExt"].size(); ++row) {
        const auto match = shown.match(t.values["DateExtStr"][row].standardText());
        const auto part = [&](int n) { return match.captured(n).toInt(); };
        const bool pm = match.captured(8) == "P";
        const DateTime dt{part(3), part(1), part(2), part(4) % 12 + (pm ? 12 : 0),
                          part(5), part(6), part(7)};
        const Value expected = t.values["DateExtStr"][row].isNull() ? Value::null()
                               : match.hasCaptured(4)               ? Value::dateTime(dt)
                                                      : Value::date(dt.year, dt.month, dt.day);
        EXPECT_EQ(t.values["DateExt"][row], expected) << row;
        before1900 += dt.year < 1900 && match.hasMatch();
    }
    EXPECT_EQ(before1900, 3);
    EXPECT_TRUE(t.notes["DateExt"].contains("microsecond"));
    EXPECT_EQ(t.values["DateNormalCalc"], t.values["DateNormal"]);
}

// Each calculated field's stored result (16 bytes, its length, the result) against what its
// expression gives from the fields mdb-export reads; where the expression is not evident, the
// result as decoded by hand from the stored bytes (an IEEE single; a Windows DECIMAL of sign,
// scale and 96-bit magnitude).
TEST(AceCalculatedFields, TheStoredResultTypedAsTheResultType) {
    Table t = readTable(aceFixture("calcFieldTestV2010.accdb"), "Table1");
    for (std::size_t row = 0; row < 4; ++row) {
        const auto v = [&](const char* field) { return t.values[field][row]; };
        const QString name = v("LastName").toText() + ", " + v("FirstName").toText();
        const double pay = v("Salary").decimalText().toDouble();
        EXPECT_EQ(v("LastFirst"), Value::text(name));
        EXPECT_EQ(v("LastFirstLen"), Value::integer(name.size()));
        EXPECT_EQ(v("AllNames"), Value::text(name + "=" + name));
        EXPECT_EQ(v("SalaryTest"), v("Salary"));
        EXPECT_EQ(v("DecimalTest"), v("Popularity"));
        // Stored as Currency (four decimals), read as the Double it is declared.
        EXPECT_EQ(v("MonthlySalary"), Value::floating(std::round(pay / 12 * 10000) / 10000));
        // Stored as a Decimal of 15 significant digits.
        EXPECT_NEAR(v("WeeklySalary").toDouble(), pay / 52, 1e-14 * std::max(1.0, pay / 52));
    }
    const auto integers = [](std::vector<int> numbers) {
        std::vector<Value> values;
        for (int n : numbers) values.push_back(Value::integer(n));
        return values;
    };
    EXPECT_EQ(t.values["IsRich"], integers({-1, 0, 0, 0}));  // Yes/No results: FF or 00
    EXPECT_EQ(t.values["BoolTest"], integers({-1, -1, -1, -1}));
    EXPECT_EQ(t.values["FloatTest"],
              std::vector<Value>({Value::floating(2583.2092), Value::floating(0.0035889593),
                                  Value::floating(0), Value::floating(1.27413e-10)}));
    EXPECT_EQ(
        t.values["BigNumTest"],
        std::vector<Value>({Value::decimal("56505085819.42479129657228018"),
                            Value::decimal("-0.0784734499180612994241100748"), Value::decimal("0"),
                            Value::decimal("0.000000278701928982421698083")}));
    QStringList types;
    for (const char* field :
         {"LastFirstLen", "MonthlySalary", "IsRich", "AllNames", "FloatTest", "BigNumTest"}) {
        const FieldInfo& f = t.fields[field];
        types << QStringLiteral("%1:%2/%3,%4")
                     .arg(field)
                     .arg(f.type)
                     .arg(f.precision)
                     .arg(f.numericScale);
    }
    EXPECT_EQ(types.join(' '),
              "LastFirstLen:3/0,0 MonthlySalary:5/0,0 IsRich:2/0,0 "
              "AllNames:203/0,0 FloatTest:5/0,0 BigNumTest:131/39,28");
}

// No sample has a Large Number field: Table1's Currency field H (3.5000 and 0 as mdb-export
// reads them) relabelled Large Number in its definition (type byte at 0x3E106) gives the
// 64-bit integers of its stored ten-thousandths.
TEST(AceLargeNumbers, EightBytesAreASignedInteger) {
    QTemporaryDir dir;
    const QString path =
        writeFile(dir.filePath("large.accdb"),
                  readAll(aceFixture("testV2007.accdb")).replace(0x3E106, 1, "\x13"));
    const auto records = selectAll(*openAccess(path), "Table1");
    EXPECT_EQ(records->fieldInfo(7).type, adType::BigInt);
    EXPECT_EQ(records->valueAt(0, 7), Value::integer(0));
    EXPECT_EQ(records->valueAt(1, 7), Value::integer(35000));
}

// A complex field's values as mdb-export reads its hidden table "f_..._<field>", whose column
// "_<field>" holds the key that mdb-export prints for the field: joined in stored order.
TEST(AceComplexFields, MultipleValuesAndAttachmentsBecomeTextNothingSilentlyDropped) {
    for (const char* file : {"complexDataTestV2007.accdb", "complexDataTestV2010.accdb"}) {
        SCOPED_TRACE(file);
        const QString path = aceFixture(QString::fromUtf8(file));
        Table t = readTable(path, "Table1");
        const QJsonObject exported =
            mdbExport(path, {"Table1", "f_*_multi-value-data*", "f_*_attach-data*"}, {"--system"});
        const QJsonObject keys = exported["Table1"].toObject();
        const auto index = [](const QJsonObject& table, const QString& name) {
            for (qsizetype i = 0; i < table["fields"].toArray().size(); ++i)
                if (table["fields"][i]["name"] == name) return i;
            return qsizetype(-1);
        };
        for (const auto& [field, column] :
             {std::pair<QString, QString>{"multi-value-data", "Value"},
              {"attach-data", "FileName"}}) {
            const QJsonObject flat = exported["f_*_" + field + "*"].toObject();
            QMap<QString, QStringList> byKey;
            for (const QJsonValue row : flat["records"].toArray())
                byKey[row[index(flat, "_" + field)].toString()]
                    << row[index(flat, column)].toString();
            for (qsizetype row = 0; row < 4; ++row) {
                const QStringList values =
                    byKey.value(keys["records"][row][index(keys, field)].toString());
                EXPECT_EQ(t.values[field][row],
                          values.isEmpty() ? Value::null() : Value::text(values.join("; ")));
            }
        }
        EXPECT_EQ(t.values["multi-value-data"][2], Value::text("value1; value2; value3; value4"));
        const QString history = "VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880";
        EXPECT_TRUE(t.notes[history].contains("not copied: the version history"));
        EXPECT_EQ(t.values[history], std::vector<Value>(4, Value::null()));
        EXPECT_TRUE(t.notes["attach-data"].contains("names"));
    }
}

TEST(AceUnknownTypes, ReadAsNullAndSaidSoOnTheField) {
    Table t = readTable(aceFixture("unsupportedFieldsTestV2007.accdb"), "Test");
    const std::pair<const char*, const char*> fields[] = {
        {"UnknownVar", "unknown Access type 0x46"},
        {"UnknownFix", "unknown Access type 0x47"},
        {"UnknownComplex", "not copied: its values are of an unknown Access type 0x48"}};
    for (const auto& [field, note] : fields) {
        EXPECT_TRUE(t.notes[field].contains(note)) << field;
        EXPECT_EQ(t.values[field], std::vector<Value>(3, Value::null())) << field;
    }
    EXPECT_TRUE(t.notes["ID"].isEmpty());
}

// Access 2007+ encrypts the whole file of a database with a password; its header then holds
// the password or a page key.
TEST(AceEncryption, AnEncryptedDatabaseGetsOneClearError) {
    QTemporaryDir dir;
    const QString path = dir.filePath("locked.accdb");
    const QByteArray plain = readAll(aceFixture("testV2007.accdb"));
    QByteArray key(4, '\0');
    qToLittleEndian<quint32>(0x6B39DAC7, key.data());
    for (const auto& [offset, bytes] : {std::pair{0x42, QByteArray("s\0e\0c\0r\0e\0t\0", 12)},
                                        std::pair{0x3E, QByteArray("\x01\x02")}}) {
        QByteArray locked = plain;
        access::rc4Apply(key, locked.data() + 0x18, 128);
        access::rc4Apply(key, locked.replace(offset, bytes.size(), bytes).data() + 0x18, 128);
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
