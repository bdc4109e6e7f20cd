// The Access provider: every table of every sample against Debian's mdb-export, and what that
// cannot show.
#include <gtest/gtest.h>

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <QTime>
#include <QtEndian>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <random>

#include "access/MdbTools.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/JetHeader.h"
#include "platform/dao/access/JetValues.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"
#include "support/Streaming.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::dao::access;
using namespace keldara::test;

namespace {

// Jet 3 text is read in the code page of the user's locale. The sample databases are Western
// and mdb-export reads them as Windows-1252, so the tests run under an English locale whatever
// the machine's own is; a test that needs another sets it and restores this one.
class WesternLocale : public ::testing::Environment {
  public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
::testing::Environment* const kWesternLocale =
    ::testing::AddGlobalTestEnvironment(new WesternLocale);

QString mdbFixture(const char* file) {
    return fixturePath(QStringLiteral("mdb/") + QString::fromUtf8(file));
}

class ExportComparison : public ::testing::TestWithParam<std::string> {};

// Every table also read page by page as it is asked for, holding a few records, as loaded.
TEST_P(ExportComparison, EveryTableMatchesMdbExportValueByValueLoadedOrStreamed) {
    const QString path = fixturePath(QString::fromStdString(GetParam()));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    auto connection = openAccess(path, passwordOf(path));
    const QStringList tables = tableNames(*connection);
    const QJsonObject exported = mdbExport(path, {}, {"--mark-unread"});
    const QStringList exportTables = exported["tables"].toVariant().toStringList();
    EXPECT_EQ(QSet<QString>(tables.begin(), tables.end()),
              QSet<QString>(exportTables.begin(), exportTables.end()));
    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        auto records = selectAll(*connection, table);
        ASSERT_TRUE(exported.contains(table));
        QJsonObject theirs = exported[table].toObject();
        QJsonArray rows;
        for (long r = 0; r < theirs["records"].toArray().size(); ++r) {
            const QJsonArray row = theirs["records"][r].toArray();
            QJsonArray cells;
            for (int c = 0; c < row.size(); ++c) {  // beyond ours: an exception fails
                const Value mine = records->valueAt(r, c);
                cells << (row[c].isBool()  // a column mdb-export cannot read
                              ? (mine.isNull() ? QJsonValue() : QJsonValue(mine.standardText()))
                              : oracleCell(records->fieldInfo(c).type, mine, row[c]));
            }
            rows << cells;
        }
        theirs["records"] = rows;
        expectSameAsOracle(*records, theirs);
        expectStreamedAsLoaded(*connection, table);
    }
}

TEST(ExportComparisonInGbk, Jet3TextFollowsTheLocalesCodePage) {
    const char* file = "spannm__ucanaccess/charsetGBK.mdb";
    // Under the Western locale it is compared with mdb-export's Windows-1252 reading above.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const Value chinese =
        selectAll(*openAccess(mdbFixture(file)), QStringLiteral("table1"))->valueAt(0, 1);
    QLocale::setDefault(previous);
    EXPECT_EQ(chinese, Value::text(QStringLiteral("GBK\u7F16\u7801")));
    const QJsonObject exported = mdbExport(mdbFixture(file), {"table1"}, {"--charset=GBK"});
    EXPECT_EQ(exported["table1"]["records"][0][1], chinese.toText());
}

INSTANTIATE_TEST_SUITE_P(AllSampleDatabases, ExportComparison,
                         ::testing::ValuesIn(fixtureFiles("mdb", {"*.mdb"})));
INSTANTIATE_TEST_SUITE_P(AllAccess2007Databases, ExportComparison,
                         ::testing::ValuesIn(fixtureFiles("accdb", {"*.accdb"})));

void expectRefused(const QString& path, const QString& password, const char* reason,
                   DaoError::Number number = DaoError::OpenFailed) {
    const DaoError error = errorOf([&] { openAccess(path, password); });
    EXPECT_EQ(error.number(), number) << reason;
    EXPECT_TRUE(error.description().contains(path) &&
                error.description().contains(QLatin1String(reason)))
        << password.toStdString() << ": " << error.description().toStdString();
}

// A copy of a Jet 3 database whose header carries a database password.
QByteArray withJet3Password(QByteArray database, const QByteArray& password) {
    QByteArray key(4, '\0');
    qToLittleEndian<quint32>(0x6B39DAC7, key.data());
    access::rc4Apply(key, database.data() + 0x18, 126);
    database.replace(0x42, 20, password.leftJustified(20, '\0'));
    access::rc4Apply(key, database.data() + 0x18, 126);
    return database;
}

TEST(AccessPasswords, OpenOnlyWithTheRightPasswordWhenTheDatabaseHasOne) {
    QTemporaryDir dir;
    const QString jet3 = writeFile(
        dir.filePath(QStringLiteral("protected97.mdb")),
        withJet3Password(readAll(mdbFixture("jahlborn__jackcess/testV1997.mdb")), "s3cret"));
    // The database, its password, wrong ones (none: it has no password).
    const std::tuple<QString, const char*, std::vector<const char*>> cases[] = {
        {mdbFixture("spannm__ucanaccess/password.mdb"),
         "ucanaccess",
         {"", "UCANACCESS", "ucanaccesss"}},
        {mdbFixture("andipaetzold__mdb-reader/V2000_with-password.mdb"),
         "password",
         {"", "passwor"}},
        {jet3, "s3cret", {"", "S3CRET"}},
        {mdbFixture("jahlborn__jackcess/test2V1997.mdb"), "anything", {}},
        {mdbFixture("jahlborn__jackcessencrypt/db-enc.mdb"), "x", {}},
    };
    for (const auto& [path, right, wrongs] : cases) {
        EXPECT_NO_THROW(tableNames(*openAccess(path, QString::fromUtf8(right)))) << right;
        for (const char* wrong : wrongs) expectRefused(path, QString::fromUtf8(wrong), "password");
    }
    EXPECT_EQ(selectAll(*openAccess(jet3, QStringLiteral("s3cret")), "Table1")->recordCount(), 2);
}

TEST(AccessOpen, FilesThatAreNotAccessDatabasesAreRefusedWithTheReason) {
    QTemporaryDir dir;
    const QByteArray jet4 = readAll(mdbFixture("jahlborn__jackcess/test2V2000.mdb"));
    QByteArray future = jet4;
    future[0x14] = 7;
    QByteArray futureAce = QByteArray(jet4).replace(4, 15, "Standard ACE DB");
    futureAce[0x14] = 9;
    const std::pair<const char*, QByteArray> cases[] = {
        {"Could not find", QByteArray()},  // a null array: no file is written
        {"too short", QByteArray("")},
        {"not an Access database", QByteArray("ID,Name\n1,one\n").repeated(400)},
        {"Access 2007 to 2019", futureAce},
        {"version", future},
        {"whole number", jet4.left(jet4.size() - 100)},  // a damaged file, not a refused one
    };
    const QString path = dir.filePath(QStringLiteral("bad.mdb"));
    for (const auto& [reason, bytes] : cases) {
        if (!bytes.isNull()) writeFile(path, bytes);
        expectRefused(path, {}, reason,
                      reason == cases[5].first ? DaoError::BadFile : DaoError::OpenFailed);
    }
}

TEST(AccessCatalogue, UserTablesSortedByNameWithoutSystemTables) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    auto nwind = openAccess(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    EXPECT_EQ(tableNames(*nwind),
              QStringList({"Categories", "Customers", "Employees", "Order Details", "Orders",
                           "Products", "Shippers", "Suppliers", QStringLiteral("Umsätze")}));
    const DaoError error = errorOf([&] { selectAll(*nwind, QStringLiteral("MSysObjects")); });
    EXPECT_EQ(error.number(), DaoError::NoSuchTable);
    EXPECT_TRUE(error.description().contains(QLatin1String("'MSysObjects'")));
}

TEST(AccessFields, TypeCodesAndSizesAsTheJetProviderReportsThem) {
    const char* v97 = "jahlborn__jackcess/testV1997.mdb";
    const char* nwind = "mdbtools__mdbtestdata/nwind.mdb";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {v97, "Table1", "A:202/50 B:202/100 C:17/1 D:2/2 E:3/4 F:5/8 G:7/8 H:6/8 I:11/2"},
        {v97, "Table4", "data:72/16"},
        {nwind, "Order Details", "Discount:4/4"},
        {nwind, "Categories", "Description:203/536870910 Picture:205/1073741823"},
        {"mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "ShortTextCol:202/255"},
        {"statdata__Northwind-Databse/Northwind.mdb", "Customers", "CustomerID:202/5"},
        {"jahlborn__jackcess/fixedNumericTestV2000.mdb", "test", "col2:131/19/18,0"},
        {"spannm__ucanaccess/functionsV2000.mdb", "t_funcs", "num:131/19/12,3"},
    };
    QStringList missing;
    for (const auto& [file, table, fields] : cases) {
        if (leaveOutMissing(mdbFixture(file), missing)) continue;
        const auto records = selectAll(*openAccess(mdbFixture(file)), QString::fromUtf8(table));
        QStringList described;  // "name:type/size", and "/precision,scale" for decimals
        for (int i = 0; i < records->fieldCount(); ++i) {
            const FieldInfo& f = records->fieldInfo(i);
            described << QStringLiteral("%1:%2/%3").arg(f.name).arg(f.type).arg(f.definedSize);
            if (f.precision != 0 || f.numericScale != 0)
                described.last() += QStringLiteral("/%1,%2").arg(f.precision).arg(f.numericScale);
        }
        for (const QString& field : QString::fromUtf8(fields).split(u' ')) {
            EXPECT_TRUE(described.contains(field))
                << field.toStdString() << " not in " << described.join(u' ').toStdString();
        }
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join(u' ').toStdString();
}

// A damaged usage map reference (libmdb follows it unchecked) refuses the table, or the file
// when it is the catalogue's, with the reason.
TEST(DamagedTableDefinition, ABadUsageMapReferenceRefusesTheTableOrTheFile) {
    const char* jet3 = "jahlborn__jackcess/testV1997.mdb";
    const char* jet4 = "jahlborn__jackcess/test2V2000.mdb";
    // The file, where (page * page size + offset; page 2 holds the catalogue's definition) which
    // bytes go, the table then read (none: the catalogue), the reason.
    const std::tuple<const char*, int, QByteArray, const char*, const char*> cases[] = {
        {jet3, 2 * 2048 + 35, "\xFF", nullptr, "usage map its page does not hold"},
        {jet4, 15 * 4096 + 55, "\xFF", "MSP_PROJECTS", "usage map its page does not hold"},
        {jet4, 15 * 4096 + 56, "\xFF\xFF\x7F", "MSP_PROJECTS", "usage map outside the file"}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.mdb"));
    for (const auto& [file, at, bytes, table, reason] : cases) {
        writeFile(path, readAll(mdbFixture(file)).replace(at, bytes.size(), bytes));
        const std::string outcome = outcomeUnderLimits(
            [&] {
                auto connection = openAccess(path);
                if (table) selectAll(*connection, QString::fromUtf8(table));
                return std::string();
            },
            512, 60);
        const std::string named =
            table ? "table '" + std::string(table) + "' " : std::string("table catalogue ");
        EXPECT_TRUE(outcome.starts_with("error: ") &&
                    outcome.find(path.toStdString()) != std::string::npos &&
                    outcome.find(named + "refers to a " + reason) != std::string::npos)
            << file << " at " << at << ": " << outcome;
    }
}

// Makes every chained long-value row of the database point back to itself.
QByteArray withLongValueLoop(QByteArray database, int pageSize, int rowCountOffset) {
    int patched = 0;
    for (qsizetype page = 1; page * pageSize < database.size(); ++page) {
        char* data = database.data() + page * pageSize;
        if (data[0] != 0x01 || QByteArray(data + 4, 4) != "LVAL") continue;
        const int rows = qFromLittleEndian<quint16>(data + rowCountOffset);
        for (int row = 0; row < rows; ++row) {
            const int start =
                qFromLittleEndian<quint16>(data + rowCountOffset + 2 + 2 * row) & 0x1FFF;
            if (start + 4 > pageSize || qFromLittleEndian<quint32>(data + start) == 0) continue;
            qToLittleEndian<quint32>(static_cast<quint32>(page << 8 | row), data + start);
            ++patched;
        }
    }
    return patched > 0 ? database : QByteArray();
}

TEST(DamagedLongValues, ALoopInAChainOfPagesIsAnErrorNotAHang) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    QTemporaryDir dir;
    const QByteArray looped =
        withLongValueLoop(readAll(mdbFixture("mdbtools__mdbtestdata/nwind.mdb")), 2048, 8);
    ASSERT_FALSE(looped.isEmpty());
    const QString path = writeFile(dir.filePath(QStringLiteral("loop.mdb")), looped);
    auto connection = openAccess(path);
    int broken = 0;  // the tables with pictures and long memos
    for (const QString& table : tableNames(*connection)) {
        try {
            selectAll(*connection, table);
        } catch (const DaoError& error) {
            ++broken;
            EXPECT_TRUE(error.description().contains(path) &&
                        error.description().contains(QLatin1String("broken chain")))
                << error.description().toStdString();
        }
    }
    EXPECT_GE(broken, 2);
}

TEST(JetDates, StoredDaysBecomeTheRightKindAndParts) {
    using enum ValueKind;
    const std::tuple<double, ValueKind, keldara::dao::DateTime> cases[] = {
        {0.0, Date, {1899, 12, 30}},
        {0.25 + 1.0 / 86400, Time, {1899, 12, 30, 6, 0, 1}},
        {-1.25, DateTime, {1899, 12, 29, 6}},
        {-0.5, Time, {1899, 12, 30, 12}},
        {60.0, Date, {1900, 2, 28}},
        {61.0, Date, {1900, 3, 1}},
        {37947.946504629629, DateTime, {2003, 11, 22, 22, 42, 58}},
        {0.99999999999, Date, {1899, 12, 31}},
        {1.5 + 0.123 / 86400, DateTime, {1899, 12, 31, 12, 0, 0, 123000}},
        {2958465.0, Date, {9999, 12, 31}},
        {2958465.0 + 86399.0 / 86400, DateTime, {9999, 12, 31, 23, 59, 59}},
        {-657434.0, Date, {100, 1, 1}}};
    for (const auto& [days, kind, expected] : cases) {
        const auto value = dateValue(days);
        ASSERT_TRUE(value) << days;
        EXPECT_EQ(value->kind(), kind) << days;
        EXPECT_EQ(value->toDateTime(), expected) << days;
    }
    for (double outside : {-657435.0, 2958466.0, std::nan(""), HUGE_VAL, 1e300}) {
        EXPECT_FALSE(dateValue(outside)) << outside;
    }
    const QDate zero(1899, 12, 30);  // and every whole day agrees with the Gregorian calendar
    for (qint64 day = -657434; day <= 2958465; day += 997) {
        const keldara::dao::DateTime got = dateValue(static_cast<double>(day))->toDateTime();
        ASSERT_EQ(QDate(got.year, got.month, got.day), zero.addDays(day)) << day;
    }
}

TEST(JetNumbers, CurrencyDecimalAndSingleAreExact) {
    const std::pair<qint64, const char*> currencies[] = {
        {35000, "3.5"}, {-1, "-0.0001"}, {INT64_MIN, "-922337203685477.5808"}};
    for (const auto& [stored, text] : currencies) EXPECT_EQ(currencyText(stored), text);
    // Sign, then four 32-bit words of the magnitude, most significant first.
    const auto decimal = [](bool negative, std::array<quint32, 4> words, int scale) {
        unsigned char bytes[17] = {static_cast<unsigned char>(negative ? 0x80 : 0)};
        for (int i = 0; i < 4; ++i) qToLittleEndian(words[i], bytes + 1 + 4 * i);
        return decimalText(bytes, scale);
    };
    EXPECT_EQ(decimal(false, {0, 0, 0, 5}, 2), QStringLiteral("0.05"));
    EXPECT_EQ(decimal(true, {0, 0, 0, 0}, 2), QStringLiteral("0"));
    const std::array<quint32, 4> largest{0, 0x204FCE5E, 0x3E250261, 0x0FFFFFFF};  // 10^28 - 1
    EXPECT_EQ(decimal(false, largest, 0), QStringLiteral("9999999999999999999999999999"));
    EXPECT_EQ(decimal(false, largest, 28), QStringLiteral("0.9999999999999999999999999999"));
    // A single becomes the double of its shortest text.
    for (const auto& [single, expected] : {std::pair{0.15f, 0.15},
                                           {444.555f, 444.555},
                                           {16777216.0f, 16777216.0},
                                           {1e-45f, 1e-45}}) {
        EXPECT_EQ(singleAsDouble(single), expected);
    }
    // A calculated Decimal read as a Double is the nearest double to its text, bit for bit,
    // for magnitudes of every width and every scale.
    std::mt19937_64 random(37);
    for (int i = 0; i < 200000; ++i) {
        unsigned char stored[16] = {0, 0, static_cast<unsigned char>(random() % 29),
                                    static_cast<unsigned char>(random() % 2 ? 0x80 : 0)};
        const int bits = 1 + static_cast<int>(random() % 96);
        const quint64 low = bits >= 64 ? random() : random() & ((quint64{1} << bits) - 1);
        const quint32 high = bits > 64 ? static_cast<quint32>(random() >> (128 - bits)) : 0;
        qToLittleEndian(high, stored + 4);
        qToLittleEndian(static_cast<quint32>(low), stored + 8);
        qToLittleEndian(static_cast<quint32>(low >> 32), stored + 12);
        const QByteArray text = storedDecimalText(stored)->toLatin1();
        double nearest = 0;
        std::from_chars(text.constData(), text.constData() + text.size(), nearest);
        ASSERT_EQ(std::bit_cast<quint64>(*storedDecimalNumber(stored)),
                  std::bit_cast<quint64>(nearest))
            << text.constData();
    }
}

// Where mdb-export falls short: it prints dates before 1900 and in year 9999 as
// "1900-01-00 00:00:00", and cannot tell a zero-length text from Null nor a single from its
// double.
TEST(AccessValues, DatesOfAnyYearNullsAndSingles) {
    const QString dates = mdbFixture("mdbtools__mdbtestdata/DateTestDatabase.mdb");
    const QString nwind = mdbFixture("mdbtools__mdbtestdata/nwind.mdb");
    KELDARA_SKIP_WITHOUT_FIXTURE(dates);
    KELDARA_SKIP_WITHOUT_FIXTURE(nwind);
    const std::pair<long, std::array<int, 3>> yearsOfRows[] = {
        {1, {9999, 9999, 9999}}, {2, {1898, 1899, 1900}}, {3, {632, 633, 634}}};
    Table t = readTable(dates, "DateTest");
    for (const auto& [row, years] : yearsOfRows) {
        int i = 0;
        for (const char* field : {"DateTimeCol", "DateCol", "TimeCol"})
            EXPECT_EQ(t.values[field].at(row), Value::date(years[i++], 1, 1)) << row << field;
    }
    EXPECT_TRUE(readTable(nwind, "Customers").values["Region"].at(0).isNull());
    EXPECT_EQ(readTable(nwind, "Order Details").values["Discount"].at(6), Value::floating(0.15));
}

}  // namespace
