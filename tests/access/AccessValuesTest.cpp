// Exact values: dates of any year, currency and decimal, singles, text in code pages, long values.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QtEndian>
#include <cmath>

#include "access/AccessFixtures.h"
#include "access/MdbExport.h"
#include "platform/dao/access/JetText.h"
#include "platform/dao/access/JetValues.h"

using namespace keldara::dao;
using namespace keldara::dao::access;
using namespace keldara::test;

namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int us = 0) {
    return DateTime{y, mo, d, h, mi, s, us};
}

TEST(JetDates, StoredDaysBecomeTheRightKindAndParts) {
    struct Case {
        double days;
        ValueKind kind;
        DateTime expected;
    };
    const Case cases[] = {
        {0.0, ValueKind::Date, at(1899, 12, 30)},
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
        {-657434.0, ValueKind::Date, at(100, 1, 1)},
    };
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
    EXPECT_EQ(decimal(true, 0, 0, 0, 1110554, 3), QStringLiteral("-1110.554"));
    EXPECT_EQ(decimal(false, 0, 0, 0, 4, 0), QStringLiteral("4"));
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

TEST(JetText, CompressedAndPlainUnicode) {
    const QByteArray compressed(
        "\xFF\xFE"
        "ab\x00\x1F\x04\x00"
        "c",
        9);
    EXPECT_EQ(decodeJet4Text(compressed.constData(), compressed.size()),
              QStringLiteral("ab\u041Fc"));
    const QByteArray plain("M\x00\x38\x04", 4);
    EXPECT_EQ(decodeJet4Text(plain.constData(), plain.size()), QStringLiteral("M\u0438"));
}

TEST(JetText, CodePagesOfLocalesAndStrictDecoding) {
    EXPECT_EQ(ansiCodePageOf(QLocale(QLocale::English, QLocale::UnitedStates)), 1252);
    EXPECT_EQ(ansiCodePageOf(QLocale(QLocale::Chinese, QLocale::China)), 936);
    EXPECT_EQ(ansiCodePageOf(QLocale(QLocale::Chinese, QLocale::Taiwan)), 950);
    EXPECT_EQ(ansiCodePageOf(QLocale(QLocale::Russian, QLocale::Russia)), 1251);
    EXPECT_EQ(ansiCodePageOf(QLocale(QLocale::Polish, QLocale::Poland)), 1250);
    EXPECT_EQ(ansiCodePageOf(QLocale::c()), 1252);

    const QByteArray bytes("\x80\x81\xE9", 3);
    EXPECT_EQ(CodePageDecoder(1252).decode(bytes.constData(), bytes.size()),
              QStringLiteral("\u20AC\u0081\u00E9"));
    const QByteArray gbk("GBK\xB1\xE0\xC2\xEB", 7);
    EXPECT_EQ(CodePageDecoder(936).decode(gbk.constData(), gbk.size()),
              QStringLiteral("GBK\u7F16\u7801"));
    EXPECT_FALSE(CodePageDecoder(936).decode(gbk.constData(), gbk.size() - 1));
}

Value cell(const QString& file, const QString& table, long row, const QString& field) {
    auto records =
        openAccess(mdbFixture(file.toUtf8().constData()))
            ->openRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
    for (int i = 0; i < records->fieldCount(); ++i) {
        if (records->fieldInfo(i).name == field) return records->valueAt(row, i);
    }
    ADD_FAILURE() << "no field " << field.toStdString();
    return {};
}

// mdb-export prints these as "1900-01-00 00:00:00"; the stored values are asserted here.
TEST(AccessValues, DatesBefore1900AndInYear9999) {
    const QString file = QStringLiteral("mdbtools__mdbtestdata/DateTestDatabase.mdb");
    const struct {
        long row;
        const char* field;
        DateTime expected;
    } cases[] = {
        {1, "DateTimeCol", at(9999, 1, 1)}, {1, "DateCol", at(9999, 1, 1)},
        {1, "TimeCol", at(9999, 1, 1)},     {2, "DateTimeCol", at(1898, 1, 1)},
        {2, "DateCol", at(1899, 1, 1)},     {2, "TimeCol", at(1900, 1, 1)},
        {3, "DateTimeCol", at(632, 1, 1)},  {3, "DateCol", at(633, 1, 1)},
        {3, "TimeCol", at(634, 1, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + c.field);
        const Value value =
            cell(file, QStringLiteral("DateTest"), c.row, QString::fromLatin1(c.field));
        EXPECT_EQ(value.kind(), ValueKind::Date);
        EXPECT_EQ(value.toDateTime(), c.expected);
    }
    EXPECT_EQ(cell(file, QStringLiteral("DateTest"), 5, QStringLiteral("LongTextCol")),
              Value::text(QStringLiteral("New line\r\nin field")));
}

TEST(AccessValues, ExactNumbersAndDateTimes) {
    const QString funcs = QStringLiteral("spannm__ucanaccess/functionsV2000.mdb");
    EXPECT_EQ(cell(funcs, QStringLiteral("t_funcs"), 0, QStringLiteral("num")),
              Value::decimal(QStringLiteral("-1110.554")));
    EXPECT_EQ(cell(funcs, QStringLiteral("t_funcs"), 0, QStringLiteral("date0")),
              Value::dateTime(at(2003, 11, 22, 22, 42, 58)));
    const QString v97 = QStringLiteral("jahlborn__jackcess/testV1997.mdb");
    EXPECT_EQ(cell(v97, QStringLiteral("Table1"), 1, QStringLiteral("H")),
              Value::decimal(QStringLiteral("3.5")));
    EXPECT_EQ(cell(v97, QStringLiteral("Table1"), 1, QStringLiteral("F")),
              Value::floating(444.555));
    EXPECT_EQ(cell(v97, QStringLiteral("Table1"), 1, QStringLiteral("I")), Value::boolean(true));
    EXPECT_EQ(cell(v97, QStringLiteral("Table1"), 0, QStringLiteral("I")), Value::boolean(false));
    EXPECT_EQ(cell(v97, QStringLiteral("Table1"), 1, QStringLiteral("G")),
              Value::date(1974, 9, 21));
    EXPECT_EQ(cell(QStringLiteral("mdbtools__mdbtestdata/nwind.mdb"),
                   QStringLiteral("Order Details"), 6, QStringLiteral("Discount")),
              Value::floating(0.15));
}

TEST(AccessValues, LongValuesInFullAndNulls) {
    const QString nwind = QStringLiteral("mdbtools__mdbtestdata/nwind.mdb");
    const Value photo = cell(nwind, QStringLiteral("Employees"), 0, QStringLiteral("Photo"));
    ASSERT_EQ(photo.kind(), ValueKind::Bytes);
    EXPECT_GT(photo.toBytes().size(), 4 * 2048);  // spread over a chain of pages
    const Value author =
        cell(QStringLiteral("jahlborn__jackcess/test2V1997.mdb"), QStringLiteral("MSP_PROJECTS"), 0,
             QStringLiteral("PROJ_PROP_AUTHOR"));
    EXPECT_GT(author.toText().size(), 255);
    EXPECT_TRUE(cell(nwind, QStringLiteral("Customers"), 0, QStringLiteral("Region")).isNull());
}

TEST(AccessValues, Jet3TextFollowsTheLocalesCodePage) {
    const QString file = QStringLiteral("spannm__ucanaccess/charsetGBK.mdb");
    EXPECT_EQ(cell(file, QStringLiteral("table1"), 0, QStringLiteral("field1")),
              Value::text(QStringLiteral("GBK\u00B1\u00E0\u00C2\u00EB")));
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const Value chinese = cell(file, QStringLiteral("table1"), 0, QStringLiteral("field1"));
    QLocale::setDefault(previous);
    EXPECT_EQ(chinese, Value::text(QStringLiteral("GBK\u7F16\u7801")));
    const ExportedTable exported =
        mdbExport(mdbFixture(file.toUtf8().constData()), QStringLiteral("table1"), "GBK");
    ASSERT_EQ(exported.rows.size(), 1u);
    EXPECT_EQ(exported.rows[0][1], chinese.toText());
}

}  // namespace
