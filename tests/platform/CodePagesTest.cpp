// Code pages shared by the file readers: names, the code page of a locale and of a dBase
// language driver, and the one rule for bytes a code page leaves undefined.
#include <gtest/gtest.h>

#include <QLocale>

#include "platform/dao/CodePages.h"
#include "platform/dao/DaoError.h"

using namespace keldara::dao;

namespace {

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
}

TEST(CodePages, UndefinedBytesKeepTheirNumberAndStrictDecodingRefusesBrokenSequences) {
    const struct {
        int codePage;
        QByteArray bytes;
        const char* text;  // UTF-8
        bool strictRefuses;
    } cases[] = {
        {1252, "\x80\x81\x8A\xE9", "€\xC2\x81Šé", false},
        {1251, "\xCF\x98", "П\xC2\x98", false},
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
