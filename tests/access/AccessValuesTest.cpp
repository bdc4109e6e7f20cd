// Exact values: dates of any year, currency and decimal, singles, text in code pages, long values.
#include <gtest/gtest.h>

#include <QDate>
#include <QtEndian>
#include <array>
#include <cmath>

#include "access/AccessFixtures.h"
#include "platform/dao/access/JetValues.h"

using namespace keldara::dao;
using namespace keldara::dao::access;
using namespace keldara::test;

namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int us = 0) {
    return DateTime{y, mo, d, h, mi, s, us};
}

TEST(JetDates, StoredDaysBecomeTheRightKindAndParts) {
    const struct {
        double days;
        ValueKind kind;
        DateTime expected;
    } cases[] = {{0.0, ValueKind::Date, at(1899, 12, 30)},
                 {0.5, ValueKind::Time, at(1899, 12, 30, 12)},
                 {0.25 + 1.0 / 86400, ValueKind::Time, at(1899, 12, 30, 6, 0, 1)},
                 {1.0, ValueKind::Date, at(1899, 12, 31)},
                 {-1.25, ValueKind::DateTime, at(1899, 12, 29, 6)},
                 {-0.5, ValueKind::Time, at(1899, 12, 30, 12)},
                 {2.0, ValueKind::Date, at(1900, 1, 1)},
                 {60.0, ValueKind::Date, at(1900, 2, 28)},
                 {61.0, ValueKind::Date, at(1900, 3, 1)},
                 {37947.946504629629, ValueKind::DateTime, at(2003, 11, 22, 22, 42, 58)},
                 {0.99999999999, ValueKind::Date, at(1899, 12, 31)},
                 {1.5 + 0.123 / 86400, ValueKind::DateTime, at(1899, 12, 31, 12, 0, 0, 123000)},
                 {2958465.0, ValueKind::Date, at(9999, 12, 31)},
                 {2958465.0 + 86399.0 / 86400, ValueKind::DateTime, at(9999, 12, 31, 23, 59, 59)},
                 {-657434.0, ValueKind::Date, at(100, 1, 1)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.days);
        const auto value = dateValue(c.days);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->kind(), c.kind);
        EXPECT_EQ(value->toDateTime(), c.expected);
    }
    for (double outside : {-657435.0, 2958466.0, std::nan(""), HUGE_VAL, 1e300}) {
        EXPECT_FALSE(dateValue(outside)) << outside;
    }
}

TEST(JetDates, EveryWholeDayAgreesWithTheGregorianCalendar) {
    const QDate zero(1899, 12, 30);
    for (qint64 day = -657434; day <= 2958465; day += 997) {
        const QDate expected = zero.addDays(day);
        const DateTime got = dateValue(static_cast<double>(day))->toDateTime();
        ASSERT_EQ(QDate(got.year, got.month, got.day), expected) << day;
    }
}

TEST(JetNumbers, CurrencyAndDecimalAreExact) {
    EXPECT_EQ(currencyText(35000), QStringLiteral("3.5"));
    EXPECT_EQ(currencyText(0), QStringLiteral("0"));
    EXPECT_EQ(currencyText(-1), QStringLiteral("-0.0001"));
    EXPECT_EQ(currencyText(INT64_MIN), QStringLiteral("-922337203685477.5808"));
    EXPECT_EQ(currencyText(INT64_MAX), QStringLiteral("922337203685477.5807"));

    const auto decimal = [](bool negative, quint32 w0, quint32 w1, quint32 w2, quint32 w3,
                            int scale) {
        unsigned char bytes[17] = {static_cast<unsigned char>(negative ? 0x80 : 0)};
        const quint32 words[4] = {w0, w1, w2, w3};
        for (int i = 0; i < 4; ++i) qToLittleEndian(words[i], bytes + 1 + 4 * i);
        return decimalText(bytes, scale);
    };
    EXPECT_EQ(decimal(false, 0, 0, 0, 5, 2), QStringLiteral("0.05"));
    EXPECT_EQ(decimal(true, 0, 0, 0, 0, 2), QStringLiteral("0"));
    // 10^28 - 1, the largest Jet decimal.
    EXPECT_EQ(decimal(false, 0, 0x204FCE5E, 0x3E250261, 0x0FFFFFFF, 0),
              QStringLiteral("9999999999999999999999999999"));
    EXPECT_EQ(decimal(false, 0, 0x204FCE5E, 0x3E250261, 0x0FFFFFFF, 28),
              QStringLiteral("0.9999999999999999999999999999"));
}

TEST(JetNumbers, SingleIsTheDoubleOfItsShortestText) {
    EXPECT_EQ(singleAsDouble(0.15f), 0.15);
    EXPECT_EQ(singleAsDouble(444.555f), 444.555);
    EXPECT_EQ(singleAsDouble(16777216.0f), 16777216.0);
    EXPECT_EQ(singleAsDouble(1e-45f), 1e-45);
}

Value cell(const char* file, const char* table, long row, const char* field) {
    auto records = selectAll(*openAccess(mdbFixture(file)), QString::fromUtf8(table));
    for (int i = 0; i < records->fieldCount(); ++i) {
        if (records->fieldInfo(i).name == QLatin1String(field)) return records->valueAt(row, i);
    }
    ADD_FAILURE() << "no field " << field;
    return {};
}

// mdb-export prints these dates as "1900-01-00 00:00:00".
TEST(AccessValues, DatesBefore1900AndInYear9999) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/DateTestDatabase.mdb"));
    const char* fields[] = {"DateTimeCol", "DateCol", "TimeCol"};
    const std::pair<long, std::array<int, 3>> yearsOfRows[] = {
        {1, {9999, 9999, 9999}}, {2, {1898, 1899, 1900}}, {3, {632, 633, 634}}};
    for (const auto& [row, years] : yearsOfRows) {
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::to_string(row) + fields[i]);
            const Value value =
                cell("mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", row, fields[i]);
            EXPECT_EQ(value.kind(), ValueKind::Date);
            EXPECT_EQ(value.toDateTime(), at(years[i], 1, 1));
        }
    }
}

// mdb-export cannot tell these apart: a zero-length text from Null, a single from its double.
TEST(AccessValues, NullsAndSinglesExactly) {
    KELDARA_SKIP_WITHOUT_FIXTURE(mdbFixture("mdbtools__mdbtestdata/nwind.mdb"));
    EXPECT_TRUE(cell("mdbtools__mdbtestdata/nwind.mdb", "Customers", 0, "Region").isNull());
    EXPECT_EQ(cell("mdbtools__mdbtestdata/nwind.mdb", "Order Details", 6, "Discount"),
              Value::floating(0.15));
}

}  // namespace
