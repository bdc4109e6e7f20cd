#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"

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
Value dbl(double d) {
    return Value::floating(d);
}
const Value null = Value::null();

struct GeneratedCase {
    const char* name;
    const char* fileName;
    QByteArray bytes;
    QStringList names;
    std::vector<int> types;
    std::vector<std::vector<Value>> rows;
    bool pythonReadsAlike = true;  // false where Python's reading differs by design
};

std::vector<GeneratedCase> generatedCases() {
    const QByteArray longValue = QString(300, QChar(0xE9)).toUtf8();
    const QByteArray limitValue = QByteArray(255, 'x');
    return {
        {"QuotesDelimitersAndLineBreaksInQuotes",
         "q.csv",
         "id,text\n1,\"a \"\"quoted\"\" word\"\n2,\"comma, inside\"\n3,\"line\r\nbreak\"\n"
         "4,\"cr\ronly\"\n5,\"\"\"\"\n",
         {"id", "text"},
         {adType::Integer, adType::VarWChar},
         {{num(1), txt("a \"quoted\" word")},
          {num(2), txt("comma, inside")},
          {num(3), txt("line\r\nbreak")},
          {num(4), txt("cr\ronly")},
          {num(5), txt("\"")}}},
        {"CrOnlyLineEndsWithoutFinalLineEnd",
         "cr.csv",
         "a,b\r1,x\r2,y",
         {"a", "b"},
         {adType::Integer, adType::VarWChar},
         {{num(1), txt("x")}, {num(2), txt("y")}}},
        {"CrLfWithoutFinalLineEnd",
         "crlf.csv",
         "a,b\r\n1,2\r\n3,4",
         {"a", "b"},
         {adType::Integer, adType::Integer},
         {{num(1), num(2)}, {num(3), num(4)}}},
        {"Windows1252IncludingUndefinedBytes",
         "w.csv",
         "name,price\r\nCaf\xE9 \x80\x81\x8D\x8F\x90\x9D\x85\x8A,1.5\r\n",
         {"name", "price"},
         {adType::VarWChar, adType::Double},
         {{txt("Caf\xC3\xA9 "
               "\xE2\x82\xAC\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xE2\x80\xA6\xC5\xA0"),
           dbl(1.5)}}},
        {"Utf8WithByteOrderMark",
         "bom.csv",
         "\xEF\xBB\xBFname,city\nA,M\xC3\xBCnchen\n",
         {"name", "city"},
         {adType::VarWChar, adType::VarWChar},
         {{txt("A"), txt("M\xC3\xBCnchen")}}},
        {"Utf8WithoutByteOrderMark",
         "utf8.csv",
         "name,city\nA,\xE6\xBC\xA2\xE5\xAD\x97\xF0\x9F\x98\x80\n",
         {"name", "city"},
         {adType::VarWChar, adType::VarWChar},
         {{txt("A"), txt("\xE6\xBC\xA2\xE5\xAD\x97\xF0\x9F\x98\x80")}}},
        {"Utf16WithByteOrderMark",
         "u16.txt",
         QByteArray("\xFF\xFE", 2) +
             QByteArray(reinterpret_cast<const char*>(u"a\tb\r\n1\t\u00FC\r\n"), 20),
         {"a", "b"},
         {adType::Integer, adType::VarWChar},
         {{num(1), txt("\xC3\xBC")}},
         false},
        {"ShortRecordsGetNulls",
         "short.csv",
         "a,b,c\n1\n2,3\n",
         {"a", "b", "c"},
         {adType::Integer, adType::Integer, adType::VarWChar},
         {{num(1), null, null}, {num(2), num(3), null}}},
        {"EmptyFieldsBeyondTheHeaderAreDropped",
         "trail.csv",
         "a,b\n1,2,,\n",
         {"a", "b"},
         {adType::Integer, adType::Integer},
         {{num(1), num(2)}},
         false},
        {"LeadingZerosStayText",
         "zeros.csv",
         "code,n\n007,0\n0123,10\n",
         {"code", "n"},
         {adType::VarWChar, adType::Integer},
         {{txt("007"), num(0)}, {txt("0123"), num(10)}}},
        {"IntegerWidths",
         "ints.csv",
         "small,big,huge\n2147483647,2147483648,9223372036854775808\n"
         "-2147483648,-9223372036854775808,1\n",
         {"small", "big", "huge"},
         {adType::Integer, adType::BigInt, adType::VarWChar},
         {{num(2147483647), num(2147483648LL), txt("9223372036854775808")},
          {num(-2147483648LL), num(INT64_MIN), txt("1")}}},
        {"NumbersOnlyWhenExact",
         "nums.csv",
         "a,b,c,d,e,f,g,h\n1.5,1,0.1000000000000000000001,1e5,+1,0.5,.5,1.50\n"
         "-0.25,2.5,1,2,2,9007199254740993,-.75,10\n",
         {"a", "b", "c", "d", "e", "f", "g", "h"},
         {adType::Double, adType::Double, adType::VarWChar, adType::VarWChar, adType::VarWChar,
          adType::VarWChar, adType::Double, adType::Double},
         {{dbl(1.5), dbl(1), txt("0.1000000000000000000001"), txt("1e5"), txt("+1"), txt("0.5"),
           dbl(0.5), dbl(1.5)},
          {dbl(-0.25), dbl(2.5), txt("1"), txt("2"), txt("2"), txt("9007199254740993"), dbl(-0.75),
           dbl(10)}}},
        {"IsoDatesAndDateTimes",
         "dates.csv",
         "d,dt,t,bad,us\n2024-02-29,2024-02-29 13:45:10,2024-02-29T08:00,2023-02-29,5/19/2006\n"
         "1999-12-31,1999-12-31 23:59:59.123456,2000-01-01 00:00,2023-01-01,1/2/2006\n",
         {"d", "dt", "t", "bad", "us"},
         {adType::Date, adType::Date, adType::Date, adType::VarWChar, adType::VarWChar},
         {{Value::date(2024, 2, 29), Value::dateTime(DateTime{2024, 2, 29, 13, 45, 10, 0}),
           Value::dateTime(DateTime{2024, 2, 29, 8, 0, 0, 0}), txt("2023-02-29"), txt("5/19/2006")},
          {Value::date(1999, 12, 31), Value::dateTime(DateTime{1999, 12, 31, 23, 59, 59, 123456}),
           Value::dateTime(DateTime{2000, 1, 1, 0, 0, 0, 0}), txt("2023-01-01"), txt("1/2/2006")}}},
        {"EmptyFieldsAreNullAndDoNotDecideTheType",
         "empty.csv",
         "a,b,c\n,\"\",\n1,x,\n",
         {"a", "b", "c"},
         {adType::Integer, adType::VarWChar, adType::VarWChar},
         {{null, null, null}, {num(1), txt("x"), null}}},
        {"BlankAndDuplicateNames",
         "names.csv",
         "id,,Name,name,F2\n1,2,3,4,5\n",
         {"id", "F2", "Name", "name_2", "F2_2"},
         {adType::Integer, adType::Integer, adType::Integer, adType::Integer, adType::Integer},
         {{num(1), num(2), num(3), num(4), num(5)}}},
        {"BlankLinesAreSkipped",
         "blank.csv",
         "\na,b\n\n1,2\n\n\n3,4\n\n",
         {"a", "b"},
         {adType::Integer, adType::Integer},
         {{num(1), num(2)}, {num(3), num(4)}}},
        {"BlankLinesOfOneColumnAreNulls",
         "one.csv",
         "v\n1\n\n2\n\n",
         {"v"},
         {adType::Integer},
         {{num(1)}, {null}, {num(2)}}},
        {"TextLongerThan255CharactersIsLongText",
         "long.csv",
         "long,limit\n" + longValue + "," + limitValue + "\n",
         {"long", "limit"},
         {adType::LongVarWChar, adType::VarWChar},
         {{Value::text(QString::fromUtf8(longValue)), Value::text(QString::fromUtf8(limitValue))}}},
        {"TsvWithTabHeader",
         "x.tsv",
         "a\tb\n1\t\"q\tq\"\n",
         {"a", "b"},
         {adType::Integer, adType::VarWChar},
         {{num(1), txt("q\tq")}}},
        {"TxtWithoutTabIsCommaDelimited",
         "c.txt",
         "a,b\n1,2\n",
         {"a", "b"},
         {adType::Integer, adType::Integer},
         {{num(1), num(2)}}},
        {"TxtWithTabInHeaderIsTabDelimited",
         "t.txt",
         "a\tb,c\n1\t2,3\n",
         {"a", "b,c"},
         {adType::Integer, adType::VarWChar},
         {{num(1), txt("2,3")}}},
        {"CsvIsAlwaysCommaDelimited",
         "tab.csv",
         "a\tb,c\n1\t2,3\n",
         {"a\tb", "c"},
         {adType::VarWChar, adType::Integer},
         {{txt("1\t2"), num(3)}}},
        {"TextAfterClosingQuoteBelongsToTheField",
         "after.csv",
         "a,b\n\"x\"y,z\"w\"\n",
         {"a", "b"},
         {adType::VarWChar, adType::VarWChar},
         {{txt("xy"), txt("z\"w\"")}}},
        {"HeaderOnly",
         "header.csv",
         "a,b\r\n",
         {"a", "b"},
         {adType::VarWChar, adType::VarWChar},
         {}},
    };
}

void PrintTo(const GeneratedCase& c, std::ostream* os) {
    *os << c.name;
}

class GeneratedFile : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedFile, ReadsNamesTypesAndValues) {
    const GeneratedCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeBytes(dir.filePath(QString::fromUtf8(c.fileName)), c.bytes);
    const auto recordset = readTextFile(dir.path(), QString::fromUtf8(c.fileName));
    EXPECT_EQ(fieldNames(*recordset), c.names);
    EXPECT_EQ(fieldTypes(*recordset), c.types);
    ASSERT_EQ(recordset->recordCount(), static_cast<long>(c.rows.size()));
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        for (std::size_t f = 0; f < c.rows[r].size(); ++f) {
            EXPECT_EQ(recordset->valueAt(static_cast<long>(r), static_cast<int>(f)), c.rows[r][f])
                << "record " << r << " field " << f << ": "
                << recordset->valueAt(static_cast<long>(r), static_cast<int>(f))
                       .sqlLiteral()
                       .toStdString();
        }
    }
    if (c.pythonReadsAlike) {
        expectSameAsPython(*recordset, readWithPython(dir.filePath(QString::fromUtf8(c.fileName))),
                           QString::fromUtf8(c.name));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GeneratedFile, ::testing::ValuesIn(generatedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GeneratedFileSizes, LongTextHasTheSizeOfAMemo) {
    QTemporaryDir dir;
    writeBytes(dir.filePath("long.csv"), "a,b\n" + QByteArray(256, 'y') + ",short\n");
    const auto recordset = readTextFile(dir.path(), QStringLiteral("long.csv"));
    EXPECT_EQ(recordset->fieldInfo(0).definedSize, 536870910);
    EXPECT_EQ(recordset->fieldInfo(1).definedSize, 255);
}

TEST(GeneratedFileSizes, EmptyFileHasNoFieldsAndNoRecords) {
    QTemporaryDir dir;
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("\xEF\xBB\xBF"), QByteArray("\r\n\n")}) {
        writeBytes(dir.filePath("empty.csv"), bytes);
        const auto recordset = readTextFile(dir.path(), QStringLiteral("empty.csv"));
        EXPECT_EQ(recordset->fieldCount(), 0);
        EXPECT_EQ(recordset->recordCount(), 0);
    }
}

struct BrokenCase {
    const char* name;
    QByteArray bytes;
    const char* message;  // a part of the error's description
};

void PrintTo(const BrokenCase& c, std::ostream* os) {
    *os << c.name;
}

class BrokenFile : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFile, GivesAnErrorNamingFileAndLine) {
    QTemporaryDir dir;
    writeBytes(dir.filePath("broken.csv"), GetParam().bytes);
    try {
        readTextFile(dir.path(), QStringLiteral("broken.csv"));
        FAIL() << "no error";
    } catch (const dao::DaoError& error) {
        EXPECT_TRUE(error.description().contains(dir.filePath("broken.csv")))
            << error.description().toStdString();
        EXPECT_TRUE(error.description().contains(QString::fromUtf8(GetParam().message)))
            << error.description().toStdString();
        EXPECT_EQ(error.number(), dao::DaoError::BadFile);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenFile,
    ::testing::Values(
        BrokenCase{"RecordLongerThanHeader", "a,b\n1,2\n3,4,5\n", "line 3 holds 3 fields"},
        BrokenCase{"LinesCountedInsideQuotes", "a,b\n1,\"x\ny\"\n3,4,5\n", "line 4 holds 3"},
        BrokenCase{"LinesCountedByCarriageReturns", "a,b\r1,2\r\r3,4,5\r", "line 4 holds 3"},
        BrokenCase{"UnclosedQuote", "a,b\n1,2\n3,\"open\n4,5\n",
                   "begins on line 3 is never closed"},
        BrokenCase{"HeaderFarWiderThanItsRecords",
                   QByteArray(20000, ',') + "\n" + QByteArray("x\n").repeated(2000),
                   "hold far fewer fields"},
        BrokenCase{"MalformedUtf16", "\xFF\xFE\x61", "UTF-16"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keldara::test::text
