// The data-access basics the providers share: values and their literals and display texts,
// recordsets, connection strings and the choice of provider, code pages.
#include <gtest/gtest.h>

#include <QLocale>
#include <array>

#include "platform/dao/CodePages.h"
#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;

namespace {

// The literals MySQL reads back; tests/mysql writes back text, bytes, decimals, date-times and
// doubles through the server.
TEST(SqlLiterals, AreWhatMySqlReadsBack) {
    const std::pair<Value, const char*> cases[] = {
        {Value::null(), "NULL"},
        {Value::text("NULL"), "'NULL'"},
        {Value::boolean(false), "'0'"},
        {Value::integer(-42), "'-42'"},
        {Value::floating(1234567.25), "'1234567.25'"},
        {Value::floating(0.0009), "'0.0009'"},
        {Value::date(33, 2, 1), "'0033-02-01'"},
        {Value::time(7, 5, 3, 250000), "'07:05:03.25'"},
        {Value::text(QString(QChar(0)) + QChar(0x1a)), "'\\0\\Z'"}};
    for (const auto& [value, literal] : cases)
        EXPECT_EQ(value.sqlLiteral(), QString::fromUtf8(literal));
}

// Display texts follow the locale (tests/source shows German dates and numbers in the window),
// Null shows as empty; four-digit years; a date-time on the zero date is a time of day.
TEST(ValueDisplay, FollowsTheLocale) {
    const QLocale saved;
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const DateTime zeroDate{1899, 12, 30, 13, 35, 38, 0};
    const std::tuple<QLocale, Value, QString> cases[] = {
        {german, Value::null(), ""},
        {german, Value::boolean(true), "True"},
        {german, Value::decimal("-3.50"), "-3,50"},
        {german, Value::integer(1234567), "1234567"},
        {german, Value::time(13, 5, 9), "13:05:09"},
        {us, Value::date(632, 6, 8), "6/8/0632"},
        {us, Value::dateTime(zeroDate), "1:35:38 PM"},
        {german, Value::dateTime(zeroDate), "13:35:38"},
        {german, Value::dateTime({1899, 12, 31, 13, 35, 38, 0}), "31.12.1899 13:35:38"}};
    for (const auto& [locale, value, expected] : cases) {
        QLocale::setDefault(locale);
        EXPECT_EQ(value.displayText(), expected) << value.standardText().toStdString();
    }
    QLocale::setDefault(saved);
}

TEST(Recordset, WalksForwardAndBackAndRefusesToMovePastEitherEndOrWhenEmptyOrClosed) {
    Recordset rs({{"n", adType::Integer, 4}}), empty({{"n", adType::Integer, 4}});
    for (int i = 1; i <= 3; ++i) rs.appendRow(std::array{Value::integer(i)});
    EXPECT_EQ(rs.absolutePosition(), 1);
    std::vector<long> seen;
    for (; !rs.eof(); rs.moveNext()) seen.push_back(rs.field(0).value.toInt());
    EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
    EXPECT_EQ(rs.absolutePosition(), Recordset::AdPosEOF);
    EXPECT_THROW(rs.moveNext(), DaoError);
    EXPECT_THROW(rs.field(0), DaoError);
    rs.movePrevious();
    EXPECT_EQ(rs.value(0).toInt(), 3);
    rs.moveFirst();
    rs.movePrevious();
    EXPECT_TRUE(rs.bof() && !rs.eof());
    EXPECT_EQ(rs.absolutePosition(), Recordset::AdPosBOF);
    EXPECT_THROW(rs.movePrevious(), DaoError);
    rs.moveLast();
    EXPECT_EQ(rs.absolutePosition(), 3);
    rs.setAbsolutePosition(2);
    EXPECT_EQ(rs.value(0).toInt(), 2);
    EXPECT_THROW(rs.setAbsolutePosition(4), DaoError);
    EXPECT_TRUE(empty.bof() && empty.eof());
    rs.close();
    EXPECT_FALSE(rs.isOpen());
    EXPECT_THROW(rs.close(), DaoError);
    for (Recordset* unusable : {&empty, &rs}) {
        for (const auto& move : {&Recordset::moveFirst, &Recordset::moveLast, &Recordset::moveNext})
            EXPECT_THROW((unusable->*move)(), DaoError);
        EXPECT_THROW(unusable->value(0), DaoError);
    }
}

// Braced and quoted values as the file providers' connection strings and tests/target use them
// are read there.
TEST(ConnectionString, ReadsTheValueOfAKey) {
    const std::tuple<const char*, const char*, std::optional<QString>> cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/d/a.mdb;", "data source", "/d/a.mdb"},
        {"a=1;b=2", "c", std::nullopt},
        {"PWD={a}}b};UID=u", "UID", "u"},
        {"X=\"say \"\"hi\"\"\";Y=2", "X", "say \"hi\""},
        {"Jet OLEDB:Database Password=  secret ;", "Jet OLEDB:Database Password", "secret"},
        {"Password=;UID=x", "Password", ""},
        {"garbage;Key=v", "Key", "v"},
        {"K={unterminated;rest", "K", "unterminated;rest"},
        {"Straße=ü", "STRASSE", std::nullopt},
        {"A=1;A=2", "a", "1"}};
    for (const auto& [text, key, expected] : cases) {
        EXPECT_EQ(ConnectionString::parse(QString::fromUtf8(text)).value(QString::fromUtf8(key)),
                  expected)
            << text;
    }
}

// Braced values are tests/target's; each file provider is chosen in FileProvidersTest.
TEST(ConnectionString, ChoosesNoProviderForOtherSources) {
    for (const char* other : {"Driver=SQL Server;Server=x", "Provider=SQLOLEDB;Data Source=x", ""})
        EXPECT_EQ(chooseProvider(ConnectionString::parse(other)), std::nullopt) << other;
}

TEST(CodePages, OfLocalesAndLanguageDrivers) {
    const std::pair<QLocale, int> locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), 1252},
        {QLocale(QLocale::Chinese, QLocale::China), 936},
        {QLocale(QLocale::Chinese, QLocale::Taiwan), 950},
        {QLocale(QLocale::Russian, QLocale::Russia), 1251},
        {QLocale(QLocale::Polish, QLocale::Poland), 1250},
        {QLocale::c(), 1252}};
    for (const auto& [locale, codePage] : locales) {
        EXPECT_EQ(ansiCodePageOf(locale), codePage) << locale.name().toStdString();
    }
    const std::pair<std::uint8_t, int> drivers[] = {
        {0x00, 1252}, {0x03, 1252}, {0x57, 1252}, {0x02, 850}, {0x26, 866},  {0x65, 866},
        {0xC8, 1250}, {0xC9, 1251}, {0x7A, 936},  {0x7B, 932}, {0x96, 10007}};
    for (const auto& [id, codePage] : drivers) EXPECT_EQ(codePageOfLanguageDriver(id), codePage);
    for (int id = 0; id < 256; ++id) {  // every other id has a code page that reads ASCII
        EXPECT_EQ(CodePageDecoder(codePageOfLanguageDriver(std::uint8_t(id))).decode("Name 42", 7),
                  "Name 42");
    }
}

TEST(CodePages, UndefinedBytesKeepTheirNumberAndStrictDecodingRefusesBrokenSequences) {
    const struct {
        int codePage;
        QByteArray bytes;
        const char* text;  // UTF-8
        bool strictRefuses;
    } cases[] = {
        {850, "pened\x8As", "penedès", false},
        {10029, "\x8C", "Ć", false},  // Macintosh Central European
        {936, "GBK\xB1\xE0\xC2\xEB", "GBK编码", false},
        {936, "\xD6\xD0\xFF", "中ÿ", true},
        {936, "\xD6\xD0\xB1", "中±", true},  // cut short
        {932, "\x93\xFA\x96\x7B", "日本", false},
        {1200, QByteArray("A\0\xAC\x20", 4), "A€", false},  // UTF-16 as Excel names it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        const CodePageDecoder decoder(c.codePage);
        EXPECT_EQ(decoder.decode(c.bytes.constData(), c.bytes.size()), QString::fromUtf8(c.text));
        const auto strict = decoder.decodeStrict(c.bytes.constData(), c.bytes.size());
        EXPECT_EQ(!strict, c.strictRefuses);
    }
    EXPECT_THROW(CodePageDecoder(12345), DaoError);
}

}  // namespace
