#include <gtest/gtest.h>

#include <QLocale>

#include "platform/dao/Value.h"

using namespace keldara::dao;

namespace {

TEST(SqlLiterals, AreWhatMySqlReadsBack) {
    const std::pair<Value, const char*> cases[] = {
        {Value::null(), "NULL"},
        {Value::text(""), "''"},
        {Value::text("NULL"), "'NULL'"},
        {Value::boolean(true), "'1'"},
        {Value::boolean(false), "'0'"},
        {Value::integer(-42), "'-42'"},
        {Value::floating(1234567.25), "'1234567.25'"},
        {Value::floating(0.1), "'0.1'"},
        {Value::floating(0.0009), "'0.0009'"},
        {Value::floating(-123456789012345.6), "'-123456789012345.6'"},
        {Value::floating(1e300), "'1e+300'"},
        {Value::floating(2.5e-10), "'2.5e-10'"},
        {Value::decimal("-1110.554"), "'-1110.554'"},
        {Value::date(1899, 12, 30), "'1899-12-30'"},
        {Value::date(33, 2, 1), "'0033-02-01'"},
        {Value::time(7, 5, 3), "'07:05:03'"},
        {Value::time(7, 5, 3, 250000), "'07:05:03.25'"},
        {Value::dateTime({2003, 11, 22, 22, 42, 58, 0}), "'2003-11-22 22:42:58'"},
        {Value::text("O'Brien \"x\" a\\b\nc\rd"), "'O\\'Brien \\\"x\\\" a\\\\b\\nc\\rd'"},
        {Value::text(QString(QChar(0)) + QChar(0x1a)), "'\\0\\Z'"},
        {Value::text(QString::fromUtf8("Luleå")), "'Luleå'"},
        {Value::bytes(QByteArray("\x01\xab", 2)), "X'01AB'"},
    };
    for (const auto& [value, literal] : cases)
        EXPECT_EQ(value.sqlLiteral(), QString::fromUtf8(literal));
}

// Display texts follow the locale, Null shows as empty; dates keep the locale's order but
// always show four-digit years; a date-time on the zero date is a time of day and shows as one.
TEST(ValueDisplay, FollowsTheLocale) {
    const QLocale saved;
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const DateTime zeroDate{1899, 12, 30, 13, 35, 38, 0};
    const std::tuple<QLocale, Value, QString> cases[] = {
        {german, Value::null(), ""},
        {german, Value::boolean(true), "True"},
        {german, Value::boolean(false), "False"},
        {german, Value::floating(1234.5), "1234,5"},
        {german, Value::decimal("-3.50"), "-3,50"},
        {german, Value::integer(1234567), "1234567"},
        {german, Value::time(13, 5, 9), "13:05:09"},
        {us, Value::date(1898, 3, 9), "3/9/1898"},
        {us, Value::date(9999, 12, 31), "12/31/9999"},
        {us, Value::date(632, 6, 8), "6/8/0632"},
        {german, Value::date(2024, 3, 9), "09.03.2024"},
        {us, Value::dateTime(zeroDate), "1:35:38 PM"},
        {german, Value::dateTime(zeroDate), "13:35:38"},
        {german, Value::dateTime({1899, 12, 31, 13, 35, 38, 0}), "31.12.1899 13:35:38"},
    };
    for (const auto& [locale, value, expected] : cases) {
        QLocale::setDefault(locale);
        EXPECT_EQ(value.displayText(), expected) << value.standardText().toStdString();
    }
    QLocale::setDefault(saved);
}

}  // namespace
