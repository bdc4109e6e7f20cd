// The .xlsx/.xlsm and .ods readers: every sample and generated workbook against python3-openpyxl
// (openpyxl_cells.py) and python3-odf (odf_cells.py), and what those cannot show: the files
// they refuse, and bad files (encrypted, damaged, zip bombs, entity expansion, sheets past the
// limits), each of which must give one clear error within little memory and time.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/dao/xlsx/XlsxWorkbook.h"
#include "source/SourceFiles.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"
#include "support/Streaming.h"

namespace keldara::test::sheets {
namespace {

using dao::Value;

// Opened as the window opens a source file: through its connection string.
std::unique_ptr<dao::Connection> openFile(const QString& path) {
    return dao::openConnection(source::SourceConnectionString(path, {}));
}

// A file the generator scripts write (python3-xlsxwriter, python3-odf, zipfile) into a folder
// shared by the whole test run.
QString generated(const QString& fileName) {
    static QTemporaryDir folder;
    static const bool written = [] {
        for (const char* script : {"make_xlsx.py", "make_ods.py"}) {
            const ProcessResult run = runProcess(
                QStringLiteral("/usr/bin/python3"),
                {sourceDir() + QStringLiteral("/tests/sheets/") + script, folder.path()});
            EXPECT_EQ(run.exitCode, 0) << script << ": " << run.err.toStdString();
        }
        return true;
    }();
    return written ? folder.filePath(fileName) : QString();
}

// Samples checked from their XML (see XlsxWithoutOracle): openpyxl refuses two and misses the
// styles of a third. The encrypted and the denial-of-service samples are refused (BadFiles).
const QStringList kWithoutOracle = {"issue_419", "strict_iso_paths", "minimal_package",
                                    "pass_protected", "issue_594_dos"};

std::vector<std::string> workbooks() {
    std::vector<std::string> files =
        fixtureFiles(QStringLiteral("xlsx"), {QStringLiteral("*.xlsx"), QStringLiteral("*.xlsm")});
    const auto ods = fixtureFiles(QStringLiteral("ods"), {QStringLiteral("*.ods")});
    files.insert(files.end(), ods.begin(), ods.end());
    std::erase_if(files, [](const std::string& file) {
        return std::any_of(kWithoutOracle.begin(), kWithoutOracle.end(), [&](const QString& name) {
            return file.find(name.toStdString()) != file.npos;
        });
    });
    for (const char* name :
         {"kinds.xlsx", "kinds1904.xlsx", "inline.xlsx", "bare.xlsx", "kinds.ods", "empties.ods"})
        files.push_back(std::string("generated/") + name);
    return files;
}

class Workbook : public ::testing::TestWithParam<std::string> {};

// And streamed, as loaded.
TEST_P(Workbook, ReadsAsTheIndependentReaderDoesLoadedOrStreamed) {
    const QString name = QString::fromStdString(GetParam());
    const QString path =
        name.startsWith(QLatin1String("generated/")) ? generated(name.mid(10)) : fixturePath(name);
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    const QString oracle = path.endsWith(QLatin1String(".ods"))
                               ? QStringLiteral("odf_cells.py")
                               : QStringLiteral("openpyxl_cells.py");
    expectWorkbookAsOracle(openFile(path),
                           {sourceDir() + QStringLiteral("/tests/sheets/") + oracle, path});
    const auto connection = openFile(path);
    for (const QString& table : tableNames(*connection)) expectStreamedAsLoaded(*connection, table);
}

INSTANTIATE_TEST_SUITE_P(FixturesAndGenerated, Workbook, ::testing::ValuesIn(workbooks()),
                         [](const auto& info) { return fixtureTestName(info.param); });

// Part names are compared without regard to case: the package names its shared strings part
// "xl/SharedStrings.xml" (openpyxl fails on it). Its XML holds one text, "Hello", in A1.
TEST(XlsxWithoutOracle, FindsPartsWhateverTheirLetterCase) {
    const QString path = fixturePath(QStringLiteral("xlsx/tafia__calamine/issue_419.xlsx"));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    const auto records = selectAll(*openFile(path), QStringLiteral("Sheet1$"));
    EXPECT_EQ(fieldNames(*records), QStringList{"Hello"});
    EXPECT_EQ(records->recordCount(), 0);
}

// Strict Office Open XML (purl.oclc.org namespaces), which openpyxl does not read. From the
// XML: sheet "ml_out", A1:R76, header texts; A3 the number 1625593500 in a column of texts,
// J3 written "56969.955000000002".
TEST(XlsxWithoutOracle, ReadsStrictOfficeOpenXml) {
    const QString path = fixturePath(QStringLiteral("xlsx/tafia__calamine/strict_iso_paths.xlsx"));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    auto connection = openFile(path);
    ASSERT_EQ(tableNames(*connection), QStringList{"ml_out$"});
    const auto records = selectAll(*connection, QStringLiteral("ml_out$"));
    EXPECT_EQ(fieldNames(*records).mid(0, 3),
              QStringList({"Item", "Thickness", "Number Off Bends"}));
    ASSERT_EQ(records->fieldCount(), 18);
    ASSERT_EQ(records->recordCount(), 75);
    EXPECT_EQ(records->valueAt(1, 0), Value::text("1625593500"));
    EXPECT_EQ(records->valueAt(1, 9), Value::floating(56969.955));
}

// Its workbook, styles and sheet parts lie at the package root, found through the
// relationships; openpyxl misses the styles there and reads dates as serial numbers. From the
// XML: R7 holds 28953 in style 5, whose format is "mm\/dd\/yy".
TEST(XlsxWithoutOracle, FindsEveryPartThroughItsRelationships) {
    const QString path = fixturePath(QStringLiteral("xlsx/tafia__calamine/minimal_package.xlsx"));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    const auto records = selectAll(*openFile(path), QStringLiteral("Sheet1$"));
    ASSERT_GT(records->recordCount(), 5);
    EXPECT_EQ(records->valueAt(5, 17), Value::text("1979-04-08"));
}

TEST(XlsxText, EscapesStandForTheCharacterOfTheirCode) {
    const std::pair<const char*, const char*> cases[] = {
        {"a_x000D_b", "a\rb"},    {"_x005F_x000D_", "_x000D_"},
        {"_x00e9__x00E9_", "éé"}, {"_x00_ _x00e9", "_x00_ _x00e9"},
        {"__x0041_", "_A"},       {"_xGGGG_", "_xGGGG_"},
    };
    for (const auto& [escaped, plain] : cases) {
        EXPECT_EQ(dao::xlsx::unescapeXmlText(QString::fromUtf8(escaped)), QString::fromUtf8(plain))
            << escaped;
    }
}

// A copy of an .xls file whose "Workbook" stream is renamed "EncryptedPackage": the form a
// workbook protected by a password to open takes.
QString encryptedWorkbook(const QString& folder) {
    QByteArray file = readAll(fixturePath(QStringLiteral("xls/libxls__libxls/test2.xls")));
    const QString name = QStringLiteral("EncryptedPackage");
    const qsizetype at = file.indexOf(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16));
    if (at < 0) return {};
    file.replace(at, 34,
                 QByteArray(reinterpret_cast<const char*>(name.utf16()), 32) + QByteArray(2, '\0'));
    file.replace(at + 64, 2, bytesOf(34, 2));
    return writeFile(folder + QStringLiteral("/encrypted.xlsx"), file);
}

// Every table of the file read in a child process with 300 MB of memory and 20 s of CPU at
// most: "read: " and the first field names, or "error: " and the message.
std::string outcomeOfReading(const QString& path) {
    return outcomeUnderLimits(
        [&] {
            auto connection = openFile(path);
            QStringList names;
            for (const QString& table : tableNames(*connection))
                names << fieldNames(*selectAll(*connection, table)).join(u',');
            return names.join(u'|').toStdString();
        },
        300, 20);
}

TEST(BadFiles, GiveOneClearErrorNamingTheFile) {
    QTemporaryDir folder;
    const QString xlsxSample = generated(QStringLiteral("kinds.xlsx"));
    const QString sample = QStringLiteral("tafia__calamine/");
    const std::pair<QString, const char*> cases[] = {
        {generated(QStringLiteral("bomb.xlsx")), "zip bomb"},
        {generated(QStringLiteral("laughs.xlsx")), "declares a document type"},
        {generated(QStringLiteral("beyond.xlsx")), "past the limits"},
        {generated(QStringLiteral("broken.xlsx")), "not well-formed XML"},
        {generated(QStringLiteral("stray.xlsx")), "too many to load"},
        {generated(QStringLiteral("repeated.ods")), "repeated cells would make"},
        {fixturePath("ods/" + sample + "issue_594_dos.ods"), "past the limits"},
        {fixturePath("ods/" + sample + "pass_protected.ods"), "encrypted"},
        {encryptedWorkbook(folder.path()), "encrypted"},
        {writeFile(folder.filePath("old.xlsx"),
                   readAll(fixturePath(QStringLiteral("xls/libxls__libxls/test2.xls")))),
         "compound file"},
        {writeFile(folder.filePath("cut.xlsx"), readAll(xlsxSample).left(3000)), "no ZIP package"},
        {writeFile(folder.filePath("text.ods"), "a,b\n1,2\n"), "no ZIP package"},
    };
    for (const auto& [path, reason] : cases) {
        const std::string outcome = outcomeOfReading(path);
        EXPECT_TRUE(outcome.starts_with("error: ") &&
                    outcome.find(path.toStdString()) != std::string::npos &&
                    outcome.find(reason) != std::string::npos)
            << outcome << " lacks " << reason;
    }
}

// A sheet that cannot be read gives the same error streamed as loaded.
TEST(BadFiles, GiveTheSameErrorStreamed) {
    for (const char* file : {"broken.xlsx", "stray.xlsx", "repeated.ods", "beyond.xlsx"}) {
        try {
            const auto connection = openFile(generated(QString::fromLatin1(file)));
            for (const QString& table : tableNames(*connection))
                expectStreamedAsLoaded(*connection, table);
        } catch (const dao::DaoError& error) {  // refused before any sheet is read
            EXPECT_TRUE(error.description().contains(file)) << error.description().toStdString();
        }
    }
}

// Empty repeated rows and columns cost nothing: a sheet whose last row is 1,048,576 and last
// column 16,384, with two values in A1:A2, loads within the same small limits.
TEST(RepeatedEmptyCells, CostNeitherMemoryNorTime) {
    EXPECT_EQ(outcomeOfReading(generated(QStringLiteral("empties.ods"))), "read: head");
}

// A table of a generated file (loaded, or streamed keeping one record) as tableText gives it,
// or "error: " and why it cannot be read.
std::string readGenerated(const char* file, const QString& table = QStringLiteral("Data$"),
                          bool streamed = false) {
    try {
        const auto connection = openFile(generated(QString::fromLatin1(file)));
        const QString sql = QStringLiteral("SELECT * FROM [") + table + u']';
        return tableText(*(streamed ? connection->openStreamedRecordset(sql, 1)
                                    : connection->openRecordset(sql)));
    } catch (const dao::DaoError& error) {
        return "error: " + error.description().toStdString();
    }
}

// Empty texts (an empty shared or inline string, a formula's empty result, a string cell
// without text) are cells: the header row made only of them gives F1 to F3, not the names of
// the row below; the last column and the last two rows, made of them too, are kept. Their
// values are Null. An .ods cell of no type and without text is blank.
TEST(EmptyTexts, OccupyTheirCells) {
    for (const char* file : {"emptytexts.xlsx", "emptytexts.ods"}) {
        for (const bool streamed : {false, true}) {
            EXPECT_EQ(readGenerated(file, QStringLiteral("Data$"), streamed),
                      "F1 202, F2 5, F3 202\n'a', '1', NULL\n'b', '2', NULL\nNULL, NULL, NULL\n"
                      "NULL, NULL, NULL")
                << file << (streamed ? " streamed" : "");
        }
    }
}

// 37438 under each built-in format the file does not define: the East Asian date formats
// (27-36, 50-58) give 2002-07-01, as 14 does; 37 is a number format.
TEST(XlsxStyles, LocaleBuiltInFormatsAreDates) {
    std::string names, values;
    for (const int id :
         {14, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 50, 51, 52, 53, 54, 55, 56, 57, 58, 37}) {
        names += (names.empty() ? "id" : ", id") + std::to_string(id) + (id == 37 ? " 5" : " 7");
        values +=
            (values.empty() ? "'" : ", '") + std::string(id == 37 ? "37438" : "2002-07-01") + "'";
    }
    EXPECT_EQ(readGenerated("localedates.xlsx"), names + '\n' + values);
}

// A sheet entry whose part cannot be found is listed, and refused (loaded or streamed) with
// the reason when it is opened; the workbook's other sheets are read.
TEST(OneBadPart, CostsOnlyItsSheet) {
    const std::string prefix = "' of the workbook '" +
                               generated(QStringLiteral("lostsheets.xlsx")).toStdString() +
                               "' cannot be read: the workbook names ";
    const std::pair<QString, std::string> cases[] = {
        {QStringLiteral("Data$"), "kept 5\n'1'"},
        {QStringLiteral("Lost$"),
         "error: The sheet 'Lost" + prefix + "no part for it (its relationship id is empty)."},
        {QStringLiteral("Gone$"), "error: The sheet 'Gone" + prefix +
                                      "its part by the relationship id \"rId9\", which it does "
                                      "not have."},
    };
    for (const auto& [table, expected] : cases) {
        for (const bool streamed : {false, true}) {
            EXPECT_EQ(readGenerated("lostsheets.xlsx", table, streamed), expected)
                << (streamed ? "streamed" : "");
        }
    }
}

// An .ods table asked for by name, in any letter case, is read without the table list being
// read first (the list takes a pass over the whole content); a name no table has is refused,
// and the list then comes from that pass.
TEST(OdsTables, AreFoundByNameWithoutTheirList) {
    for (const bool streamed : {false, true}) {
        EXPECT_EQ(readGenerated("kinds.ods", QStringLiteral("'q1 ''DATA'' 2024$'"), streamed),
                  "top left 202")
            << (streamed ? "streamed" : "");
    }
    const std::string missing = readGenerated("kinds.ods", QStringLiteral("Missing$"));
    EXPECT_NE(missing.find("has no worksheet 'Missing$'"), std::string::npos) << missing;
    const auto connection = openFile(generated(QStringLiteral("kinds.ods")));
    EXPECT_THROW(selectAll(*connection, QStringLiteral("Missing$")), dao::DaoError);
    EXPECT_EQ(tableNames(*connection), QStringList({"Kinds$", "'Q1 ''data'' 2024$'", "Empty$"}));
}

// Packages that other readers open: local headers that carry the sizes along with the
// data-descriptor flag (CRC 0 there); part names written with "\".
TEST(ZipPackages, OfOtherWritersAreRead) {
    for (const char* file : {"descriptors.xlsx", "backslashes.xlsx"})
        EXPECT_EQ(readGenerated(file), "kept 5\n'1'") << file;
}

// A date or time no value holds (before the year 1, after 9999, a negative time) is read as
// the text of its cell, or else the value written; the column becomes text, and its field
// says why. The sheet's other cells are read as they are.
TEST(UnheldDates, AreReadAsTextWithANote) {
    const std::string fields =
        "when 202 (dates and times outside the years 1 to 9999, or not valid, are read as the "
        "text the file holds), other 5\n'2024-01-01', '1'\n";
    const std::pair<const char*, std::string> cases[] = {
        {"odddates.xlsx", fields + "'-0001-12-30', '2'"},
        {"odddates.ods", fields + "'n/a', '2'\n'-01:00', '3'\n'10000-01-01', '4'"},
    };
    for (const auto& [file, expected] : cases) {
        for (const bool streamed : {false, true}) {
            EXPECT_EQ(readGenerated(file, QStringLiteral("Data$"), streamed), expected)
                << file << (streamed ? " streamed" : "");
        }
    }
}

}  // namespace
}  // namespace keldara::test::sheets
