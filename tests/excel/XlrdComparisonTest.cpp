// Every workbook is read through the provider and compared with python3-xlrd's reading, shaped
// by the provider's rules (xlrd_cells.py): tables, field names and types, and every value.
#include <gtest/gtest.h>

#include "excel/ExcelTestSupport.h"
#include "support/Oracle.h"

namespace keldara::test::excel {
namespace {

// Every sample workbook but the encrypted one, and the workbooks the xlwt script writes: both
// date systems, strings across CONTINUE records, sheet names Jet quotes, mixed columns and the
// row and column limits.
std::vector<std::string> workbooks() {
    std::vector<std::string> files = fixtureFiles(QStringLiteral("xls"), {QStringLiteral("*.xls")});
    std::erase_if(files,
                  [](const std::string& file) { return file.find("encrypted") != file.npos; });
    for (const char* name : {"dates1900.xls", "dates1904.xls", "strings.xls", "shapes.xls"})
        files.push_back(std::string("generated/") + name);
    return files;
}

class Workbook : public ::testing::TestWithParam<std::string> {};

TEST_P(Workbook, ReadsAsXlrdDoes) {
    const QString name = QString::fromStdString(GetParam());
    const QString path = name.startsWith(QLatin1String("generated/"))
                             ? generatedWorkbook(name.mid(10))
                             : fixturePath(name);
    const QJsonArray tables =
        oracleOutput({sourceDir() + QStringLiteral("/tests/excel/xlrd_cells.py"), path})["tables"]
            .toArray();
    ASSERT_FALSE(tables.isEmpty());
    QStringList names;
    for (const QJsonValue table : tables) names << table["name"].toString();
    auto connection = openWorkbook(path);
    ASSERT_EQ(catalogueNames(*connection), names);
    for (const QJsonValue table : tables) {
        SCOPED_TRACE(table["name"].toString().toStdString());
        expectSameAsOracle(*readTable(*connection, table["name"].toString()), table.toObject());
    }
}

INSTANTIATE_TEST_SUITE_P(FixturesAndGenerated, Workbook, ::testing::ValuesIn(workbooks()));

}  // namespace
}  // namespace keldara::test::excel
