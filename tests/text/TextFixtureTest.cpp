#include <gtest/gtest.h>

#include <QFileInfo>

#include "TextTestSupport.h"
#include "platform/dao/TypeCodes.h"
#include "support/Paths.h"

namespace keldara::test::text {
namespace {

using dao::Value;
namespace adType = dao::adType;

const char* const kFixtures[] = {
    "csv/wireservice__csvkit/ks_1033_data.csv",
    "csv/wireservice__csvkit/FY09_EDU_Recipients_by_State.csv",
    "csv/wireservice__csvkit/ilgeo2010_excerpt.csv",
    "csv/okfn__messytables/spanish_chars.csv",
    "csv/okfn__messytables/excel_pasting.csv",
    "csv/okfn__messytables/mixedGLB.csv",
    "csv/okfn__messytables/example.tsv",
    "csv/BurntSushi__rust-csv/worldcitiespop.csv",
    "csv/BurntSushi__rust-csv/uspop-latin1.csv",
    "csv/datasets__country-codes/country-codes.csv",
    "csv/lukaswhite__geonames-php/admin1CodesASCII.txt",
};

class TextFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(TextFixture, ReadsTheSameRecordsAsPythonCsv) {
    const QFileInfo file(fixturePath(QString::fromUtf8(GetParam())));
    ASSERT_TRUE(file.isFile()) << file.filePath().toStdString();
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    expectSameAsPython(*recordset, readWithPython(file.absoluteFilePath()), file.fileName());
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, TextFixture, ::testing::ValuesIn(kFixtures));

// The field types the provider gives by design, where Python sees only text.
struct ExpectedType {
    const char* file;
    const char* field;
    int type;
};

const ExpectedType kTypes[] = {
    {"csv/BurntSushi__rust-csv/uspop-latin1.csv", "Population", adType::Integer},
    {"csv/BurntSushi__rust-csv/uspop-latin1.csv", "Latitude", adType::Double},
    {"csv/BurntSushi__rust-csv/worldcitiespop.csv", "Region", adType::VarWChar},  // "06"
    {"csv/BurntSushi__rust-csv/worldcitiespop.csv", "Latitude", adType::Double},  // ".5"
    {"csv/BurntSushi__rust-csv/worldcitiespop.csv", "Population", adType::Integer},
    {"csv/okfn__messytables/example.tsv", "hour", adType::Date},
    {"csv/okfn__messytables/example.tsv", "expr1_0_imp", adType::Integer},
    {"csv/okfn__messytables/example.tsv", "expr1_0_hist_ctr", adType::Double},
    {"csv/okfn__messytables/spanish_chars.csv", "FN_ID", adType::Integer},
    {"csv/okfn__messytables/spanish_chars.csv", "Gasto total 2011", adType::VarWChar},
    {"csv/okfn__messytables/spanish_chars.csv", "Descripción", adType::LongVarWChar},
    {"csv/wireservice__csvkit/FY09_EDU_Recipients_by_State.csv", "Code", adType::VarWChar},
    {"csv/wireservice__csvkit/ks_1033_data.csv", "ship_date", adType::VarWChar},  // M/D/YYYY
    {"csv/wireservice__csvkit/ks_1033_data.csv", "acquisition_cost", adType::Double},
    {"csv/wireservice__csvkit/ks_1033_data.csv", "fips", adType::Integer},
    {"csv/wireservice__csvkit/ilgeo2010_excerpt.csv", "AREALAND", adType::BigInt},
    {"csv/datasets__country-codes/country-codes.csv", "ISO3166-1-numeric", adType::Integer},
    {"csv/datasets__country-codes/country-codes.csv", "Dial", adType::VarWChar},
    {"csv/lukaswhite__geonames-php/admin1CodesASCII.txt", "3039162", adType::Integer},
};

TEST(TextFixtureTypes, FieldTypesFollowTheValues) {
    for (const ExpectedType& expected : kTypes) {
        const QFileInfo file(fixturePath(QString::fromUtf8(expected.file)));
        const auto recordset = readTextFile(file.absolutePath(), file.fileName());
        const int index = fieldNames(*recordset).indexOf(QString::fromUtf8(expected.field));
        ASSERT_GE(index, 0) << expected.file << " " << expected.field;
        EXPECT_EQ(recordset->fieldInfo(index).type, expected.type)
            << expected.file << " " << expected.field;
        const long size = recordset->fieldInfo(index).definedSize;
        if (expected.type == adType::VarWChar) {
            EXPECT_EQ(size, 255);
        } else if (expected.type == adType::Integer) {
            EXPECT_EQ(size, 4);
        }
    }
}

TEST(TextFixtureContents, TitleRowsBecomeTheHeaderWithNumberedBlankNames) {
    const QFileInfo file(fixturePath(QStringLiteral("csv/okfn__messytables/excel_pasting.csv")));
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    const QStringList names = fieldNames(*recordset);
    ASSERT_EQ(names.size(), 9);
    EXPECT_EQ(names[0],
              QStringLiteral("CO2 emissions by different sub-groups in manufacturing sector, 2000 "
                             "to 2007"));
    EXPECT_EQ(names[1], QStringLiteral("F2"));
    EXPECT_EQ(names[8], QStringLiteral("F9"));
    // The third line (all fields empty) is a record of Nulls, not a blank line.
    EXPECT_TRUE(recordset->valueAt(1, 0).isNull());
    EXPECT_EQ(recordset->valueAt(2, 1), Value::text(QStringLiteral("2000")));
}

TEST(TextFixtureContents, FileWithoutHeaderTakesItsFirstRecordAsNames) {
    const QFileInfo file(
        fixturePath(QStringLiteral("csv/lukaswhite__geonames-php/admin1CodesASCII.txt")));
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    EXPECT_EQ(fieldNames(*recordset), QStringList({"AD.06", QStringLiteral("Sant Julià de Loria"),
                                                   "Sant Julia de Loria", "3039162"}));
    EXPECT_EQ(recordset->recordCount(), 3955);

    const auto noHeader = readTextFile(file.absolutePath(), file.fileName(),
                                       QStringLiteral("text;HDR=No;FMT=Delimited;"));
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2", "F3", "F4"}));
    EXPECT_EQ(noHeader->recordCount(), 3956);
    EXPECT_EQ(noHeader->valueAt(0, 3), Value::integer(3039162));
}

TEST(TextFixtureContents, LatinOneAndUtf8TextIsDecoded) {
    const QFileInfo spanish(fixturePath(QStringLiteral("csv/okfn__messytables/spanish_chars.csv")));
    const auto recordset = readTextFile(spanish.absolutePath(), spanish.fileName());
    const QString first = recordset->valueAt(0, 7).toText();
    EXPECT_TRUE(first.contains(QStringLiteral("gestión  gubernamental"))) << first.toStdString();

    const QFileInfo cities(
        fixturePath(QStringLiteral("csv/BurntSushi__rust-csv/worldcitiespop.csv")));
    const auto world = readTextFile(cities.absolutePath(), cities.fileName());
    bool foundQuote = false;
    for (long r = 0; r < world->recordCount() && !foundQuote; ++r) {
        foundQuote = world->valueAt(r, 1) == Value::text(QStringLiteral("kam\"yanetspodilskyy"));
    }
    EXPECT_TRUE(foundQuote);
    EXPECT_EQ(world->valueAt(9, 2), Value::text(QStringLiteral("Kütüs")));
}

}  // namespace
}  // namespace keldara::test::text
