#include <gtest/gtest.h>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "source/FieldTypeName.h"
#include "source/SourceFiles.h"

using namespace keldara;
using namespace keldara::source;

namespace {

// The kind is read from the path's last three characters, in any case and untrimmed.
TEST(SourceConnectionStrings, FollowTheKindOfTheLastThreeCharacters) {
    const QString Jet = "Provider=Microsoft.Jet.OLEDB.4.0;";
    const QString Text = "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"";
    const QString Dbf = "Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=";
    const QString Clause = "Persist Security Info=False;Jet OLEDB:Database Password=pw";
    const std::array<QString, 3> cases[] = {
        {"C:\\data\\shop.mdb", Clause, Jet + "Data Source=C:\\data\\shop.mdb;" + Clause},
        {"/srv/SHOP.MDB", "", Jet + "Data Source=/srv/SHOP.MDB;"},
        {"/srv/shopmdb", "", Jet + "Data Source=/srv/shopmdb;"},  // the letters alone suffice
        {"/srv/Book.XLS", Clause, Jet + "Data Source=/srv/Book.XLS;Extended Properties=Excel 8.0;"},
        {"C:\\data\\orders.csv", Clause, Jet + "Data Source=C:\\data" + Text},
        {"/home/u/list.TXT", "", Jet + "Data Source=/home/u" + Text},
        {"C:\\orders.csv", "", Jet + "Data Source=C:\\" + Text},
        {"orders.csv", "", Jet + "Data Source=" + Text},
        {"/srv/people.dbf", Clause, Dbf + "/srv"},
        {"people.DBF", "", Dbf},
        {"/srv/book.xlsx", "", Jet},     // no supported kind
        {"/srv/orders.csv  ", "", Jet},  // blanks after the extension hide the kind
        {"  /srv/shop.mdb", "", Jet + "Data Source={  /srv/shop.mdb};"},
    };
    for (const auto& [path, clause, expected] : cases)
        EXPECT_EQ(SourceConnectionString(path, clause), expected) << path.toStdString();
}

// Whatever the path or password, the providers read back exactly what was given.
TEST(SourceConnectionStrings, GiveBackPathsAndPasswordsUnchanged) {
    const std::array<QString, 4> cases[] = {
        {"/srv/shop.mdb", "a}b;Data Source=x", "Jet OLEDB:Database Password", "a}b;Data Source=x"},
        {" /srv/a;b {1}.mdb", "pw", "Data Source", " /srv/a;b {1}.mdb"},
        {"/srv/a;b/book.xls", "", "Data Source", "/srv/a;b/book.xls"},
        {"/srv/a;b/orders.csv", "", "Data Source", "/srv/a;b\\"},
        {" /srv/{b}/people.dbf", "", "SourceDB", " /srv/{b}"},
    };
    for (const auto& [path, password, key, expected] : cases) {
        const auto parsed = dao::ConnectionString::parse(
            SourceConnectionString(path, SourcePasswordClause(password)));
        EXPECT_EQ(parsed.value(key), expected) << path.toStdString();
    }
    EXPECT_EQ(SourcePasswordClause("   "), "");
    EXPECT_EQ(FileNameOfPath("C:\\data\\My Orders.CSV"), "My Orders.CSV");
}

// Workbooks list every sheet but those named "Database"; text and dBase files their own name.
TEST(SourceTableNames, ListEverySheetButDatabasesOrTheFilesOwnName) {
    dao::Recordset catalogue({dao::FieldInfo{"TABLE_NAME", dao::adType::VarChar, 64, 0, 0}});
    for (const char* name : {"Data$", "Database$", "'old database$'", "My Databases$"}) {
        const dao::Value value = dao::Value::text(name);
        catalogue.appendRow(std::span<const dao::Value>(&value, 1));
    }
    EXPECT_EQ(SourceTableNames("/d/book.xls", catalogue),
              QStringList({"Data$", "'old database$'"}));
    EXPECT_EQ(SourceTableNames("/d/people.DBF", catalogue), QStringList{"people.DBF"});
}

TEST(SourceGridCaption, ShowsFiftyCharactersWholeAndShortensLongerPaths) {
    const QString fifty = "/" + QString(45, 'a') + ".csv";
    ASSERT_EQ(fifty.size(), 50);
    EXPECT_EQ(SourceGridCaption(fifty), fifty);
    EXPECT_EQ(SourceGridCaption("/x" + fifty), "..." + fifty);
}

TEST(FieldTypeName, NamesEveryCodeTheProvidersReportAndTheTwoDateCodes) {
    using namespace dao::adType;
    QStringList seen;
    for (const int code : {SmallInt,
                           Integer,
                           Single,
                           Double,
                           Currency,
                           Date,
                           BSTR,
                           Error,
                           Boolean,
                           Variant,
                           Decimal,
                           TinyInt,
                           UnsignedTinyInt,
                           UnsignedSmallInt,
                           UnsignedInt,
                           BigInt,
                           UnsignedBigInt,
                           FileTime,
                           GUID,
                           Binary,
                           Char,
                           WChar,
                           Numeric,
                           DBDate,
                           DBTime,
                           DBTimeStamp,
                           VarChar,
                           LongVarChar,
                           VarWChar,
                           LongVarWChar,
                           VarBinary,
                           LongVarBinary}) {
        const QString name = FieldTypeName(code);
        EXPECT_NE(name, "Not Defined") << code;
        EXPECT_FALSE(seen.contains(name)) << "two codes read " << name.toStdString();
        seen.append(name);
    }
    EXPECT_EQ(FieldTypeName(CalendarDate), "Date");
    EXPECT_EQ(FieldTypeName(TimeOfDay), "Time");
    for (const int undefined : {999, -1, 0}) EXPECT_EQ(FieldTypeName(undefined), "Not Defined");
}

dao::Recordset dateColumn(std::initializer_list<dao::Value> values) {
    dao::Recordset records({dao::FieldInfo{"d", dao::adType::Date, 8, 0, 0}});
    for (const dao::Value& v : values) records.appendRow(std::span<const dao::Value>(&v, 1));
    return records;
}

TEST(RefinedDateType, LooksAtTheFirstValueThatIsNotNull) {
    namespace t = dao::adType;
    const dao::Value null;
    const auto time = dao::Value::time(8, 15, 0);
    const auto stamp = dao::Value::dateTime({2024, 1, 15, 8, 15, 0, 0});
    const auto zeroDateStamp = dao::Value::dateTime({1899, 12, 30, 23, 59, 0, 0});
    EXPECT_EQ(RefinedDateType(dateColumn({null, stamp, time}), 0), t::CalendarDate);
    EXPECT_EQ(RefinedDateType(dateColumn({null, zeroDateStamp, stamp}), 0), t::TimeOfDay);
    EXPECT_EQ(RefinedDateType(dateColumn({null, null}), 0), t::Date);
}

}  // namespace
