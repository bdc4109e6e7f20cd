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
        {"C:\\data\\shop.mdb", "", Jet + "Data Source=C:\\data\\shop.mdb;"},
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
        {"/srv/book.xlsx", "", Jet},  // newer Excel and Access files are no supported kind
        {"/srv/shop.accdb", "", Jet},
        {"/srv/notes", "", Jet},
        {"/srv/orders.csv  ", "", Jet},  // blanks after the extension hide the kind
        {"  /srv/shop.mdb", "", Jet + "Data Source={  /srv/shop.mdb};"},
    };
    for (const auto& [path, clause, expected] : cases)
        EXPECT_EQ(SourceConnectionString(path, clause), expected) << path.toStdString();
}

// Whatever the path or password, the providers read back exactly what was given.
TEST(SourceConnectionStrings, GiveBackPathsAndPasswordsUnchanged) {
    struct Case {
        QString path, password, key, expected;
    };
    const QString Password = QStringLiteral("Jet OLEDB:Database Password");
    const Case cases[] = {
        {"/srv/shop.mdb", " pw ", Password, " pw "},
        {"/srv/shop.mdb", "\"abc", Password, "\"abc"},
        {"/srv/shop.mdb", "a}b;Data Source=x", Password, "a}b;Data Source=x"},
        {"/srv/shop.mdb", "\"abc", "Data Source", "/srv/shop.mdb"},
        {" /srv/a;b {1}.mdb", "pw", "Data Source", " /srv/a;b {1}.mdb"},
        {"/srv/a;b/book.xls", "", "Data Source", "/srv/a;b/book.xls"},
        {"/srv/a;b/orders.csv", "", "Data Source", "/srv/a;b\\"},
        {"/srv/a;b/orders.csv", "", "Extended Properties", "text;HDR=Yes;FMT=Delimited;"},
        {" /srv/{b}/people.dbf", "", "SourceDB", " /srv/{b}"},
    };
    for (const Case& c : cases) {
        const auto parsed = dao::ConnectionString::parse(
            SourceConnectionString(c.path, SourcePasswordClause(c.password)));
        EXPECT_EQ(parsed.value(c.key), c.expected)
            << c.path.toStdString() << " " << c.password.toStdString();
    }
}

// (The source panel's test follows a typed and a padded password through the window.)
TEST(SourcePasswordClause, IsEmptyForNoOrBlankPasswords) {
    EXPECT_EQ(SourcePasswordClause(""), "");
    EXPECT_EQ(SourcePasswordClause("   "), "");
}

// (The connection strings above show the parent folders of Windows paths.)
TEST(SourcePaths, ParentFolderAndFileName) {
    EXPECT_EQ(ParentFolderName("/orders.csv"), "/");
    EXPECT_EQ(ParentFolderName("/a/b\\c.csv"), "/a/b");
    EXPECT_EQ(FileNameOfPath("C:\\data\\orders.csv"), "orders.csv");
    EXPECT_EQ(FileNameOfPath("/home/u/My Orders.CSV"), "My Orders.CSV");
}

TEST(SourceGridCaption, ShowsFiftyCharactersWholeAndShortensLongerPaths) {
    const QString fifty = "/" + QString(45, 'a') + ".csv";
    ASSERT_EQ(fifty.size(), 50);
    EXPECT_EQ(SourceGridCaption(fifty), fifty);
    const QString fiftyOne = "/x" + fifty;
    EXPECT_EQ(SourceGridCaption(fiftyOne), "..." + fiftyOne.right(50));
    EXPECT_EQ(SourceGridCaption(fiftyOne).size(), 53);
}

TEST(FieldTypeName, NamesEveryCodeTheProvidersReportAndTheTwoDateCodes) {
    using namespace dao::adType;
    QStringList seen;
    for (const int code : QList<int>() << SmallInt << Integer << Single << Double << Currency
                                       << Date << BSTR << Error << Boolean << Variant << Decimal
                                       << TinyInt << UnsignedTinyInt << UnsignedSmallInt
                                       << UnsignedInt << BigInt << UnsignedBigInt << FileTime
                                       << GUID << Binary << Char << WChar << Numeric << DBDate
                                       << DBTime << DBTimeStamp << VarChar << LongVarChar
                                       << VarWChar << LongVarWChar << VarBinary << LongVarBinary) {
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
    const auto date = dao::Value::date(2024, 1, 15);
    const auto time = dao::Value::time(8, 15, 0);
    const auto stamp = dao::Value::dateTime({2024, 1, 15, 8, 15, 0, 0});
    const auto zeroDateStamp = dao::Value::dateTime({1899, 12, 30, 23, 59, 0, 0});
    EXPECT_EQ(RefinedDateType(dateColumn({null, null, date, time}), 0), t::CalendarDate);
    EXPECT_EQ(RefinedDateType(dateColumn({null, time, date}), 0), t::TimeOfDay);
    EXPECT_EQ(RefinedDateType(dateColumn({stamp}), 0), t::CalendarDate);
    EXPECT_EQ(RefinedDateType(dateColumn({zeroDateStamp, date}), 0), t::TimeOfDay);
    EXPECT_EQ(RefinedDateType(dateColumn({null, null, null}), 0), t::Date);
    EXPECT_EQ(RefinedDateType(dateColumn({}), 0), t::Date);
}

}  // namespace
