#include <gtest/gtest.h>

#include <QFileInfo>

#include "TextTestSupport.h"

namespace keldara::test::text {
namespace {

namespace adType = dao::adType;

class TextFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(TextFixture, ReadsTheSameRecordsAsPythonCsv) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    expectSameAsPython(*recordset, file.absoluteFilePath());
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, TextFixture, ::testing::ValuesIn(sampleTextFiles()),
                         sampleTestName);

// The field types the provider gives by design, where Python sees only text.
TEST(TextFixtureTypes, FieldTypesFollowTheValues) {
    const struct {
        const char* file;
        const char* field;
        int type;
    } expectations[] = {
        {"BurntSushi__rust-csv/uspop-latin1.csv", "Population", adType::Integer},
        {"BurntSushi__rust-csv/uspop-latin1.csv", "Latitude", adType::Double},
        {"BurntSushi__rust-csv/worldcitiespop.csv", "Region", adType::VarWChar},  // "06"
        {"BurntSushi__rust-csv/worldcitiespop.csv", "Latitude", adType::Double},  // ".5"
        {"BurntSushi__rust-csv/worldcitiespop.csv", "Population", adType::Integer},
        {"okfn__messytables/example.tsv", "hour", adType::Date},
        {"okfn__messytables/example.tsv", "expr1_0_imp", adType::Integer},
        {"okfn__messytables/example.tsv", "expr1_0_hist_ctr", adType::Double},
        {"okfn__messytables/excel_pasting.csv", "F2", adType::VarWChar},  // "2000", "2,666"
        {"okfn__messytables/spanish_chars.csv", "FN_ID", adType::Integer},
        {"okfn__messytables/spanish_chars.csv", "Gasto total 2011", adType::VarWChar},
        {"okfn__messytables/spanish_chars.csv", "Descripción", adType::LongVarWChar},
        {"wireservice__csvkit/FY09_EDU_Recipients_by_State.csv", "Code", adType::VarWChar},
        {"wireservice__csvkit/ks_1033_data.csv", "ship_date", adType::VarWChar},  // M/D/YYYY
        {"wireservice__csvkit/ks_1033_data.csv", "acquisition_cost", adType::Double},
        {"wireservice__csvkit/ks_1033_data.csv", "fips", adType::Integer},
        {"wireservice__csvkit/ilgeo2010_excerpt.csv", "AREALAND", adType::BigInt},
        {"datasets__country-codes/country-codes.csv", "ISO3166-1-numeric", adType::Integer},
        {"datasets__country-codes/country-codes.csv", "Dial", adType::VarWChar},
        {"lukaswhite__geonames-php/admin1CodesASCII.txt", "3039162", adType::Integer},
    };
    for (const auto& expected : expectations) {
        const QFileInfo file(fixturePath(QStringLiteral("csv/") + expected.file));
        const auto recordset = readTextFile(file.absolutePath(), file.fileName());
        const int index = fieldNames(*recordset).indexOf(QString::fromUtf8(expected.field));
        ASSERT_GE(index, 0) << expected.file << " " << expected.field;
        EXPECT_EQ(recordset->fieldInfo(index).type, expected.type)
            << expected.file << " " << expected.field;
        expectDefinedSize(recordset->fieldInfo(index));
    }
}

}  // namespace
}  // namespace keldara::test::text
