#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "platform/dao/DaoError.h"
#include "support/Damage.h"

namespace keldara::test::text {
namespace {

using dao::DateTime;
using dao::Value;
namespace adType = dao::adType;

Value txt(const char* utf8) {
    return Value::text(QString::fromUtf8(utf8));
}
Value num(std::int64_t i) {
    return Value::integer(i);
}
constexpr int kInt = adType::Integer, kBigInt = adType::BigInt, kDouble = adType::Double,
              kDate = adType::Date, kText = adType::VarWChar, kMemo = adType::LongVarWChar;

struct GeneratedCase {
    const char* fileName;  // also names the case
    QByteArray bytes;
    QStringList names;
    std::vector<int> types;
    std::vector<std::vector<Value>> rows = {};  // none: Python's reading decides the values
    bool pythonReadsAlike = true;               // false where Python's reading differs by design
};

std::vector<GeneratedCase> generatedCases() {
    const QByteArray longValue = QString(300, QChar(0xE9)).toUtf8();
    const QByteArray limitValue = QByteArray(255, 'x');
    return {
        {"quotes.csv",
         "id,text\n1,\"a \"\"quoted\"\" word\"\n2,\"comma, inside\"\n3,\"line\r\nbreak\"\n"
         "4,\"cr\ronly\"\n5,\"\"\"\"\n",
         {"id", "text"},
         {kInt, kText}},
        {"cr_only.csv", "a,b\r1,x\r2,y", {"a", "b"}, {kInt, kText}},
        {"crlf.csv", "a,b\r\n1,2\r\n3,4", {"a", "b"}, {kInt, kInt}},
        {"windows1252.csv",
         "name,price\r\nCaf\xE9 \x80\x81\x8D\x8F\x90\x9D\x85\x8A,1.5\r\n",
         {"name", "price"},
         {kText, kDouble},
         {{txt("Caf\xC3\xA9 "
               "\xE2\x82\xAC\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xE2\x80\xA6\xC5\xA0"),
           Value::floating(1.5)}}},
        {"utf8_bom.csv",
         "\xEF\xBB\xBFname,city\nA,M\xC3\xBCnchen\n",
         {"name", "city"},
         {kText, kText}},
        {"utf8.csv",
         "name,city\nA,\xE6\xBC\xA2\xE5\xAD\x97\xF0\x9F\x98\x80\n",
         {"name", "city"},
         {kText, kText}},
        {"utf16_bom.txt",
         QByteArray("\xFF\xFE", 2) +
             QByteArray(reinterpret_cast<const char*>(u"a\tb\r\n1\t\u00FC\r\n"), 20),
         {"a", "b"},
         {kInt, kText},
         {{num(1), txt("\xC3\xBC")}},
         false},
        {"short_records.csv", "a,b,c\n1\n2,3\n", {"a", "b", "c"}, {kInt, kInt, kText}},
        {"empty_beyond_header.csv",
         "a,b\n1,2,,\n",
         {"a", "b"},
         {kInt, kInt},
         {{num(1), num(2)}},
         false},
        {"leading_zeros.csv", "code,n\n007,0\n0123,10\n", {"code", "n"}, {kText, kInt}},
        {"integer_widths.csv",
         "small,big,huge\n2147483647,2147483648,9223372036854775808\n"
         "-2147483648,-9223372036854775808,1\n",
         {"small", "big", "huge"},
         {kInt, kBigInt, kText}},
        {"exact_numbers.csv",
         "a,b,c,d,e,f,g,h\n1.5,1,0.1000000000000000000001,1e5,+1,0.5,.5,1.50\n"
         "-0.25,2.5,1,2,2,9007199254740993,-.75,10\n",
         {"a", "b", "c", "d", "e", "f", "g", "h"},
         {kDouble, kDouble, kText, kText, kText, kText, kDouble, kDouble}},
        {"iso_dates.csv",
         "d,dt,t,bad,us\n2024-02-29,2024-02-29 13:45:10,2024-02-29T08:00,2023-02-29,5/19/2006\n"
         "1999-12-31,1999-12-31 23:59:59.123456,2000-01-01 00:00,2023-01-01,1/2/2006\n",
         {"d", "dt", "t", "bad", "us"},
         {kDate, kDate, kDate, kText, kText},
         {{Value::date(2024, 2, 29), Value::dateTime(DateTime{2024, 2, 29, 13, 45, 10, 0}),
           Value::dateTime(DateTime{2024, 2, 29, 8, 0, 0, 0}), txt("2023-02-29"), txt("5/19/2006")},
          {Value::date(1999, 12, 31), Value::dateTime(DateTime{1999, 12, 31, 23, 59, 59, 123456}),
           Value::dateTime(DateTime{2000, 1, 1, 0, 0, 0, 0}), txt("2023-01-01"), txt("1/2/2006")}}},
        {"empty_fields.csv", "a,b,c\n,\"\",\n1,x,\n", {"a", "b", "c"}, {kInt, kText, kText}},
        {"blank_and_duplicate_names.csv",
         "id,,Name,name,F2\n1,2,3,4,5\n",
         {"id", "F2", "Name", "name_2", "F2_2"},
         {kInt, kInt, kInt, kInt, kInt}},
        {"blank_lines.csv", "\na,b\n\n1,2\n\n\n3,4\n\n", {"a", "b"}, {kInt, kInt}},
        {"one_column_blank_lines.csv", "v\n1\n\n2\n\n", {"v"}, {kInt}},
        {"long_text.csv",
         "long,limit\n" + longValue + "," + limitValue + "\n",
         {"long", "limit"},
         {kMemo, kText}},
        {"tab.tsv", "a\tb\n1\t\"q\tq\"\n", {"a", "b"}, {kInt, kText}},
        {"comma.txt", "a,b\n1,2\n", {"a", "b"}, {kInt, kInt}},
        {"tab_in_header.txt", "a\tb,c\n1\t2,3\n", {"a", "b,c"}, {kInt, kText}},
        {"tab_in.csv", "a\tb,c\n1\t2,3\n", {"a\tb", "c"}, {kText, kInt}},
        {"after_closing_quote.csv", "a,b\n\"x\"y,z\"w\"\n", {"a", "b"}, {kText, kText}},
        {"header_only.csv", "a,b\r\n", {"a", "b"}, {kText, kText}, {}},
        {"empty.csv", "", {}, {}, {}, false},
        {"bom_only.csv", "\xEF\xBB\xBF", {}, {}, {}, false},
        {"line_ends_only.csv", "\r\n\n", {}, {}, {}, false},
    };
}

void PrintTo(const GeneratedCase& c, std::ostream* os) {
    *os << c.fileName;
}

class GeneratedFile : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedFile, ReadsNamesTypesSizesAndValues) {
    const GeneratedCase& c = GetParam();
    QTemporaryDir dir;
    writeBytes(dir.filePath(c.fileName), c.bytes);
    const auto recordset = readTextFile(dir.path(), c.fileName);
    EXPECT_EQ(fieldNames(*recordset), c.names);
    for (int f = 0; f < recordset->fieldCount(); ++f) {
        const dao::FieldInfo& info = recordset->fieldInfo(f);
        EXPECT_EQ(info.type, c.types.at(f)) << info.name.toStdString();
        expectDefinedSize(info);
    }
    if (!c.rows.empty() || !c.pythonReadsAlike) {
        ASSERT_EQ(recordset->recordCount(), static_cast<long>(c.rows.size()));
    }
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        for (std::size_t f = 0; f < c.rows[r].size(); ++f) {
            const Value value = recordset->valueAt(static_cast<long>(r), static_cast<int>(f));
            EXPECT_EQ(value, c.rows[r][f])
                << "record " << r << " field " << f << ": " << value.sqlLiteral().toStdString();
        }
    }
    if (c.pythonReadsAlike) expectSameAsPython(*recordset, dir.filePath(c.fileName));
}

INSTANTIATE_TEST_SUITE_P(Cases, GeneratedFile, ::testing::ValuesIn(generatedCases()),
                         [](const auto& info) { return testNameOf(info.param.fileName); });

TEST(BrokenFile, GivesAnErrorNamingFileAndLine) {
    const std::pair<QByteArray, const char*> cases[] = {
        {"a,b\n1,2\n3,4,5\n", "line 3 holds 3 fields"},
        {"a,b\n1,\"x\ny\"\n3,4,5\n", "line 4 holds 3"},  // lines counted inside quotes
        {"a,b\r1,2\r\r3,4,5\r", "line 4 holds 3"},       // and by carriage returns
        {"a,b\n1,2\n3,\"open\n4,5\n", "begins on line 3 is never closed"},
        {QByteArray(16000, ',') + "\n" + QByteArray("x\n").repeated(2000), "hold far fewer fields"},
        {"\xFF\xFE\x61", "UTF-16"},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath("broken.csv");
    for (const auto& [bytes, message] : cases) {
        writeBytes(file, bytes);
        try {
            readTextFile(dir.path(), QStringLiteral("broken.csv"));
            ADD_FAILURE() << "no error for " << message;
        } catch (const dao::DaoError& error) {
            EXPECT_TRUE(error.description().contains(file) && error.description().contains(message))
                << message << ": " << error.description().toStdString();
            EXPECT_EQ(error.number(), dao::DaoError::BadFile) << message;
        }
    }
}

// Random bytes of the characters that steer the parser, every other file as UTF-16.
TEST(DamagedText, RandomBytesGiveRecordsOrAnError) {
    QTemporaryDir dir;
    auto connection = dao::openConnection(textConnectionString(dir.path()));
    QRandomGenerator random(4);
    const QByteArray alphabet("\",\t\r\n ax0.-\xC3\xA9\xFF\xEF\xBB\xBF\0", 18);
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random.bounded(200)), '\0');
        for (char& b : bytes) b = alphabet[static_cast<qsizetype>(random.bounded(alphabet.size()))];
        writeBytes(dir.filePath("random.txt"), (round % 2 ? "" : "\xFF\xFE") + bytes);
        try {
            connection->openRecordset(QStringLiteral("SELECT * FROM [random.txt]"));
        } catch (const dao::DaoError& error) {
            EXPECT_TRUE(error.description().contains(dir.filePath("random.txt")));
        }
    }
}

// Up to 16384 fields are read, with unique names, in bounded time and memory; a wider
// record is refused with its field count.
TEST(DamagedText, WideHeadersAreReadOrRefusedWithTheFieldCount) {
    const struct {
        const char* name;
        QByteArray header;
        std::string outcome;  // the last field's name, or the count the error names
    } cases[] = {
        {"blank.csv", QByteArray(16383, ','), "read: F16384"},
        {"equal.csv", QByteArray("a,").repeated(16383) + "a", "read: a_16384"},
        {"wider.csv", QByteArray(16384, ','), "16385 fields"},
        {"huge.csv", QByteArray(4 << 20, ','), "4194305 fields"},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        writeBytes(path, c.header + "\r\n1\r\n");
        const std::string outcome = outcomeUnderLimits(
            [&] {
                const auto records = readTextFile(dir.path(), QString::fromLatin1(c.name));
                return records->fieldInfo(records->fieldCount() - 1).name.toStdString();
            },
            256, 20);
        if (c.outcome.starts_with("read: ")) {
            EXPECT_EQ(outcome, c.outcome) << c.name;
        } else {
            EXPECT_TRUE(outcome.starts_with("error: ") &&
                        outcome.find(path.toStdString()) != std::string::npos &&
                        outcome.find(c.outcome) != std::string::npos)
                << c.name << ": " << outcome;
        }
    }
}

// The field types the provider gives by design, where Python sees only text.
const struct {
    const char* file;
    const char* field;
    int type;
} kTypes[] = {
    {"uspop-latin1.csv", "Population", adType::Integer},
    {"worldcitiespop.csv", "Region", adType::VarWChar},  // "06"
    {"worldcitiespop.csv", "Latitude", adType::Double},  // ".5"
    {"example.tsv", "hour", adType::Date},
    {"example.tsv", "expr1_0_hist_ctr", adType::Double},
    {"excel_pasting.csv", "F2", adType::VarWChar},  // "2000", "2,666" below title rows
    {"mixedGLB.csv", "F2", adType::VarWChar},
    {"spanish_chars.csv", "Gasto total 2011", adType::VarWChar},
    {"spanish_chars.csv", "Descripción", adType::LongVarWChar},
    {"FY09_EDU_Recipients_by_State.csv", "Code", adType::VarWChar},
    {"ks_1033_data.csv", "ship_date", adType::VarWChar},  // M/D/YYYY
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
