// The Excel provider: every workbook against python3-xlrd (xlrd_cells.py), and what that cannot
// show: table name forms, unreadable files, workbook streams built record by record.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>
#include <bit>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/excel/BiffRecords.h"
#include "platform/dao/sheet/NumberFormat.h"
#include "platform/dao/sheet/SheetError.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"
#include "support/Streaming.h"
#include "support/TestServer.h"

namespace keldara::test::excel {
namespace {

using dao::Value;

std::unique_ptr<dao::Connection> openWorkbook(const QString& workbookPath) {
    return dao::openConnection(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               workbookPath + QStringLiteral(";Extended Properties=Excel 8.0;"));
}

// Expects `action` to throw a DaoError whose description names `path` and holds `reason`.
void expectError(const std::function<void()>& action, const QString& path, const char* reason) {
    const QString error = errorOf(action).description();
    EXPECT_TRUE(error.contains(path) && error.contains(QLatin1String(reason)))
        << error.toStdString() << " lacks " << reason;
}

// A workbook written by the xlwt script into a folder shared by the whole test run.
QString generatedWorkbook(const QString& fileName) {
    static QTemporaryDir folder;
    static const ProcessResult written =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {sourceDir() + QStringLiteral("/tests/excel/make_workbooks.py"), folder.path()});
    EXPECT_EQ(written.exitCode, 0)
        << "python3-xlwt is needed to write the test workbooks: " << written.err.toStdString();
    return folder.filePath(fileName);
}

// Every sample workbook but the encrypted one, and the ones make_workbooks.py writes.
std::vector<std::string> workbooks() {
    std::vector<std::string> files = fixtureFiles(QStringLiteral("xls"), {QStringLiteral("*.xls")});
    std::erase_if(files,
                  [](const std::string& file) { return file.find("encrypted") != file.npos; });
    for (const char* name : {"dates1900.xls", "dates1904.xls", "strings.xls", "shapes.xls"})
        files.push_back(std::string("generated/") + name);
    return files;
}

class Workbook : public ::testing::TestWithParam<std::string> {};

// And streamed, as loaded.
TEST_P(Workbook, ReadsAsXlrdDoesLoadedOrStreamed) {
    const QString name = QString::fromStdString(GetParam());
    const QString path = name.startsWith(QLatin1String("generated/"))
                             ? generatedWorkbook(name.mid(10))
                             : fixturePath(name);
    expectWorkbookAsOracle(openWorkbook(path),
                           {sourceDir() + QStringLiteral("/tests/excel/xlrd_cells.py"), path});
    const auto connection = openWorkbook(path);
    for (const QString& table : tableNames(*connection)) expectStreamedAsLoaded(*connection, table);
}

INSTANTIATE_TEST_SUITE_P(FixturesAndGenerated, Workbook, ::testing::ValuesIn(workbooks()));

QString xls(const char* relative) {
    return fixturePath(QStringLiteral("xls/") + QLatin1String(relative));
}

TEST(ExcelCatalogue, FindsATableByEitherFormOfItsName) {
    const QString path = xls("python-excel__xlrd/namesdemo.xls");
    auto connection = openWorkbook(path);
    for (const char* table : {"'Seamus O''Reilly$'", "Seamus O'Reilly$", "'seamus o''reilly$'"}) {
        EXPECT_EQ(fieldNames(*selectAll(*connection, QString::fromUtf8(table))), QStringList{"42"})
            << table;
    }
    expectError([&] { selectAll(*connection, QStringLiteral("Sheet3")); }, path, "Sheet3");
}

TEST(ExcelFile, UnreadableFilesGiveErrorsNamingThem) {
    QTemporaryDir folder;
    QByteArray noWorkbookStream = readAll(xls("libxls__libxls/test2.xls"));
    noWorkbookStream.replace(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16),
                             QByteArray("X\0o\0r\0k\0b\0o\0o\0k\0", 16));
    const std::pair<QString, const char*> cases[] = {
        {xls("okfn__messytables/encrypted_no_password.xls"), "encrypted"},
        {fixturePath(QStringLiteral("csv/okfn__messytables/example.tsv")), "not an Excel workbook"},
        {writeFile(folder.filePath(QStringLiteral("empty.xls")), {}), "not an Excel workbook"},
        {writeFile(folder.filePath(QStringLiteral("other.xls")), noWorkbookStream),
         "without a workbook stream"},
        {folder.filePath(QStringLiteral("missing.xls")), "does not exist"},
    };
    for (const auto& [path, reason] : cases) expectError([&] { openWorkbook(path); }, path, reason);
}

// Breaks the sector chains of a copy of test2.xls (512-byte sectors, one FAT sector).
TEST(DamagedWorkbook, BrokenSectorChainsAreErrorsNotLoops) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chains.xls"));
    const QByteArray original = readAll(xls("libxls__libxls/test2.xls"));
    const auto u32 = [&](qsizetype at) {
        return qFromLittleEndian<std::uint32_t>(original.data() + at);
    };
    const auto fatEntry = [&](std::uint32_t sector) { return (u32(0x4C) + 1) * 512 + 4 * sector; };
    const std::uint32_t directory = u32(0x30);
    const std::uint32_t workbook =
        u32(original.indexOf(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16)) + 0x74);
    const std::tuple<qsizetype, std::uint32_t, const char*> cases[] = {
        {fatEntry(directory), directory, "loops"},
        {fatEntry(workbook), workbook, "loops"},
        {fatEntry(workbook), 0x00FFFFFF, "outside the file"},
        {fatEntry(workbook), 0xFFFFFFFE, "ends early"},
        {0x4C, 0x00FFFFFF, "outside the file"},  // the FAT sector itself
    };
    for (const auto& [at, value, reason] : cases) {
        QByteArray damaged = original;
        qToLittleEndian(value, damaged.data() + at);
        writeFile(path, damaged);
        expectError([&] { openWorkbook(path); }, path, reason);
    }
}

struct Options {
    bool encrypted = false;
    bool withEof = true;
    int farColumn = -1;
};

// Little-endian pieces of a BIFF5 stream, and a workbook made of them.
struct Biff {
    static QByteArray u16(int v) { return bytesOf(v, 2); }
    static QByteArray u32(qsizetype v) { return bytesOf(v); }
    static QByteArray record(int type, const QByteArray& data) {
        return u16(type) + u16(data.size()) + data;
    }
    static QByteArray bof(int substream) {
        return record(0x0809, u16(0x0500) + u16(substream) + u32(0));
    }
    static QByteArray cell(int row, int col, int xf) { return u16(row) + u16(col) + u16(xf); }
    static QByteArray string8(const QByteArray& bytes) { return char(bytes.size()) + bytes; }
    static QByteArray string16(const QByteArray& bytes) { return u16(bytes.size()) + bytes; }
    static QByteArray label(int row, int col, const QByteArray& bytes) {
        return record(0x0204, cell(row, col, 0) + string16(bytes));
    }
    static QByteArray number(int row, int col, int xf, double value) {
        return record(0x0203, cell(row, col, xf) + bytesOf(std::bit_cast<std::uint64_t>(value), 8));
    }
    // A formula whose cached result is marked by kind in its first byte (0 text, 1 Boolean,
    // 2 error, 3 empty text).
    static QByteArray markedFormula(int row, int col, int kind, int value) {
        const QByteArray result = u16(kind) + u16(value) + u16(0) + u16(0xFFFF);
        return record(0x0006, cell(row, col, 0) + result + u16(0) + u32(0) + u16(0));
    }

    static QByteArray format(int index, const QByteArray& text) {
        return record(0x041E, u16(index) + string8(text));
    }
    static QByteArray eof() { return record(0x000A, {}); }

    // A BIFF5 workbook (code page 1251) with one worksheet "Лист1" made of the records given
    // and one chart sheet. The globals hold the FORMAT records given and an XF for each format
    // number given.
    static QByteArray book(const QByteArray& sheet, const QByteArray& formats,
                           const std::vector<int>& xfFormats, bool encrypted = false) {
        const auto globals = [&](qsizetype sheetOffset) {
            QByteArray s = bof(0x0005);
            if (encrypted) s += record(0x002F, u16(0) + u16(0) + u16(0));
            s += record(0x0042, u16(1251)) + formats;
            for (int format : xfFormats)
                s += record(0x00E0, u16(0) + u16(format) + QByteArray(12, 0));
            s += record(0x0085, u32(sheetOffset) + u16(0) + string8("\xCB\xE8\xF1\xF2\x31"));
            return s + record(0x0085, u32(0) + u16(0x0200) + string8("Chart")) + eof();
        };
        return globals(globals(0).size()) + bof(0x0010) + sheet;
    }

    // The worksheet of names, dates, times and cached formula results.
    static QByteArray workbook(const Options& options = {}) {
        QByteArray s = label(0, 0, "\xC8\xEC\xFF") + label(0, 1, "date") + label(0, 2, "time") +
                       label(0, 3, "formula");
        const char* names[] = {"\xC0\xED\xED\xE0", "\xC1\xEE\xF0\xE8\xF1", "\xC2\xE5\xF0\xE0",
                               "\xC3\xEB\xE5\xE1"};
        const double serials[] = {1, 59, 60, 61};
        for (int i = 0; i < 4; ++i) {
            s += label(i + 1, 0, names[i]) + number(i + 1, 1, 1, serials[i]) +
                 number(i + 1, 2, 2, 0.25 * (i + 1));
        }
        s += markedFormula(1, 3, 0, 0) + record(0x0207, string16("\xDF\xE1\xEB\xEE\xEA\xEE")) +
             markedFormula(2, 3, 1, 1) + markedFormula(3, 3, 2, 0x07) + markedFormula(4, 3, 3, 0);
        if (options.farColumn >= 0) s += number(5, options.farColumn, 0, 1.0);
        if (options.withEof) s += eof();
        // xf 0: General, 1: the custom date format, 2: built-in h:mm
        return book(s, format(164, "DD.MM.YYYY"), {0, 164, 20}, options.encrypted);
    }
};

TEST(HandBuiltWorkbook, Biff5CodePageDatesTimesAndCachedFormulaResults) {
    QTemporaryDir dir;
    auto connection = openWorkbook(writeFile(dir.filePath("built.xls"), Biff::workbook()));
    EXPECT_EQ(tableNames(*connection), QStringList{QStringLiteral("Лист1$")});
    auto records = selectAll(*connection, QStringLiteral("Лист1$"));
    EXPECT_EQ(fieldNames(*records), (QStringList{"Имя", "date", "time", "formula"}));
    // Serial 60 is 29 February 1900, which Excel shows but no calendar has: the number is
    // kept, and with it the date column becomes text. The formula column holds text and a
    // Boolean; #N/A and the empty text are Null. 1.0 in a time format is day 1 of 1900.
    const int types[] = {dao::adType::VarWChar, dao::adType::VarWChar, dao::adType::Date,
                         dao::adType::VarWChar};
    const auto text = [](const char* s) { return Value::text(QString::fromUtf8(s)); };
    const std::vector<Value> expected[] = {
        {text("Анна"), text("Борис"), text("Вера"), text("Глеб")},
        {text("1900-01-01"), text("1900-02-28"), text("60"), text("1900-03-01")},
        {Value::time(6, 0, 0), Value::time(12, 0, 0), Value::time(18, 0, 0),
         Value::date(1900, 1, 1)},
        {text("Яблоко"), text("TRUE"), Value::null(), Value::null()},
    };
    ASSERT_EQ(records->recordCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(records->fieldInfo(c).type, types[c]) << "column " << c;
        for (long r = 0; r < 4; ++r) EXPECT_EQ(records->valueAt(r, c), expected[c][r]) << r << c;
    }
}

TEST(HandBuiltWorkbook, BrokenWorkbooksGiveErrorsNamingTheFile) {
    QTemporaryDir dir;
    const std::tuple<Options, bool, const char*> cases[] = {
        {Options{true, true, -1}, true, "encrypted"},
        {Options{false, false, -1}, false, "ends before its EOF"},
        {Options{false, true, 300}, false, "column 301"},
    };
    for (const auto& [options, failsOnOpen, reason] : cases) {
        const QString path = writeFile(dir.filePath("built.xls"), Biff::workbook(options));
        expectError(
            [&] {
                auto connection = openWorkbook(path);
                if (!failsOnOpen) selectAll(*connection, QStringLiteral("Лист1$"));
            },
            path, reason);
    }
}

// Empty texts (a LABEL, a formula's result marked empty, one in a STRING record) are cells:
// the header row made only of them gives F1 to F3, the last column and the last two rows,
// made of them too, are kept. Their values are Null.
TEST(HandBuiltWorkbook, EmptyTextsOccupyTheirCells) {
    QTemporaryDir dir;
    const QByteArray sheet = Biff::label(0, 0, "") + Biff::markedFormula(0, 1, 3, 0) +
                             Biff::markedFormula(0, 2, 0, 0) +
                             Biff::record(0x0207, Biff::string16("")) + Biff::label(1, 0, "a") +
                             Biff::number(1, 1, 0, 1) + Biff::label(1, 2, "") +
                             Biff::label(2, 0, "b") + Biff::number(2, 1, 0, 2) +
                             Biff::label(3, 0, "") + Biff::markedFormula(4, 1, 3, 0) + Biff::eof();
    auto connection =
        openWorkbook(writeFile(dir.filePath("empty.xls"), Biff::book(sheet, {}, {0})));
    EXPECT_EQ(tableText(*selectAll(*connection, QStringLiteral("Лист1$"))),
              "F1 202, F2 5, F3 202\n'a', '1', NULL\n'b', '2', NULL\nNULL, NULL, NULL\n"
              "NULL, NULL, NULL");
    expectStreamedAsLoaded(*connection, QStringLiteral("Лист1$"));
}

// 37438 under each built-in format the workbook does not define: the East Asian date formats
// (27-36, 50-58) give 2002-07-01, as 14 does; 37 is a number format.
TEST(HandBuiltWorkbook, LocaleBuiltInFormatsAreDates) {
    QTemporaryDir dir;
    std::vector<int> xfs{0};  // General; then the format of each column
    QByteArray sheet;
    std::string names, values;
    for (const int id :
         {14, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 50, 51, 52, 53, 54, 55, 56, 57, 58, 37}) {
        const int column = static_cast<int>(xfs.size()) - 1;
        xfs.push_back(id);
        sheet += Biff::label(0, column, "id" + QByteArray::number(id)) +
                 Biff::number(1, column, column + 1, 37438);
        names += (names.empty() ? "id" : ", id") + std::to_string(id) + (id == 37 ? " 5" : " 7");
        values +=
            (values.empty() ? "'" : ", '") + std::string(id == 37 ? "37438" : "2002-07-01") + "'";
    }
    auto connection = openWorkbook(
        writeFile(dir.filePath("locale.xls"), Biff::book(sheet + Biff::eof(), {}, xfs)));
    EXPECT_EQ(tableText(*selectAll(*connection, QStringLiteral("Лист1$"))), names + '\n' + values);
}

// A FORMAT record whose string is cut short (its length says 20, 4 bytes follow) costs only the
// cells of that format: they are read in the General format, and their field says why.
TEST(HandBuiltWorkbook, ACutFormatCostsOnlyItsCells) {
    QTemporaryDir dir;
    const QByteArray formats =
        Biff::format(164, "DD.MM.YYYY") + Biff::record(0x041E, Biff::u16(165) + "\x14yyyy");
    const QByteArray sheet = Biff::label(0, 0, "good") + Biff::label(0, 1, "cut") +
                             Biff::number(1, 0, 1, 37438) + Biff::number(1, 1, 2, 37438) +
                             Biff::eof();
    auto connection =
        openWorkbook(writeFile(dir.filePath("cut.xls"), Biff::book(sheet, formats, {0, 164, 165})));
    EXPECT_EQ(tableText(*selectAll(*connection, QStringLiteral("Лист1$"))),
              "good 7, cut 5 (numbers whose format is cut short in the file are read in the "
              "General format)\n'2002-07-01', '37438'");
    expectStreamedAsLoaded(*connection, QStringLiteral("Лист1$"));
}

TEST(ContinuedStrings, CharactersGoOnAfterAFlagByteThatMayChangeTheirWidth) {
    // "abc" as 8-bit characters, then "ДЕЖ" as 16-bit ones in the CONTINUE record.
    const std::vector<std::uint8_t> first{6, 0, 0x00, 'a', 'b', 'c'};
    const std::vector<std::uint8_t> second{0x01, 0x14, 0x04, 0x15, 0x04, 0x16, 0x04};
    dao::xls::ContinuedCursor cursor({first, second});
    EXPECT_EQ(cursor.unicodeString(true), QStringLiteral("abcДЕЖ"));
    EXPECT_TRUE(cursor.atEnd());

    // 16-bit first, then 8-bit; rich-text runs and phonetic data crossing the boundary.
    const std::vector<std::uint8_t> third{3, 0, 0x0D, 1, 0, 2, 0, 0, 0, 0x1F, 0x04};
    const std::vector<std::uint8_t> fourth{0x00, 'x', 'y', 1, 2, 3, 4, 9, 9, 2, 0, 0x00, 'o', 'k'};
    dao::xls::ContinuedCursor mixed({third, fourth});
    EXPECT_EQ(mixed.unicodeString(true), QStringLiteral("Пxy"));
    EXPECT_EQ(mixed.unicodeString(true), QStringLiteral("ok"));
}

TEST(NumberFormats, DateAndTimeTokensCountOnlyOutsideQuotesAndBrackets) {
    using enum dao::sheet::FormatClass;
    const std::pair<dao::sheet::FormatClass, std::vector<const char*>> cases[] = {
        {Number,
         {"#,##0.00 \"days\"", "[Red]0.00;[Blue]-0.00", "_(* \"-\"_);_(@_)", "0.00E+00", "\\d0"}},
        {Date, {"d-mmm-yy", "[$-409]mmmm d, yyyy;@", "\"Day \"dd\" of \"mmmm yyyy"}},
        {TimeOnly, {"h:mm AM/PM", "mm:ss.0", "[h]:mm:ss", "[mm]:ss"}},
    };
    for (const auto& [expected, formats] : cases) {
        for (const char* format : formats) {
            EXPECT_EQ(dao::sheet::classifyFormatString(QString::fromUtf8(format)), expected)
                << format;
        }
    }
    const std::pair<int, dao::sheet::FormatClass> builtIn[] = {
        {14, Date}, {22, Date}, {20, TimeOnly}, {47, TimeOnly}, {2, Number}, {49, Number}};
    for (const auto& [index, expected] : builtIn) {
        EXPECT_EQ(dao::sheet::builtInFormatClass(index), expected) << index;
    }
}

}  // namespace
}  // namespace keldara::test::excel
