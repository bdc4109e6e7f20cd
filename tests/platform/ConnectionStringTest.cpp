#include <gtest/gtest.h>

#include "platform/dao/ConnectionString.h"

using namespace keldara::dao;

namespace {

struct PairCase {
    const char* text;
    const char* key;
    std::optional<QString> expected;
};

class ConnectionStringValues : public ::testing::TestWithParam<PairCase> {};

TEST_P(ConnectionStringValues, ReadsTheValueOfAKey) {
    const PairCase& c = GetParam();
    EXPECT_EQ(ConnectionString::parse(QString::fromUtf8(c.text)).value(QString::fromUtf8(c.key)),
              c.expected)
        << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ConnectionStringValues,
    ::testing::Values(
        PairCase{"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb;", "data source",
                 "/d/a.mdb"},
        PairCase{"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb", "Data Source",
                 "/d/a.mdb"},
        PairCase{"a=1;b=2", "c", std::nullopt}, PairCase{"PWD={pa;ss};UID=u", "PWD", "pa;ss"},
        PairCase{"PWD={a}}b};UID=u", "PWD", "a}b"}, PairCase{"PWD={a}}b};UID=u", "UID", "u"},
        PairCase{"Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"", "Extended Properties",
                 "text;HDR=Yes;FMT=Delimited;"},
        PairCase{"X=\"say \"\"hi\"\"\";Y=2", "X", "say \"hi\""},
        PairCase{"Data Source=/f/\\;Extended Properties=\"text;HDR=Yes;\"", "Data Source", "/f/\\"},
        PairCase{"Jet OLEDB:Database Password=  secret ;", "Jet OLEDB:Database Password", "secret"},
        PairCase{"Password=;UID=x", "Password", ""}, PairCase{"garbage;Key=v", "Key", "v"},
        PairCase{"K={unterminated;rest", "K", "unterminated;rest"},
        PairCase{"Straße=ü", "STRASSE", std::nullopt}, PairCase{"A=1;A=2", "a", "1"}));

TEST(ConnectionString, BracesOnlyTheValuesThatNeedThem) {
    EXPECT_EQ(braceQuoteIfNeeded("plain pass"), "plain pass");
    EXPECT_EQ(braceQuoteIfNeeded("pa;ss"), "{pa;ss}");
    EXPECT_EQ(braceQuoteIfNeeded("a}b"), "{a}}b}");
    EXPECT_EQ(braceQuoteIfNeeded("{x"), "{{x}");
    EXPECT_EQ(braceQuoteIfNeeded(" pw "), "{ pw }");
    EXPECT_EQ(braceQuoteIfNeeded("\"abc"), "{\"abc}");
    EXPECT_EQ(braceQuoteIfNeeded("a\"b\""), "a\"b\"");
    // Whatever was braced comes back intact, and adds no keys of its own.
    for (const QString value : {"x};DATABASE=evil;{", " pw ", "\tpw", "pw\n", "\"abc",
                                "\"a;DATABASE=evil\"", "{braced}", "", " "}) {
        const auto cs =
            ConnectionString::parse("UID=u;PWD=" + braceQuoteIfNeeded(value) + ";PORT=1");
        EXPECT_EQ(cs.value("PWD"), value) << value.toStdString();
        EXPECT_EQ(cs.value("DATABASE"), std::nullopt) << value.toStdString();
        EXPECT_EQ(cs.value("PORT"), "1") << value.toStdString();
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
    EXPECT_EQ(kind("Driver=SQL Server;Server=x"), std::nullopt);
    EXPECT_EQ(kind("Provider=SQLOLEDB;Data Source=x"), std::nullopt);
    EXPECT_EQ(kind(""), std::nullopt);
}

}  // namespace
