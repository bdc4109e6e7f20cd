// Workbook streams built record by record, for what the sample files do not show: BIFF5
// code pages, the 1900 leap-year day, cached formula results, encryption, broken records;
// and the string and format rules on their own.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <span>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/excel/BiffRecords.h"
#include "platform/dao/excel/NumberFormat.h"
#include "platform/dao/excel/XlsError.h"

namespace keldara::test::excel {
namespace {

using dao::Value;

class BiffStream {
  public:
    void record(std::uint16_t type, const QByteArray& data) {
        put16(bytes_, type);
        put16(bytes_, static_cast<std::uint16_t>(data.size()));
        bytes_ += data;
    }
    qsizetype size() const { return bytes_.size(); }
    QByteArray& bytes() { return bytes_; }

    static void put16(QByteArray& b, std::uint16_t v) {
        b.append(static_cast<char>(v & 0xFF));
        b.append(static_cast<char>(v >> 8));
    }
    static void put32(QByteArray& b, std::uint32_t v) {
        put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
        put16(b, static_cast<std::uint16_t>(v >> 16));
    }
    static void putDouble(QByteArray& b, double d) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &d, 8);
        put32(b, static_cast<std::uint32_t>(bits));
        put32(b, static_cast<std::uint32_t>(bits >> 32));
    }
    static QByteArray cell(int row, int col, int xf) {
        QByteArray b;
        put16(b, static_cast<std::uint16_t>(row));
        put16(b, static_cast<std::uint16_t>(col));
        put16(b, static_cast<std::uint16_t>(xf));
        return b;
    }

  private:
    QByteArray bytes_;
};

QByteArray bof(std::uint16_t version, std::uint16_t substream) {
    QByteArray b;
    BiffStream::put16(b, version);
    BiffStream::put16(b, substream);
    BiffStream::put32(b, 0);
    return b;
}

QByteArray u16(std::uint16_t v) {
    QByteArray b;
    BiffStream::put16(b, v);
    return b;
}

QByteArray cp1251(const char* bytes) {
    return QByteArray(bytes);
}

QByteArray biff5String16(const QByteArray& bytes) {
    return u16(static_cast<std::uint16_t>(bytes.size())) + bytes;
}

QByteArray xf5(std::uint16_t format) {
    QByteArray b = u16(0) + u16(format);
    b.append(12, '\0');
    return b;
}

QByteArray number(int row, int col, int xf, double value) {
    QByteArray b = BiffStream::cell(row, col, xf);
    BiffStream::putDouble(b, value);
    return b;
}

// A formula whose cached result is marked by kind in its first byte (0 text, 1 Boolean,
// 2 error, 3 empty text).
QByteArray markedFormula(int row, int col, std::uint8_t kind, std::uint8_t value) {
    QByteArray b = BiffStream::cell(row, col, 0);
    b.append(static_cast<char>(kind));
    b.append('\0');
    b.append(static_cast<char>(value));
    b.append(3, '\0');
    b += u16(0xFFFF);
    b += u16(0) + QByteArray(4, '\0') + u16(0);  // flags, chn, empty formula
    return b;
}

struct Options {
    bool encrypted = false;
    bool withEof = true;
    int farColumn = -1;
};

// A BIFF5 workbook (code page 1251) with one worksheet "Лист1" and one chart sheet.
QByteArray biff5Workbook(const Options& options = {}) {
    BiffStream s;
    s.record(0x0809, bof(0x0500, 0x0005));
    if (options.encrypted) s.record(0x002F, u16(0) + u16(0) + u16(0));
    s.record(0x0042, u16(1251));
    QByteArray format = u16(164);
    const QByteArray formatText("DD.MM.YYYY");
    format.append(static_cast<char>(formatText.size()));
    format += formatText;
    s.record(0x041E, format);
    s.record(0x00E0, xf5(0));                                     // xf 0: General
    s.record(0x00E0, xf5(164));                                   // xf 1: the custom date format
    s.record(0x00E0, xf5(20));                                    // xf 2: built-in h:mm
    const QByteArray sheetName = cp1251("\xCB\xE8\xF1\xF2\x31");  // Лист1
    const qsizetype boundSheetAt = s.size() + 4;
    QByteArray boundSheet = QByteArray(4, '\0') + u16(0);
    boundSheet.append(static_cast<char>(sheetName.size()));
    boundSheet += sheetName;
    s.record(0x0085, boundSheet);
    QByteArray chart = QByteArray(4, '\0') + u16(0x0200);
    chart.append(5);
    chart += QByteArray("Chart");
    s.record(0x0085, chart);
    s.record(0x000A, {});

    const auto sheetOffset = static_cast<std::uint32_t>(s.size());
    QByteArray patched;
    BiffStream::put32(patched, sheetOffset);
    s.bytes().replace(boundSheetAt, 4, patched);

    s.record(0x0809, bof(0x0500, 0x0010));
    s.record(0x0204, BiffStream::cell(0, 0, 0) + biff5String16(cp1251("\xC8\xEC\xFF")));  // Имя
    s.record(0x0204, BiffStream::cell(0, 1, 0) + biff5String16("date"));
    s.record(0x0204, BiffStream::cell(0, 2, 0) + biff5String16("time"));
    s.record(0x0204, BiffStream::cell(0, 3, 0) + biff5String16("formula"));
    const double serials[] = {1, 59, 60, 61};
    const QByteArray names[] = {cp1251("\xC0\xED\xED\xE0"), cp1251("\xC1\xEE\xF0\xE8\xF1"),
                                cp1251("\xC2\xE5\xF0\xE0"), cp1251("\xC3\xEB\xE5\xE1")};
    for (int i = 0; i < 4; ++i) {
        s.record(0x0204, BiffStream::cell(i + 1, 0, 0) + biff5String16(names[i]));
        s.record(0x0203, number(i + 1, 1, 1, serials[i]));
        s.record(0x0203, number(i + 1, 2, 2, 0.25 * (i + 1)));
    }
    s.record(0x0006, markedFormula(1, 3, 0, 0));
    s.record(0x0207, biff5String16(cp1251("\xDF\xE1\xEB\xEE\xEA\xEE")));  // Яблоко
    s.record(0x0006, markedFormula(2, 3, 1, 1));
    s.record(0x0006, markedFormula(3, 3, 2, 0x07));
    s.record(0x0006, markedFormula(4, 3, 3, 0));
    if (options.farColumn >= 0) s.record(0x0203, number(5, options.farColumn, 0, 1.0));
    if (options.withEof) s.record(0x000A, {});
    return s.bytes();
}

class HandBuiltWorkbook : public ::testing::Test {
  protected:
    QString write(const QByteArray& bytes) {
        const QString path = folder_.filePath(QStringLiteral("built.xls"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }
    QTemporaryDir folder_;
};

TEST_F(HandBuiltWorkbook, Biff5TextIsDecodedFromItsCodePage) {
    auto connection = openWorkbook(write(biff5Workbook()));
    EXPECT_EQ(catalogueNames(*connection), QStringList{QStringLiteral("Лист1$")});
    auto records = readTable(*connection, QStringLiteral("Лист1$"));
    ASSERT_EQ(records->fieldCount(), 4);
    EXPECT_EQ(records->fieldInfo(0).name, QStringLiteral("Имя"));
    EXPECT_EQ(records->valueAt(0, 0), Value::text(QStringLiteral("Анна")));
    EXPECT_EQ(records->valueAt(3, 0), Value::text(QStringLiteral("Глеб")));
}

TEST_F(HandBuiltWorkbook, The1900SystemCountsItsLeapDayButNoDateIsInvented) {
    auto connection = openWorkbook(write(biff5Workbook()));
    auto records = readTable(*connection, QStringLiteral("Лист1$"));
    // Serial 60 is 29 February 1900, which Excel shows but no calendar has: the number is
    // kept, and with it the column becomes text.
    EXPECT_EQ(records->fieldInfo(1).type, dao::adType::VarWChar);
    const QStringList expected{QStringLiteral("1900-01-01"), QStringLiteral("1900-02-28"),
                               QStringLiteral("60"), QStringLiteral("1900-03-01")};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(records->valueAt(r, 1).toText(), expected[r]);
}

TEST_F(HandBuiltWorkbook, TimeOnlyFormatsGiveTimesOfDay) {
    auto connection = openWorkbook(write(biff5Workbook()));
    auto records = readTable(*connection, QStringLiteral("Лист1$"));
    EXPECT_EQ(records->fieldInfo(2).type, dao::adType::Date);
    EXPECT_EQ(records->valueAt(0, 2), Value::time(6, 0, 0));
    EXPECT_EQ(records->valueAt(1, 2), Value::time(12, 0, 0));
    EXPECT_EQ(records->valueAt(2, 2), Value::time(18, 0, 0));
    // 1.0 in a time format has a date part: day 1 of the 1900 system.
    EXPECT_EQ(records->valueAt(3, 2), Value::date(1900, 1, 1));
}

TEST_F(HandBuiltWorkbook, CachedFormulaResults) {
    auto connection = openWorkbook(write(biff5Workbook()));
    auto records = readTable(*connection, QStringLiteral("Лист1$"));
    EXPECT_EQ(records->fieldInfo(3).type, dao::adType::VarWChar);  // text and a Boolean
    EXPECT_EQ(records->valueAt(0, 3), Value::text(QStringLiteral("Яблоко")));
    EXPECT_EQ(records->valueAt(1, 3), Value::text(QStringLiteral("TRUE")));
    EXPECT_TRUE(records->valueAt(2, 3).isNull());  // #N/A
    EXPECT_TRUE(records->valueAt(3, 3).isNull());  // the empty text
}

TEST_F(HandBuiltWorkbook, BrokenWorkbooksGiveErrorsNamingTheFile) {
    struct Case {
        const char* what;
        Options options;
        bool failsOnOpen;
        const char* reason;
    };
    const Case cases[] = {
        {"encrypted", Options{true, true, -1}, true, "encrypted"},
        {"no EOF", Options{false, false, -1}, false, "ends before its EOF"},
        {"column 300", Options{false, true, 300}, false, "column 301"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = write(biff5Workbook(c.options));
        try {
            auto connection = openWorkbook(path);
            EXPECT_FALSE(c.failsOnOpen);
            readTable(*connection, QStringLiteral("Лист1$"));
            ADD_FAILURE() << "no error";
        } catch (const dao::DaoError& error) {
            EXPECT_TRUE(error.description().contains(path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(c.reason)))
                << error.description().toStdString();
        }
    }
}

std::span<const std::uint8_t> bytesOf(const std::vector<std::uint8_t>& v) {
    return {v.data(), v.size()};
}

TEST(ContinuedStrings, CharactersGoOnAfterAFlagByteThatMayChangeTheirWidth) {
    // "abc" as 8-bit characters, then "ДЕЖ" as 16-bit ones in the CONTINUE record.
    const std::vector<std::uint8_t> first{6, 0, 0x00, 'a', 'b', 'c'};
    const std::vector<std::uint8_t> second{0x01, 0x14, 0x04, 0x15, 0x04, 0x16, 0x04};
    dao::xls::ContinuedCursor cursor({bytesOf(first), bytesOf(second)});
    EXPECT_EQ(cursor.unicodeString(true), QStringLiteral("abcДЕЖ"));
    EXPECT_TRUE(cursor.atEnd());

    // 16-bit first, then 8-bit; rich-text runs and phonetic data crossing the boundary.
    const std::vector<std::uint8_t> third{3, 0, 0x0D, 1, 0, 2, 0, 0, 0, 0x1F, 0x04};
    const std::vector<std::uint8_t> fourth{0x00, 'x', 'y', 1, 2, 3, 4, 9, 9, 2, 0, 0x00, 'o', 'k'};
    dao::xls::ContinuedCursor mixed({bytesOf(third), bytesOf(fourth)});
    EXPECT_EQ(mixed.unicodeString(true), QStringLiteral("Пxy"));
    EXPECT_EQ(mixed.unicodeString(true), QStringLiteral("ok"));
}

TEST(ContinuedStrings, AStringCutShortIsAnError) {
    const std::vector<std::uint8_t> cut{10, 0, 0x00, 'a', 'b'};
    dao::xls::ContinuedCursor cursor({bytesOf(cut)});
    EXPECT_THROW(cursor.unicodeString(true), dao::xls::FormatError);
}

TEST(NumberFormats, DateAndTimeTokensCountOnlyOutsideQuotesAndBrackets) {
    using dao::xls::FormatClass;
    const std::pair<const char*, FormatClass> cases[] = {
        {"General", FormatClass::Number},
        {"0.00", FormatClass::Number},
        {"#,##0.00 \"days\"", FormatClass::Number},
        {"0.00\" hrs\"", FormatClass::Number},
        {"[Red]0.00;[Blue]-0.00", FormatClass::Number},
        {"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", FormatClass::Number},
        {"0.00E+00", FormatClass::Number},
        {"\\d0", FormatClass::Number},
        {"@", FormatClass::Number},
        {"m/d/yy", FormatClass::Date},
        {"d-mmm-yy", FormatClass::Date},
        {"[$-409]mmmm d, yyyy;@", FormatClass::Date},
        {"\"Day \"dd\" of \"mmmm yyyy", FormatClass::Date},
        {"yyyy-mm-dd hh:mm:ss", FormatClass::Date},
        {"DD.MM.YYYY", FormatClass::Date},
        {"h:mm AM/PM", FormatClass::TimeOnly},
        {"hh:mm:ss", FormatClass::TimeOnly},
        {"mm:ss.0", FormatClass::TimeOnly},
        {"[h]:mm:ss", FormatClass::TimeOnly},
        {"[mm]:ss", FormatClass::TimeOnly},
    };
    for (const auto& [format, expected] : cases) {
        EXPECT_EQ(dao::xls::classifyFormatString(QString::fromUtf8(format)), expected) << format;
    }
    EXPECT_EQ(dao::xls::builtInFormatClass(14), FormatClass::Date);
    EXPECT_EQ(dao::xls::builtInFormatClass(22), FormatClass::Date);
    EXPECT_EQ(dao::xls::builtInFormatClass(20), FormatClass::TimeOnly);
    EXPECT_EQ(dao::xls::builtInFormatClass(47), FormatClass::TimeOnly);
    EXPECT_EQ(dao::xls::builtInFormatClass(2), FormatClass::Number);
    EXPECT_EQ(dao::xls::builtInFormatClass(49), FormatClass::Number);
}

}  // namespace
}  // namespace keldara::test::excel
