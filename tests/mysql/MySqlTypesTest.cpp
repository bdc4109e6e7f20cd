#include <gtest/gtest.h>

#include <QStringList>

#include "MySqlTestServer.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;
using keldara::test::MySqlTest;

namespace {

// One column: its declaration, a literal to store, and what reading it back must give.
struct TypeCase {
    const char* declaration;
    const char* literal;
    int type;
    long definedSize;
    Value value;
};

DateTime at(int y, int mo, int d, int h, int mi, int s, int us = 0) {
    return DateTime{y, mo, d, h, mi, s, us};
}

QByteArray bytes(const char* data, int size) {
    return QByteArray(data, size);
}

const std::vector<TypeCase>& typeCases() {
    namespace t = adType;
    static const std::vector<TypeCase> cases = {
        // integers
        {"INT", "-2147483648", t::Integer, 11, Value::integer(-2147483648LL)},
        {"INT UNSIGNED", "4294967295", t::UnsignedInt, 10, Value::integer(4294967295LL)},
        {"MEDIUMINT", "-8388608", t::Integer, 9, Value::integer(-8388608)},
        {"MEDIUMINT UNSIGNED", "16777215", t::UnsignedInt, 8, Value::integer(16777215)},
        {"SMALLINT", "-32768", t::SmallInt, 6, Value::integer(-32768)},
        {"SMALLINT UNSIGNED", "65535", t::UnsignedSmallInt, 5, Value::integer(65535)},
        {"TINYINT", "-128", t::TinyInt, 4, Value::integer(-128)},
        {"TINYINT UNSIGNED", "255", t::UnsignedTinyInt, 3, Value::integer(255)},
        {"TINYINT(1)", "1", t::TinyInt, 1, Value::integer(1)},
        {"BIGINT", "-9223372036854775808", t::BigInt, 20,
         Value::integer(std::numeric_limits<std::int64_t>::min())},
        {"BIGINT UNSIGNED", "9223372036854775807", t::UnsignedBigInt, 20,
         Value::integer(std::numeric_limits<std::int64_t>::max())},
        {"BIGINT UNSIGNED", "18446744073709551615", t::UnsignedBigInt, 20,
         Value::decimal("18446744073709551615")},
        {"YEAR", "2155", t::SmallInt, 4, Value::integer(2155)},
        {"BIT(1)", "b'1'", t::Boolean, 1, Value::integer(1)},
        {"BIT(12)", "b'101010101010'", t::Binary, 2, Value::integer(2730)},
        {"BIT(64)", "~0", t::Binary, 8, Value::decimal("18446744073709551615")},
        // exact and floating numbers
        {"DECIMAL(30,10)", "'-12345678901234567890.0123456789'", t::Numeric, 32,
         Value::decimal("-12345678901234567890.0123456789")},
        {"DECIMAL(12,2) UNSIGNED", "0.5", t::Numeric, 13, Value::decimal("0.50")},
        {"DOUBLE", "0.1e0 + 0.2e0", t::Double, 22, Value::floating(0.1 + 0.2)},
        {"DOUBLE", "-1.7976931348623157e308", t::Double, 22,
         Value::floating(-1.7976931348623157e308)},
        {"FLOAT", "3.14", t::Single, 12, Value::floating(3.14)},
        // dates and times
        {"DATE", "'1066-10-14'", t::DBDate, 10, Value::date(1066, 10, 14)},
        {"DATE", "'9999-12-31'", t::DBDate, 10, Value::date(9999, 12, 31)},
        {"DATE", "'0001-01-01'", t::DBDate, 10, Value::date(1, 1, 1)},
        {"DATE", "'0000-00-00'", t::DBDate, 10, Value::text("0000-00-00")},
        {"DATE", "'2024-02-00'", t::DBDate, 10, Value::text("2024-02-00")},
        {"TIME", "'12:34:56'", t::DBTime, 10, Value::time(12, 34, 56)},
        {"TIME(6)", "'23:59:59.000001'", t::DBTime, 17, Value::time(23, 59, 59, 1)},
        {"TIME", "'838:59:59'", t::DBTime, 10, Value::text("838:59:59")},
        {"TIME", "'-01:30:00'", t::DBTime, 10, Value::text("-01:30:00")},
        {"TIME", "'24:00:00'", t::DBTime, 10, Value::text("24:00:00")},
        {"DATETIME", "'9999-12-31 23:59:59'", t::DBTimeStamp, 19,
         Value::dateTime(at(9999, 12, 31, 23, 59, 59))},
        {"DATETIME(6)", "'1899-12-30 00:00:00.000001'", t::DBTimeStamp, 26,
         Value::dateTime(at(1899, 12, 30, 0, 0, 0, 1))},
        {"DATETIME(3)", "'1000-01-01 08:15:00.250'", t::DBTimeStamp, 23,
         Value::dateTime(at(1000, 1, 1, 8, 15, 0, 250000))},
        {"DATETIME", "'0000-00-00 00:00:00'", t::DBTimeStamp, 19,
         Value::text("0000-00-00 00:00:00")},
        {"TIMESTAMP NULL", "'2038-01-19 03:14:07'", t::DBTimeStamp, 19,
         Value::dateTime(at(2038, 1, 19, 3, 14, 7))},
        // character data
        {"CHAR(10)", "'Luleå'", t::Char, 10, Value::text("Luleå")},
        {"VARCHAR(100)", "'😀 Luleå ñ 漢字'", t::VarChar, 100, Value::text("😀 Luleå ñ 漢字")},
        {"VARCHAR(20) CHARACTER SET latin1", "'Ærø'", t::VarChar, 20, Value::text("Ærø")},
        {"VARCHAR(5)", "''", t::VarChar, 5, Value::text("")},
        {"TINYTEXT", "'tiny'", t::LongVarChar, 255, Value::text("tiny")},
        {"TEXT", "'line 1\\nline \"2\"\\t''quoted'' \\\\ end'", t::LongVarChar, 65535,
         Value::text("line 1\nline \"2\"\t'quoted' \\ end")},
        {"MEDIUMTEXT", "'😀'", t::LongVarChar, 16777215, Value::text("😀")},
        {"LONGTEXT", "'long'", t::LongVarChar, 1073741823, Value::text("long")},
        {"ENUM('small','large')", "'large'", t::Char, 5, Value::text("large")},
        {"SET('a','bb','c')", "'a,c'", t::Char, 6, Value::text("a,c")},
        {"JSON", "'{\"k\": \"ü\"}'", t::LongVarChar, 1073741823, Value::text("{\"k\": \"ü\"}")},
        // binary data
        {"BINARY(4)", "X'00FF0001'", t::Binary, 4, Value::bytes(bytes("\x00\xFF\x00\x01", 4))},
        {"VARBINARY(16)", "X'000000'", t::VarBinary, 16, Value::bytes(bytes("\0\0\0", 3))},
        {"BLOB", "X'0001FF00'", t::LongVarBinary, 65535,
         Value::bytes(bytes("\x00\x01\xFF\x00", 4))},
        {"TINYBLOB", "X''", t::LongVarBinary, 255, Value::bytes(QByteArray())},
        {"LONGBLOB", "X'00'", t::LongVarBinary, 4294967295L, Value::bytes(bytes("\0", 1))},
    };
    return cases;
}

QString describe(const Value& value) {
    if (value.isNull()) return QStringLiteral("NULL");
    return QStringLiteral("kind %1: %2").arg(int(value.kind())).arg(value.sqlLiteral());
}

}  // namespace

// Every column type in one table: a row of values, then a row of NULLs.
TEST_F(MySqlTest, EveryColumnTypeReportsItsCodeSizeAndValue) {
    const auto& cases = typeCases();
    QStringList columns, literals, nulls;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        columns << QStringLiteral("c%1 %2").arg(i).arg(QString::fromUtf8(cases[i].declaration));
        literals << QString::fromUtf8(cases[i].literal);
        nulls << QStringLiteral("NULL");
    }
    run(QStringLiteral("CREATE TABLE every_type (%1)").arg(columns.join(QStringLiteral(", "))));
    run(QStringLiteral("INSERT INTO every_type VALUES (%1), (%2)")
            .arg(literals.join(QStringLiteral(", ")), nulls.join(QStringLiteral(", "))));

    auto records = connection_->openRecordset(QStringLiteral("SELECT * FROM every_type"));
    ASSERT_EQ(records->fieldCount(), static_cast<int>(cases.size()));
    ASSERT_EQ(records->recordCount(), 2);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TypeCase& c = cases[i];
        const int column = static_cast<int>(i);
        const FieldInfo& info = records->fieldInfo(column);
        SCOPED_TRACE(std::string(c.declaration) + " = " + c.literal);
        EXPECT_EQ(info.name, QStringLiteral("c%1").arg(i));
        EXPECT_EQ(info.type, c.type);
        EXPECT_EQ(info.definedSize, c.definedSize);
        const Value value = records->valueAt(0, column);
        EXPECT_EQ(value, c.value) << describe(value).toStdString() << " instead of "
                                  << describe(c.value).toStdString();
        EXPECT_TRUE(records->valueAt(1, column).isNull());
    }
}

TEST_F(MySqlTest, DecimalColumnsCarryPrecisionAndScale) {
    run("CREATE TABLE amounts (a DECIMAL(30,10), b DECIMAL(12,2) UNSIGNED, c DECIMAL(5,0))");
    auto records = connection_->openRecordset(QStringLiteral("SELECT * FROM amounts"));
    const std::vector<std::pair<int, int>> expected = {{30, 10}, {12, 2}, {5, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(records->fieldInfo(i).type, adType::Numeric);
        EXPECT_EQ(records->fieldInfo(i).precision, expected[i].first) << i;
        EXPECT_EQ(records->fieldInfo(i).numericScale, expected[i].second) << i;
    }
}

// Values written back with the literal form the transfer uses read back the same.
TEST_F(MySqlTest, SqlLiteralsOfReadValuesWriteBackTheSameValues) {
    run({"CREATE TABLE original (t TEXT, b BLOB, d DECIMAL(20,6), dt DATETIME(6), f DOUBLE)",
         "INSERT INTO original VALUES ('a\\'b\\\\c\\0d😀', X'00275C0A1A', -0.000001, "
         "'0100-02-03 04:05:06.7', 2.5e-300)",
         "CREATE TABLE copy LIKE original"});
    auto records = connection_->openRecordset(QStringLiteral("SELECT * FROM original"));
    ASSERT_EQ(records->recordCount(), 1);
    QStringList literals;
    for (int i = 0; i < records->fieldCount(); ++i) literals << records->valueAt(0, i).sqlLiteral();
    run(QStringLiteral("INSERT INTO copy VALUES (%1)").arg(literals.join(QStringLiteral(", "))));
    auto differing = connection_->openRecordset(QStringLiteral(
        "SELECT COUNT(*) FROM original o JOIN copy c ON BINARY o.t = BINARY c.t AND o.b = c.b "
        "AND o.d = c.d AND o.dt = c.dt AND o.f = c.f"));
    EXPECT_EQ(differing->valueAt(0, 0), Value::integer(1)) << literals.join(' ').toStdString();
}

TEST_F(MySqlTest, ExpressionColumnsAreTypedByTheirResult) {
    auto records = connection_->openRecordset(QStringLiteral(
        "SELECT 1 AS one, 'text' AS word, NULL AS nothing, X'00' AS raw, 1.50 AS exact, "
        "CAST('2020-01-02' AS DATE) AS day"));
    ASSERT_EQ(records->fieldCount(), 6);
    EXPECT_EQ(records->fieldInfo(0).name, "one");
    EXPECT_EQ(records->valueAt(0, 0), Value::integer(1));
    EXPECT_EQ(records->valueAt(0, 1), Value::text("text"));
    EXPECT_TRUE(records->valueAt(0, 2).isNull());
    EXPECT_EQ(records->fieldInfo(3).type, adType::VarBinary);
    EXPECT_EQ(records->valueAt(0, 3), Value::bytes(QByteArray(1, '\0')));
    EXPECT_EQ(records->valueAt(0, 4), Value::decimal("1.50"));
    EXPECT_EQ(records->valueAt(0, 5), Value::date(2020, 1, 2));
}
