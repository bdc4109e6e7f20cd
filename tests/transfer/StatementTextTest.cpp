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

// Names and values are lists separated by "|".
TEST(StatementText, BuildsEachRule) {
    const struct {
        const char *rule, *action, *names, *values, *match, *expected;
    } cases[] = {
        {"update skips the match pair and takes its value by name", "UPDATE", "a|k|b",
         "'x'|'1'|'y'", "k", "update T SET `a` = 'x',`b` = 'y' WHERE `k` ='1'"},
        {"only the match field mapped gives no statement", "UPDATE", "k", "'1'", "k", ""},
        {"the match name is found ignoring letter case", "UPDATE", "a|ID", "'a'|'1'", "id",
         "update T SET `a` = 'a' WHERE `ID` ='1'"},
        {"names are written exactly in SET and WHERE", "UPDATE", "Price (USD)|Key(1)", "'-1.5'|'1'",
         "Key(1)", "update T SET `Price (USD)` = '-1.5' WHERE `Key(1)` ='1'"},
        {"an embedded back-quote is doubled", "UPDATE", "a`b|k", "NULL|'1'", "k",
         "update T SET `a``b` = NULL WHERE `k` ='1'"},
        {"a match name that is not mapped gives no statement", "UPDATE", "a", "'1'", "k", ""},
        {"insert names its columns, unchanged", "INSERT", "a`b|c (d)", "'x'|X'01FF'", "",
         "insert into T (`a``b`,`c (d)`) values ('x',X'01FF')"},
        {"insert without names has no column list", "INSERT", "", "NULL|'1'", "",
         "insert into T values (NULL,'1')"},
        {"an unknown action, or one in other case, gives the empty text", "update", "a", "'1'", "a",
         ""},
    };
    const auto list = [](const char* items) {
        return QString(items).split('|', Qt::SkipEmptyParts);
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildSQLString(c.action, "T", list(c.names), list(c.values), c.match), c.expected)
            << c.rule;
    }
}

TEST(StatementText, SmallFunctions) {
    // A time of day read from a date-time field keeps its zero date; elsewhere it stays a time.
    const Value time = Value::time(10, 30, 0);
    EXPECT_EQ(transfer::transferLiteral(time, dao::adType::Date), "'1899-12-30 10:30:00'");
    EXPECT_EQ(transfer::transferLiteral(time, dao::adType::DBTime), "'10:30:00'");
}

TEST(ColumnTypes, EveryTypeCode) {
    namespace t = dao::adType;
    // Sizes, precision and scale count only for the types that add them.
    QStringList plain;
    for (int code : {t::SmallInt,    t::Integer,         t::Single,
                     t::Double,      t::Currency,        t::Date,
                     t::BSTR,        t::Boolean,         t::Decimal,
                     t::TinyInt,     t::UnsignedTinyInt, t::UnsignedSmallInt,
                     t::UnsignedInt, t::BigInt,          t::UnsignedBigInt,
                     t::Binary,      t::DBDate,          t::DBTime,
                     t::DBTimeStamp, t::LongVarChar,     t::LongVarWChar,
                     t::VarBinary,   t::LongVarBinary,   t::GUID,
                     t::CalendarDate}) {
        plain << transfer::MySQLColumnType({"f", code, 16, 5, 2});
    }
    EXPECT_EQ(plain.join(' '),
              "smallInt int float double decimal(19,4) datetime(3) varchar(255) tinyint(1) "
              "decimal(16,3) tinyInt tinyint unsigned smallint unsigned int unsigned bigint "
              "bigint unsigned blob date time datetime(3) mediumText mediumText blob longblob "
              "varchar(255) varchar(255)");
    QStringList sized;
    for (const dao::FieldInfo& field :
         std::initializer_list<dao::FieldInfo>{{"f", t::Char, 10},
                                               {"f", t::WChar, 1},
                                               {"f", t::VarChar, 254},
                                               {"f", t::VarWChar, 50},
                                               {"f", t::Numeric, 17, 12, 3},
                                               {"f", t::Numeric, 17, 2, 4},
                                               {"f", t::Numeric, 17, 99, 40}}) {
        sized << transfer::MySQLColumnType(field);
    }
    EXPECT_EQ(
        sized.join(' '),
        "char(10) char(1) varchar(254) varchar(50) decimal(12,3) decimal(4,4) decimal(65,30)");
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
    EXPECT_EQ(stopping.statuses.last(), "Stopped at Record :2");
}

}  // namespace
