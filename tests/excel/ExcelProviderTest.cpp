// What a user of the source side sees of a workbook: its table names, field names and types,
// the values of formulas, dates and merged cells, and the errors of files it cannot read.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "support/Damage.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::DaoError;
using dao::Value;

QString xls(const char* relative) {
    return fixturePath(QStringLiteral("xls/") + QLatin1String(relative));
}

QStringList fieldNames(const dao::Recordset& records) {
    QStringList names;
    for (int i = 0; i < records.fieldCount(); ++i) names << records.fieldInfo(i).name;
    return names;
}

std::vector<int> fieldTypes(const dao::Recordset& records) {
    std::vector<int> types;
    for (int i = 0; i < records.fieldCount(); ++i) types.push_back(records.fieldInfo(i).type);
    return types;
}

std::vector<Value> column(const dao::Recordset& records, int c) {
    std::vector<Value> values;
    for (long r = 0; r < records.recordCount(); ++r) values.push_back(records.valueAt(r, c));
    return values;
}

DaoError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DaoError& error) {
        return error;
    }
    ADD_FAILURE() << "no DaoError";
    return DaoError(0, {});
}

TEST(ExcelCatalogue, NamesSheetsAsJetDoesAndFindsThemByEitherForm) {
    auto connection = openWorkbook(xls("python-excel__xlrd/namesdemo.xls"));
    EXPECT_EQ(catalogueNames(*connection),
              (QStringList{"Sheet1$", "Sheet2$", "Sheet3$", "'Seamus O''Reilly$'"}));
    for (const char* table : {"'Seamus O''Reilly$'", "Seamus O'Reilly$", "'seamus o''reilly$'"}) {
        auto records = readTable(*connection, QString::fromUtf8(table));
        EXPECT_EQ(fieldNames(*records), QStringList{"42"}) << table;
    }
    EXPECT_EQ(readTable(*connection, QStringLiteral("sheet3$"))->fieldCount(), 14);
    const DaoError missing = errorOf([&] { readTable(*connection, QStringLiteral("Sheet3")); });
    EXPECT_EQ(missing.number(), DaoError::NoSuchTable);
    EXPECT_TRUE(missing.description().contains(QLatin1String("namesdemo.xls")));
    EXPECT_THROW(connection->openRecordset(QStringLiteral("SELECT a FROM [Sheet1$]")), DaoError);
}

TEST(ExcelCatalogue, ListsWorksheetsInWorkbookOrderWithNonAsciiNames) {
    auto formate = openWorkbook(xls("python-excel__xlrd/Formate.xls"));
    EXPECT_EQ(catalogueNames(*formate), (QStringList{"Blätt1$", "ÖÄÜ$", "Blätt3$", "Formate$"}));
    auto csvkit = openWorkbook(xls("wireservice__csvkit/sheets.xls"));
    EXPECT_EQ(catalogueNames(*csvkit), (QStringList{"'not this one$'", "data$", "ʤ$"}));
    auto utf8 = openWorkbook(xls("tidyverse__readxl/utf8-sheet-names.xls"));
    EXPECT_EQ(catalogueNames(*utf8), (QStringList{"µ$", "'∂$'"}));
    auto shapes = openWorkbook(generatedWorkbook(QStringLiteral("shapes.xls")));
    EXPECT_EQ(catalogueNames(*shapes),
              (QStringList{"'My Sheet$'", "'2019$'", "'a-b$'", "Ünïcode$", "'O''Brien''s data$'",
                           "under_score$", "Mixed$", "Big$", "Wide$"}));
}

TEST(ExcelTable, FormulaResultsOfEveryKind) {
    auto connection = openWorkbook(xls("python-excel__xlrd/formula_test_sjmachin.xls"));
    auto records = readTable(*connection, QStringLiteral("Sheet1$"));
    ASSERT_EQ(fieldNames(*records), (QStringList{"Description", "Data"}));
    // Text, a number and a Boolean in one column: text, with nothing lost.
    EXPECT_EQ(records->fieldInfo(1).type, dao::adType::VarWChar);
    const std::vector<Value> expected{Value::text(QStringLiteral("МОСКВА Москва")),
                                      Value::text(QStringLiteral("0.14285714285714285")),
                                      Value::text(QStringLiteral("ABCDEF")),
                                      Value::null(),  // the zero-length text
                                      Value::text(QStringLiteral("TRUE")),
                                      Value::null(),  // #DIV/0!
                                      Value::text(QStringLiteral("МОСКВА Москва"))};
    EXPECT_EQ(column(*records, 1), expected);
}

TEST(ExcelTable, TypesFollowEveryValueOfAColumn) {
    auto connection = openWorkbook(xls("wireservice__csvkit/sheets.xls"));
    auto records = readTable(*connection, QStringLiteral("data$"));
    EXPECT_EQ(fieldNames(*records), (QStringList{"text", "date", "integer", "boolean", "float",
                                                 "datetime", "empty_column", "F8"}));
    using namespace dao::adType;
    EXPECT_EQ(fieldTypes(*records), (std::vector<int>{VarWChar, Date, Double, Boolean, Double, Date,
                                                      VarWChar, VarWChar}));
    EXPECT_EQ(records->fieldInfo(0).definedSize, 255);
    EXPECT_EQ(records->valueAt(0, 1), Value::date(1971, 1, 1));
    EXPECT_EQ(records->valueAt(1, 5), Value::dateTime({1948, 1, 1, 14, 57, 13, 0}));
    EXPECT_EQ(records->valueAt(2, 3), Value::boolean(false));
    EXPECT_EQ(records->valueAt(2, 4), Value::floating(41800000.01));
    // A row of blanks inside the range is a record of Nulls.
    EXPECT_EQ(records->valueAt(3, 0), Value::text(QStringLiteral("This row has blanks")));
    for (int c = 1; c < 8; ++c) EXPECT_TRUE(records->valueAt(3, c).isNull());

    auto strings = openWorkbook(generatedWorkbook(QStringLiteral("strings.xls")));
    auto longText = readTable(*strings, QStringLiteral("Strings$"));
    EXPECT_EQ(longText->fieldInfo(1).type, LongVarWChar);
    EXPECT_EQ(longText->valueAt(49, 1).toText().size(), 3500);
}

TEST(ExcelTable, HeaderRowAndUsedRange) {
    auto connection = openWorkbook(generatedWorkbook(QStringLiteral("shapes.xls")));
    auto mixed = readTable(*connection, QStringLiteral("Mixed$"));
    // A blank header is named by its position, a numeric one by its number, a repeated one
    // gets a number appended. Formatted empty cells below the data add no records.
    EXPECT_EQ(fieldNames(*mixed), (QStringList{"mixed", "F2", "7", "mixed1"}));
    EXPECT_EQ(mixed->recordCount(), 10);
    EXPECT_EQ(mixed->fieldInfo(2).type, dao::adType::VarWChar);  // all empty
    QStringList texts;
    for (const Value& v : column(*mixed, 0)) texts << v.toText();
    EXPECT_EQ(texts, (QStringList{"1", "0.1", "1e+21", "text", "TRUE", "FALSE", "2001-02-03",
                                  "2001-02-03 04:05:06", "-2.5", "123456789012345"}));

    auto geometry = openWorkbook(xls("tidyverse__readxl/geometry.xls"));
    auto offset = readTable(*geometry, QStringLiteral("Sheet1$"));
    EXPECT_EQ(fieldNames(*offset), (QStringList{"B3", "C3", "D3"}));
    EXPECT_EQ(offset->recordCount(), 3);

    auto empty = openWorkbook(xls("tidyverse__readxl/empty-sheets.xls"));
    auto nothing = readTable(*empty, QStringLiteral("empty$"));
    EXPECT_EQ(fieldNames(*nothing), QStringList{"F1"});
    EXPECT_EQ(nothing->recordCount(), 0);
    auto headerOnly = readTable(*empty, QStringLiteral("header_only$"));
    EXPECT_EQ(fieldNames(*headerOnly), (QStringList{"var1", "var2"}));
    EXPECT_EQ(headerOnly->recordCount(), 0);
}

TEST(ExcelTable, MergedCellsKeepTheirValueInTheFirstCell) {
    auto connection = openWorkbook(xls("okfn__messytables/span_rich.xls"));
    auto records = readTable(*connection, QStringLiteral("Sheet1$"));
    EXPECT_EQ(records->valueAt(0, 1), Value::text(QStringLiteral("MERGE")));
    EXPECT_TRUE(records->valueAt(0, 2).isNull());
    EXPECT_TRUE(records->valueAt(1, 1).isNull());
    EXPECT_EQ(records->valueAt(3, 1), Value::text(QStringLiteral("bold and italic")));
}

TEST(ExcelTable, BothDateSystemsGiveTheSameDates) {
    for (const char* pair : {"tidyverse__readxl/dates-190", "generated"}) {
        SCOPED_TRACE(pair);
        const bool generated = QLatin1String(pair) == QLatin1String("generated");
        auto a = openWorkbook(generated ? generatedWorkbook(QStringLiteral("dates1900.xls"))
                                        : xls("tidyverse__readxl/dates-1900.xls"));
        auto b = openWorkbook(generated ? generatedWorkbook(QStringLiteral("dates1904.xls"))
                                        : xls("tidyverse__readxl/dates-1904.xls"));
        const QString table = generated ? QStringLiteral("Dates$") : QStringLiteral("Sheet1$");
        auto in1900 = readTable(*a, table);
        auto in1904 = readTable(*b, table);
        EXPECT_EQ(fieldNames(*in1900), fieldNames(*in1904));
        ASSERT_EQ(in1900->recordCount(), in1904->recordCount());
        // Dates before 1904 cannot be written in the 1904 system: the first record differs.
        for (long r = generated ? 2 : 0; r < in1900->recordCount(); ++r) {
            for (int c = 0; c < in1900->fieldCount(); ++c) {
                EXPECT_EQ(in1900->valueAt(r, c), in1904->valueAt(r, c)) << r << "," << c;
            }
        }
    }
    auto dates = openWorkbook(generatedWorkbook(QStringLiteral("dates1900.xls")));
    auto records = readTable(*dates, QStringLiteral("Dates$"));
    using namespace dao::adType;
    EXPECT_EQ(fieldTypes(*records), (std::vector<int>{Date, Date, Date, Date, Double}));
    EXPECT_EQ(column(*records, 0),
              (std::vector<Value>{Value::date(1900, 1, 1), Value::date(1900, 3, 1),
                                  Value::date(2000, 1, 1), Value::date(9999, 12, 31)}));
    EXPECT_EQ(records->valueAt(1, 1), Value::dateTime({1999, 12, 31, 12, 0, 0, 250000}));
    EXPECT_EQ(records->valueAt(1, 2), Value::time(6, 34, 0));
    EXPECT_EQ(records->valueAt(0, 3), Value::date(2020, 5, 17));
}

TEST(ExcelTable, LargestSheetsOfTheFormat) {
    auto connection = openWorkbook(generatedWorkbook(QStringLiteral("shapes.xls")));
    auto big = readTable(*connection, QStringLiteral("Big$"));
    ASSERT_EQ(big->recordCount(), 65535);
    for (long r = 0; r < big->recordCount(); ++r) {
        ASSERT_EQ(big->valueAt(r, 0), Value::floating(static_cast<double>(r + 1)));
    }
    EXPECT_EQ(big->valueAt(64999, 1), Value::text(QStringLiteral("row 65000")));
    EXPECT_TRUE(big->valueAt(65000, 1).isNull());
    auto wide = readTable(*connection, QStringLiteral("Wide$"));
    ASSERT_EQ(wide->fieldCount(), 256);
    EXPECT_EQ(wide->fieldInfo(255).name, QStringLiteral("c255"));
    EXPECT_EQ(wide->valueAt(0, 255), Value::floating(318.75));
}

TEST(ExcelFile, UnreadableFilesGiveErrorsNamingThem) {
    QTemporaryDir folder;
    const auto writeFile = [&](const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    QByteArray noWorkbookStream = readAll(xls("libxls__libxls/test2.xls"));
    noWorkbookStream.replace(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16),
                             QByteArray("X\0o\0r\0k\0b\0o\0o\0k\0", 16));
    struct Case {
        QString path;
        const char* reason;
    };
    const Case cases[] = {
        {xls("okfn__messytables/encrypted_no_password.xls"), "encrypted"},
        {fixturePath(QStringLiteral("csv/okfn__messytables/example.tsv")), "not an Excel workbook"},
        {writeFile(QStringLiteral("empty.xls"), {}), "not an Excel workbook"},
        {writeFile(QStringLiteral("other.xls"), noWorkbookStream), "without a workbook stream"},
        {folder.filePath(QStringLiteral("missing.xls")), "does not exist"},
    };
    for (const Case& c : cases) {
        const DaoError error = errorOf([&] { openWorkbook(c.path); });
        EXPECT_TRUE(error.description().contains(c.path)) << error.description().toStdString();
        EXPECT_TRUE(error.description().contains(QLatin1String(c.reason)))
            << error.description().toStdString();
    }
}

TEST(ExcelFile, ConnectionLifecycle) {
    auto connection =
        dao::createConnection(connectionString(xls("tidyverse__readxl/geometry.xls")));
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->close(), DaoError);
    connection->open(connectionString(xls("tidyverse__readxl/geometry.xls")));
    EXPECT_TRUE(connection->isOpen());
    EXPECT_THROW(connection->execute(QStringLiteral("DELETE FROM [Sheet1$]")), DaoError);
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->openTableCatalogue(), DaoError);
}

}  // namespace
}  // namespace keldara::test::excel
