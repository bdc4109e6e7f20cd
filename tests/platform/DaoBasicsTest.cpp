// The data-access basics the providers share: values and their literals and display texts,
// recordsets and their storage, connection strings and the choice of provider, code pages, and
// the rules every file provider keeps.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <vector>

#include "platform/dao/CodePages.h"
#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Readers.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

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

// The standard text written straight into UTF-8 bytes, as a bulk transfer sends it, is the
// standard text: every kind, the edges of plain and exponent notation, parts too wide for their
// digits, other scripts, and a spread of doubles from many magnitudes. A text is written so
// from its column's store too, stored from a QString or from UTF-8, and reads back as it was.
TEST(StandardText, InUtf8IsTheStandardText) {
    std::vector<Value> values = {
        Value::null(),
        Value::boolean(true),
        Value::integer(-9223372036854775807LL - 1),
        Value::floating(0.0),
        Value::floating(-0.0),
        Value::floating(1e-7),
        Value::floating(9.99e-8),
        Value::floating(9999999999999998.0),
        Value::floating(1e16),
        Value::floating(-0.1 - 0.2),
        Value::floating(5e-324),
        Value::decimal("-12.50"),
        Value::date(33, 2, 1),
        Value::date(12345, 1, 1),
        Value::time(7, 5, 3, 250000),
        Value::dateTime({2024, 2, 29, 23, 59, 59, 999999}),
        Value::dateTime({1, 1, 1, 0, 0, 0, 0}),
        Value::text(QString::fromUtf8("plain, Zo\xC3\xAB \xE6\x9D\xB1 \xF0\x9F\x98\x80 end")),
        Value::text(QString::fromUtf8("Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m \xC3\xBF")),
        Value::text(QStringLiteral("ascii\tonly")),
        Value::text(QString()),
        Value::text(QStringLiteral("")),
        Value::bytes(QByteArray("\x01\xFF", 2))};
    // One character beyond ASCII after every count of ASCII ones that a word-wise look may
    // reach it by: within a word, in the last one, or where the last overlaps the one before.
    for (int ascii = 0; ascii <= 17; ++ascii)
        values.push_back(Value::text(QString(ascii, QLatin1Char('x')) + QChar(0xE9)));
    std::uint64_t bits = 0x9E3779B97F4A7C15ULL;
    for (int i = 0; i < 20000; ++i) {
        bits = bits * 6364136223846793005ULL + 1442695040888963407ULL;
        const double mantissa = static_cast<double>(bits >> 11) / 9007199254740992.0;
        values.push_back(
            Value::floating((i % 2 ? -1 : 1) * mantissa * std::pow(10.0, i % 40 - 20)));
    }
    Column column;
    for (const Value& value : values) {
        QByteArray utf8 = "before:";
        value.appendStandardUtf8(utf8);
        ASSERT_EQ(utf8, "before:" + value.standardText().toUtf8())
            << value.standardText().toStdString();
        column.append(value);
        QByteArray stored = "before:";
        if (column.appendTextUtf8(column.size() - 1, stored)) {
            EXPECT_EQ(stored, utf8);
        } else {
            EXPECT_TRUE(value.kind() != ValueKind::Text || value.toText().isNull())
                << value.standardText().toStdString();
        }
        if (value.kind() == ValueKind::Text && !value.toText().isNull()) {
            Column fromUtf8;
            fromUtf8.appendUtf8Text(value.toText().toStdString());
            EXPECT_EQ(fromUtf8.at(0), value);
            QByteArray again = "before:";
            EXPECT_TRUE(fromUtf8.appendTextUtf8(0, again));
            EXPECT_EQ(again, utf8);
        }
    }
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

// (tests/source steps through records with the window's buttons, from past either end too.)
TEST(Recordset, RefusesToMovePastEitherEndOrWhenEmptyOrClosed) {
    Recordset rs({{"n", adType::Integer, 4}}), empty({{"n", adType::Integer, 4}});
    for (int i = 1; i <= 3; ++i) rs.appendRow(std::array{Value::integer(i)});
    rs.moveLast();
    rs.moveNext();
    EXPECT_TRUE(rs.eof() && rs.absolutePosition() == Recordset::AdPosEOF);
    EXPECT_THROW(rs.moveNext(), DaoError);
    EXPECT_THROW(rs.field(0), DaoError);
    rs.moveFirst();
    rs.movePrevious();
    EXPECT_TRUE(rs.bof() && !rs.eof() && rs.absolutePosition() == Recordset::AdPosBOF);
    EXPECT_THROW(rs.movePrevious(), DaoError);
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

// Columns start with four-byte payloads and widen when a value needs eight; texts fill
// several blocks of the column's text store. Every value must come back as it went in, also
// from two columns put one after the other. Columns of different lengths make no recordset.
TEST(RecordsetStorage, KeepsValuesAcrossWideningAndManyTexts) {
    std::vector<Value> values;
    for (int i = 0; i < 20000; ++i) {
        values.push_back(Value::integer(-i));
        values.push_back(Value::text(QStringLiteral("Zeile %1 \u00e9").arg(i)));
        values.push_back(Value::date(2024, 1 + i % 12, 1 + i % 28));
    }
    values.push_back(Value::integer(-(std::int64_t{1} << 40)));
    values.push_back(Value::dateTime({2024, 2, 29, 23, 59, 58, 123456}));
    values.push_back(Value::text(QString::fromUtf8("\xE6\xBC\xA2 \xF0\x9F\x98\x80")));
    values.push_back(Value::text(QString()));
    values.push_back(Value::text(QString(70000, QLatin1Char('x'))));

    Recordset rs({{"v", adType::Variant, 0}});
    for (const Value& v : values) rs.appendRow(std::span(&v, 1));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Value stored = rs.valueAt(static_cast<long>(i), 0);
        ASSERT_EQ(stored, values[i]) << "row " << i;
        if (values[i].kind() == ValueKind::Text) {
            EXPECT_EQ(stored.toText().isNull(), values[i].toText().isNull()) << "row " << i;
        }
    }
    // Two columns put one after the other hold the values of both, whichever part held the
    // wide payloads and the texts: the values up to `end`, cut at `cut`.
    const std::size_t all = values.size();
    const std::size_t wideInteger = all - 5;
    const std::pair<std::size_t, std::size_t> parts[] = {
        {wideInteger, wideInteger / 2}, {all, 0},  {all, 2}, {all, all / 2}, {all, wideInteger},
        {all, wideInteger + 1},         {all, all}};
    for (const auto& [end, cut] : parts) {
        Column front;
        Column back;
        for (std::size_t i = 0; i < end; ++i) (i < cut ? front : back).append(values[i]);
        front.appendColumn(std::move(back));
        ASSERT_EQ(front.size(), end);
        for (std::size_t i = 0; i < end; ++i)
            ASSERT_EQ(front.at(i), values[i]) << "cut " << cut << ", row " << i;
    }
    std::vector<Column> columns(2);
    columns[0].append(Value::integer(1));
    EXPECT_THROW(Recordset({{"a"}, {"b"}}, std::move(columns)), std::invalid_argument);
}

// Braced and quoted values as the file providers' connection strings and tests/target use them
// are read there.
TEST(ConnectionString, ReadsTheValueOfAKeyAndChoosesTheProvider) {
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
    // Other sources have no provider (each file provider is chosen in FileProviders below).
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

// Every file provider: a connection opens its source and refuses work when closed, lists its
// tables, finds a table by name in any letter case, names a missing one, and reads whole tables
// only.
TEST(FileProviders, ConnectionsFindTablesReadWholeTablesAndRefuseWorkWhenClosed) {
    QTemporaryDir dir;
    // A source file, a table, the same table in other letter case.
    const std::tuple<QString, QString, QString> providers[] = {
        {dataPath("mdb/jahlborn__jackcess/testV1997.mdb"), "Table1", "tABLE1"},
        {dataPath("xls/tidyverse__readxl/geometry.xls"), "Sheet1$", "sheet1$"},
        {dataPath("dbf/olemb__dbfread/people.dbf"), "people.dbf", "PEOPLE"},
        {writeFile(dir.filePath("orders.csv"), "id,item\n1,pen\n2,ink\n"), "orders.csv",
         "Orders#CSV"},
    };
    for (const auto& [file, table, otherCase] : providers) {
        SCOPED_TRACE(table.toStdString());
        const QString source = keldara::source::SourceConnectionString(file, {});
        auto connection = createConnection(source);
        EXPECT_FALSE(connection->isOpen());
        EXPECT_EQ(errorOf([&] { connection->close(); }).number(), DaoError::NotOpen);
        connection->open(source);
        EXPECT_TRUE(connection->isOpen());
        EXPECT_EQ(connection->openTableCatalogue()->fieldInfo(0).name, "TABLE_NAME");
        EXPECT_TRUE(tableNames(*connection).contains(table));
        const auto read = [&](const QString& name) { return selectAll(*connection, name); };
        const long records = read(table)->recordCount();
        EXPECT_GT(records, 0);
        EXPECT_EQ(read(otherCase)->recordCount(), records);
        const DaoError missing = errorOf([&] { read(QStringLiteral("missing")); });
        EXPECT_EQ(missing.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(missing.description().contains(QLatin1String("missing")));
        EXPECT_EQ(
            errorOf([&] { connection->openRecordset("SELECT id FROM [" + table + ']'); }).number(),
            DaoError::BadQuery);
        EXPECT_EQ(errorOf([&] { connection->execute("DELETE FROM [" + table + ']'); }).number(),
                  DaoError::BadQuery);
        connection->close();
        EXPECT_FALSE(connection->isOpen());
        for (const std::function<void()>& action : std::initializer_list<std::function<void()>>{
                 [&] { connection->close(); }, [&] { connection->openTableCatalogue(); },
                 [&] { read(table); }}) {
            EXPECT_EQ(errorOf(action).number(), DaoError::NotOpen);
        }
        connection->open(source);  // the same object opens again
        EXPECT_EQ(read(table)->recordCount(), records);
    }
}

}  // namespace
