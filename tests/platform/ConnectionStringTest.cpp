#include <gtest/gtest.h>

#include "platform/dao/ConnectionString.h"

using namespace keldara::dao;

namespace {

TEST(ConnectionString, ReadsTheValueOfAKey) {
    const std::tuple<const char*, const char*, std::optional<QString>> cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb;", "data source", "/d/a.mdb"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb", "Data Source", "/d/a.mdb"},
        {"a=1;b=2", "c", std::nullopt},
        {"PWD={pa;ss};UID=u", "PWD", "pa;ss"},
        {"PWD={a}}b};UID=u", "PWD", "a}b"},
        {"PWD={a}}b};UID=u", "UID", "u"},
        {"Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"", "Extended Properties",
         "text;HDR=Yes;FMT=Delimited;"},
        {"X=\"say \"\"hi\"\"\";Y=2", "X", "say \"hi\""},
        {"Data Source=/f/\\;Extended Properties=\"text;HDR=Yes;\"", "Data Source", "/f/\\"},
        {"Jet OLEDB:Database Password=  secret ;", "Jet OLEDB:Database Password", "secret"},
        {"Password=;UID=x", "Password", ""},
        {"garbage;Key=v", "Key", "v"},
        {"K={unterminated;rest", "K", "unterminated;rest"},
        {"Straße=ü", "STRASSE", std::nullopt},
        {"A=1;A=2", "a", "1"},
    };
    for (const auto& [text, key, expected] : cases) {
        EXPECT_EQ(ConnectionString::parse(QString::fromUtf8(text)).value(QString::fromUtf8(key)),
                  expected)
            << text;
    }
}

TEST(ConnectionString, BracesOnlyTheValuesThatNeedThem) {
    QStringList quoted;
    for (const char* value : {"plain pass", "pa;ss", "a}b", "{x", " pw ", "\"abc", "a\"b\""})
        quoted << braceQuoteIfNeeded(value);
    EXPECT_EQ(quoted, QStringList({"plain pass", "{pa;ss}", "{a}}b}", "{{x}", "{ pw }", "{\"abc}",
                                   "a\"b\""}));
    // Whatever was braced comes back intact, and adds no keys of its own.
    for (const QString value : {"x};DATABASE=evil;{", " pw ", "\tpw", "pw\n", "\"abc",
                                "\"a;DATABASE=evil\"", "{braced}", "", " "}) {
        const auto cs =
            ConnectionString::parse("UID=u;PWD=" + braceQuoteIfNeeded(value) + ";PORT=1");
        EXPECT_TRUE(cs.value("PWD") == value && !cs.value("DATABASE") && cs.value("PORT") == "1")
            << value.toStdString();
    }
}

TEST(ConnectionString, ChoosesTheProviderForEachKindOfSource) {
    auto kind = [](const char* text) { return chooseProvider(ConnectionString::parse(text)); };
    EXPECT_EQ(kind("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/a.mdb;"), ProviderKind::Access);
    EXPECT_EQ(
        kind(
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/a.xls;Extended Properties=Excel 8.0;"),
        ProviderKind::Excel);
    EXPECT_EQ(kind("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/\\;Extended "
                   "Properties=\"text;HDR=Yes;FMT=Delimited;\""),
              ProviderKind::Text);
    EXPECT_EQ(kind("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=/x"),
              ProviderKind::DBase);
    EXPECT_EQ(kind("DRIVER={MySQL ODBC 3.51 Driver};SERVER=h;UID=u;PWD=p;PORT=3306;DATABASE=d"),
              ProviderKind::MySql);
    for (const char* other : {"Driver=SQL Server;Server=x", "Provider=SQLOLEDB;Data Source=x", ""})
        EXPECT_EQ(kind(other), std::nullopt) << other;
}

}  // namespace
