#include <gtest/gtest.h>

#include <QLocale>

#include "platform/dao/Value.h"

using namespace keldara::dao;

namespace {

struct LiteralCase {
    Value value;
    const char* literal;
};

class SqlLiterals : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(SqlLiterals, AreWhatMySqlReadsBack) {
    EXPECT_EQ(GetParam().value.sqlLiteral(), QString::fromUtf8(GetParam().literal));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, SqlLiterals,
    ::testing::Values(
        LiteralCase{Value::null(), "NULL"}, LiteralCase{Value::text(""), "''"},
        LiteralCase{Value::text("NULL"), "'NULL'"}, LiteralCase{Value::boolean(true), "'1'"},
        LiteralCase{Value::boolean(false), "'0'"}, LiteralCase{Value::integer(-42), "'-42'"},
        LiteralCase{Value::floating(1234567.25), "'1234567.25'"},
        LiteralCase{Value::floating(0.1), "'0.1'"},
        LiteralCase{Value::floating(0.0009), "'0.0009'"},
        LiteralCase{Value::floating(-123456789012345.6), "'-123456789012345.6'"},
        LiteralCase{Value::floating(1e300), "'1e+300'"},
        LiteralCase{Value::floating(2.5e-10), "'2.5e-10'"},
        LiteralCase{Value::decimal("-1110.554"), "'-1110.554'"},
        LiteralCase{Value::date(1899, 12, 30), "'1899-12-30'"},
        LiteralCase{Value::date(33, 2, 1), "'0033-02-01'"},
        LiteralCase{Value::time(7, 5, 3), "'07:05:03'"},
        LiteralCase{Value::time(7, 5, 3, 250000), "'07:05:03.25'"},
        LiteralCase{Value::dateTime({2003, 11, 22, 22, 42, 58, 0}), "'2003-11-22 22:42:58'"},
        LiteralCase{Value::text("O'Brien \"x\" a\\b\nc\rd"),
                    "'O\\'Brien \\\"x\\\" a\\\\b\\nc\\rd'"},
        LiteralCase{Value::text(QString(QChar(0)) + QChar(0x1a)), "'\\0\\Z'"},
        LiteralCase{Value::text(QString::fromUtf8("Luleå")), "'Luleå'"},
        LiteralCase{Value::bytes(QByteArray("\x01\xab", 2)), "X'01AB'"}));

TEST(ValueDisplay, FollowsTheLocaleAndShowsNullAsEmpty) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Value::null().displayText(), "");
    EXPECT_EQ(Value::boolean(true).displayText(), "True");
    EXPECT_EQ(Value::boolean(false).displayText(), "False");
    EXPECT_EQ(Value::floating(1234.5).displayText(), "1234,5");
    EXPECT_EQ(Value::decimal("-3.50").displayText(), "-3,50");
    EXPECT_EQ(Value::integer(1234567).displayText(), "1234567");
    EXPECT_EQ(Value::time(13, 5, 9).displayText(), "13:05:09");
    QLocale::setDefault(saved);
}

// Dates keep the locale's order but always show four-digit years; a date-time on the zero
// date is a time of day and shows as one.
TEST(ValueDisplay, DatesShowFourDigitYearsAndZeroDateTimesOnlyTheirTime) {
    const QLocale saved;
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const struct {
        QLocale locale;
        Value value;
        QString expected;
    } cases[] = {
        {us, Value::date(1898, 3, 9), "3/9/1898"},
        {us, Value::date(1998, 3, 9), "3/9/1998"},
        {us, Value::date(9999, 12, 31), "12/31/9999"},
        {us, Value::date(632, 6, 8), "6/8/0632"},
        {german, Value::date(2024, 3, 9), "09.03.2024"},
        {us, Value::dateTime({1899, 12, 30, 13, 35, 38, 0}), "1:35:38 PM"},
        {german, Value::dateTime({1899, 12, 30, 13, 35, 38, 0}), "13:35:38"},
        {german, Value::dateTime({1899, 12, 31, 13, 35, 38, 0}), "31.12.1899 13:35:38"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.locale);
        EXPECT_EQ(c.value.displayText(), c.expected) << c.value.standardText().toStdString();
    }
    QLocale::setDefault(saved);
}

}  // namespace
