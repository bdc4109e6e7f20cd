#include <gtest/gtest.h>

#include "platform/dao/TypeCodes.h"
#include "transfer/ColumnTypes.h"
#include "transfer/CreateTableScript.h"
#include "transfer/SqlText.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;
using dao::Value;
using transfer::BuildSQLString;

namespace {

QStringList literals(std::initializer_list<Value> values) {
    QStringList out;
    for (const Value& v : values) out << v.sqlLiteral();
    return out;
}

struct StatementCase {
    const char* rule;
    QString action;
    QStringList names;
    QStringList values;
    QString match;
    QString expected;
};

StatementCase rule(const char* name, const QString& action, const QStringList& names,
                   const QStringList& values, const QString& match, const QString& expected) {
    return {name, action, names, values, match, expected};
}

TEST(StatementText, BuildsEachRule) {
    const Value one = Value::integer(1);
    const StatementCase cases[] = {
        rule("update skips the match pair and takes its value by name", "UPDATE", {"a", "k", "b"},
             literals({Value::text("x"), one, Value::text("y")}), "k",
             "update T SET `a` = 'x',`b` = 'y' WHERE `k` ='1'"),
        rule("only the match field mapped leaves SET empty", "UPDATE", {"k"}, literals({one}), "k",
             "update T SET  WHERE `k` ='1'"),
        rule("a name differing only in case stays in SET", "UPDATE", {"id", "ID"},
             literals({Value::text("a"), one}), "ID", "update T SET `id` = 'a' WHERE `ID` ='1'"),
        rule("parentheses become _ in SET and WHERE", "UPDATE", {"Price (USD)", "Key(1)"},
             literals({Value::decimal("-1.5000"), one}), "Key(1)",
             "update T SET `Price _USD_` = '-1.5000' WHERE `Key_1_` ='1'"),
        rule("an embedded back-quote is doubled", "UPDATE", {"a`b", "k"},
             literals({Value::null(), one}), "k", "update T SET `a``b` = NULL WHERE `k` ='1'"),
        rule("a match name that is not mapped gives no statement", "UPDATE", {"a"}, literals({one}),
             "k", ""),
        rule("insert names its columns, unchanged", "INSERT", {"a`b", "c (d)"},
             literals({Value::text("it's C:\\"), Value::bytes("\x01\xff")}), "",
             "insert into T (`a``b`,`c (d)`) values ('it\\'s C:\\\\',X'01FF')"),
        rule("insert of a single value", "INSERT", {"a"}, literals({Value::text("v")}), "",
             "insert into T (`a`) values ('v')"),
        rule("insert without names has no column list", "INSERT", {},
             literals({Value::null(), Value::text("l1\r\nl2"), Value::boolean(true)}), "",
             "insert into T values (NULL,'l1\\r\\nl2','1')"),
        rule("an unknown action, or one in other case, gives the empty text", "update", {"a"},
             literals({one}), "a", ""),
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(BuildSQLString(c.action, "T", c.names, c.values, c.match), c.expected) << c.rule;
    }
}

TEST(StatementText, SmallFunctions) {
    EXPECT_EQ(transfer::QuoteFieldName("a (b)`c"), "`a _b_``c`");
    EXPECT_EQ(transfer::NullToEmpty(Value::null()), "");
    EXPECT_EQ(transfer::NullToEmpty(Value::decimal("2.50")), "2.50");
    // A time of day read from a date-time field keeps its zero date; elsewhere it stays a time.
    const Value time = Value::time(10, 30, 0);
    EXPECT_EQ(transfer::transferLiteral(time, dao::adType::Date), "'1899-12-30 10:30:00'");
    EXPECT_EQ(transfer::transferLiteral(time, dao::adType::DBTime), "'10:30:00'");
}

TEST(ColumnTypes, EveryTypeCode) {
    namespace t = dao::adType;
    // Sizes, precision and scale count only for the types that add them.
    const std::pair<int, const char*> plain[] = {{t::SmallInt, "smallInt"},
                                                 {t::Integer, "int"},
                                                 {t::Single, "float"},
                                                 {t::Double, "double"},
                                                 {t::Currency, "decimal(19,4)"},
                                                 {t::Date, "datetime(3)"},
                                                 {t::BSTR, "varchar(255)"},
                                                 {t::Boolean, "tinyint(1)"},
                                                 {t::Decimal, "decimal(16,3)"},
                                                 {t::TinyInt, "tinyInt"},
                                                 {t::UnsignedTinyInt, "tinyint unsigned"},
                                                 {t::UnsignedSmallInt, "smallint unsigned"},
                                                 {t::UnsignedInt, "int unsigned"},
                                                 {t::BigInt, "bigint"},
                                                 {t::UnsignedBigInt, "bigint unsigned"},
                                                 {t::Binary, "blob"},
                                                 {t::DBDate, "date"},
                                                 {t::DBTime, "time"},
                                                 {t::DBTimeStamp, "datetime(3)"},
                                                 {t::LongVarChar, "mediumText"},
                                                 {t::LongVarWChar, "mediumText"},
                                                 {t::VarBinary, "blob"},
                                                 {t::LongVarBinary, "longblob"},
                                                 {t::GUID, "varchar(255)"},
                                                 {t::CalendarDate, "varchar(255)"}};
    for (const auto& [code, expected] : plain) {
        EXPECT_EQ(transfer::MySQLColumnType({"f", code, 16, 5, 2}), expected) << code;
    }
    const std::pair<dao::FieldInfo, const char*> sized[] = {
        {{"f", t::Char, 10}, "char(10)"},
        {{"f", t::WChar, 1}, "char(1)"},
        {{"f", t::VarChar, 254}, "varchar(254)"},
        {{"f", t::VarWChar, 50}, "varchar(50)"},
        {{"f", t::Numeric, 17, 12, 3}, "decimal(12,3)"},
        {{"f", t::Numeric, 17, 2, 4}, "decimal(4,4)"},
        {{"f", t::Numeric, 17, 99, 40}, "decimal(65,30)"}};
    for (const auto& [field, expected] : sized) {
        EXPECT_EQ(transfer::MySQLColumnType(field), expected) << expected;
    }
}

dao::Recordset twoFieldTable(int records) {
    dao::Recordset rs({{"a", dao::adType::Integer, 4}, {"b (x)", dao::adType::VarWChar, 50}});
    for (int i = 1; i <= records; ++i) {
        const Value row[] = {Value::integer(i), i == 2 ? Value::null() : Value::text("o'k")};
        rs.appendRow(row);
    }
    return rs;
}

TEST(CreateTableScript, WholeScript) {
    const QString records =
        "#----------------------------\r\n# Records for Tester\r\n#----------------------------\r\n"
        "insert into Tester values ('1','o\\'k');\r\n"
        "insert into Tester values ('2',NULL);\r\n";
    const QString head =
        "#----------------------------\r\n# Table structure for Tester\r\n"
        "#----------------------------\r\nSET NAMES utf8mb4;\r\ndrop table if exists Tester;\r\n"
        "create table `Tester` (\r\n`a` int,\r\n";
    const QString tail = "ENGINE=MyISAM DEFAULT CHARSET=utf8mb4;\r\n\r\n";
    const dao::Recordset rs = twoFieldTable(2);

    test::RecordingProgress progress;
    transfer::ScriptResult plain = transfer::CreateTableScript("Tester", rs, progress);
    EXPECT_EQ(plain.script, head + "`b (x)` varchar(50)) \r\n" + tail + records);
    EXPECT_EQ(progress.statuses, QStringList({"Creating MySQL Statement", "Processed Record :1",
                                              "Processed Record :2"}));
    EXPECT_EQ(progress.maximum, 2);
    EXPECT_EQ(progress.value, 2);

    transfer::ScriptResult indexed =
        transfer::CreateTableScript("Tester", rs, progress, "idxK", "KEY");
    EXPECT_EQ(indexed.script,
              head + "`b (x)` varchar(50),\r\nindex idxK (`KEY`))\r\n" + tail + records);
}

TEST(CreateTableScript, EmptySourceOrStopGivesNoScript) {
    test::RecordingProgress empty;
    const transfer::ScriptResult none =
        transfer::CreateTableScript("Tester", twoFieldTable(0), empty);
    EXPECT_TRUE(none.script.isEmpty());
    EXPECT_EQ(empty.statuses, QStringList({"Creating MySQL Statement"}));

    test::RecordingProgress stopping;
    stopping.stopAfterRecords = 1;
    const transfer::ScriptResult stopped =
        transfer::CreateTableScript("Tester", twoFieldTable(3), stopping);
    EXPECT_TRUE(stopped.script.isEmpty());
    EXPECT_EQ(stopped.outcome, transfer::TransferResult::Outcome::Stopped);
    EXPECT_EQ(stopped.endedAtRecord, 2);
    EXPECT_EQ(stopping.statuses.last(), "Stopped at Record :2");
}

}  // namespace
