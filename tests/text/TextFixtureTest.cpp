#include <gtest/gtest.h>

#include <QFileInfo>

#include "TextTestSupport.h"

namespace keldara::test::text {
namespace {

namespace adType = dao::adType;

// The field types the provider gives by design, where Python sees only text.
const struct {
    const char* file;
    const char* field;
    int type;
} kTypes[] = {
    {"uspop-latin1.csv", "Population", adType::Integer},
    {"uspop-latin1.csv", "Latitude", adType::Double},
    {"worldcitiespop.csv", "Region", adType::VarWChar},  // "06"
    {"worldcitiespop.csv", "Latitude", adType::Double},  // ".5"
    {"worldcitiespop.csv", "Population", adType::Integer},
    {"example.tsv", "hour", adType::Date},
    {"example.tsv", "expr1_0_imp", adType::Integer},
    {"example.tsv", "expr1_0_hist_ctr", adType::Double},
    {"excel_pasting.csv", "F2", adType::VarWChar},  // "2000", "2,666" below title rows
    {"mixedGLB.csv", "F2", adType::VarWChar},
    {"spanish_chars.csv", "FN_ID", adType::Integer},
    {"spanish_chars.csv", "Gasto total 2011", adType::VarWChar},
    {"spanish_chars.csv", "Descripción", adType::LongVarWChar},
    {"FY09_EDU_Recipients_by_State.csv", "Code", adType::VarWChar},
    {"ks_1033_data.csv", "ship_date", adType::VarWChar},  // M/D/YYYY
    {"ks_1033_data.csv", "acquisition_cost", adType::Double},
    {"ks_1033_data.csv", "fips", adType::Integer},
    {"ilgeo2010_excerpt.csv", "AREALAND", adType::BigInt},
    {"country-codes.csv", "ISO3166-1-numeric", adType::Integer},
    {"country-codes.csv", "Dial", adType::VarWChar},
    {"admin1CodesASCII.txt", "3039162", adType::Integer},
};

class TextFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(TextFixture, ReadsTheSameRecordsAsPythonCsvWithTypesByDesign) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    KELDARA_SKIP_WITHOUT_FIXTURE(file.filePath());
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    expectSameAsPython(*recordset, file.absoluteFilePath());
    int typed = 0;
    for (const auto& expected : kTypes) {
        if (file.fileName() != expected.file) continue;
        const int index = fieldNames(*recordset).indexOf(QString::fromUtf8(expected.field));
        ASSERT_GE(index, 0) << expected.field;
        EXPECT_EQ(recordset->fieldInfo(index).type, expected.type) << expected.field;
        expectDefinedSize(recordset->fieldInfo(index));
        ++typed;
    }
    EXPECT_GT(typed, 0) << "no field types given for " << file.fileName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, TextFixture, ::testing::ValuesIn(sampleTextFiles()),
                         sampleTestName);

}  // namespace
}  // namespace keldara::test::text
