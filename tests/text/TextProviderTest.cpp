// The text provider: the folder as the source, generated files for one rule each and every
// sample file against Python's csv module (csv_table.py), broken and damaged files.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <tuple>

#include "platform/dao/TypeCodes.h"
#include "platform/dao/text/TextTable.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"
#include "support/Streaming.h"
#include "support/TestServer.h"

namespace keldara::test::text {
namespace {

using dao::DaoError;
namespace adType = dao::adType;

QString textConnectionString(const QString& dataSource,
                             const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"%2\"")
        .arg(dataSource, properties);
}

std::unique_ptr<dao::Recordset> readTextFile(
    const QString& folder, const QString& file,
    const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return dao::openConnection(textConnectionString(folder + QLatin1Char('\\'), properties))
        ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(file));
}

void expectSameAsPython(const dao::Recordset& recordset, const QString& path) {
    SCOPED_TRACE(path.toStdString());
    expectSameAsOracle(
        recordset,
        oracleOutput({sourceDir() + QStringLiteral("/tests/text/csv_table.py"), path}).object());
}

TEST(TextConnection, TheFolderIsTheSourceItsTextFilesTheTablesPropertiesTheirForm) {
    QTemporaryDir dir;
    for (const char* name : {"orders.csv", "b.txt", "A.tsv", "Z.CSV", "book.xls"})
        writeFile(dir.filePath(name), "id,item\n1,pen\n2,ink\n");
    writeFile(dir.filePath("damaged.csv"), "a,\"never closed\n");
    QDir(dir.path()).mkdir(QStringLiteral("folder.csv"));
    QDir(dir.path()).mkdir(QStringLiteral("inner"));
    for (const QString& source : {dir.path() + '\\', dir.path() + '/', dir.path()}) {
        EXPECT_EQ(tableNames(*dao::openConnection(textConnectionString(source))),
                  QStringList({"A.tsv", "b.txt", "damaged.csv", "orders.csv", "Z.CSV"}));
    }
    EXPECT_TRUE(
        tableNames(*dao::openConnection(textConnectionString(dir.filePath("inner")))).isEmpty());
    const std::pair<QString, const char*> refused[] = {
        {textConnectionString(dir.filePath("no such folder")), "no such folder"},
        {textConnectionString(dir.filePath("orders.csv")), "not a folder"},
        {textConnectionString("\\"), ""},
        {textConnectionString(dir.path(), "text;HDR=Yes;FMT=FixedLength;"), ""}};
    for (const auto& [source, reason] : refused) {
        const DaoError error = errorOf([&] { dao::openConnection(source); });
        EXPECT_EQ(error.number(), DaoError::OpenFailed) << source.toStdString();
        EXPECT_TRUE(error.description().contains(QLatin1String(reason)));
    }
    for (const char* table : {"../orders.csv", "..\\orders.csv", "..", ""}) {
        EXPECT_THROW(readTextFile(dir.filePath("inner"), QString::fromLatin1(table)), DaoError)
            << table;
    }
    EXPECT_TRUE(errorOf([&] { readTextFile(dir.path(), "gone.csv"); })
                    .description()
                    .contains(QDir(dir.path()).absolutePath()));
    // The extended properties choose the delimiter and whether the first line names the fields.
    writeFile(dir.filePath("semi.csv"), "a;b\n1;x\n");
    writeFile(dir.filePath("tabs.csv"), "a\tb\n1\tx\n");
    EXPECT_EQ(fieldNames(*readTextFile(dir.path(), "semi.csv", "text;HDR=Yes;FMT=Delimited(;);")),
              QStringList({"a", "b"}));
    EXPECT_EQ(fieldNames(*readTextFile(dir.path(), "tabs.csv", "text;HDR=Yes;FMT=TabDelimited;")),
              QStringList({"a", "b"}));
    const auto noHeader = readTextFile(dir.path(), "tabs.csv", "text;HDR=No;FMT=TabDelimited;");
    EXPECT_EQ(fieldNames(*noHeader), QStringList({"F1", "F2"}));
    EXPECT_EQ(noHeader->recordCount(), 2);
    EXPECT_EQ(noHeader->valueAt(0, 0), dao::Value::text(QStringLiteral("a")));
}

// Files written for one rule each: their field types (one letter each: Integer, Big integer,
// Double, daTe, Varchar text, Long text); their names and values are compared with Python's.
struct GeneratedCase {
    const char* fileName;  // also names the case
    QByteArray bytes;
    const char* types;
};

std::vector<GeneratedCase> generatedCases() {
    return {
        {"quotes.csv",
         "id,text\n1,\"a \"\"quoted\"\" word\"\n2,\"comma, "
         "inside\"\n3,\"line\r\nbreak\"\n4,\"cr\ronly\"\n5,\"\"\"\"\n",
         "IV"},
        {"cr_only.csv", "a,b\r1,x\r2,y", "IV"},
        // A quoted field's line break is its value's, whatever ends the lines.
        {"newlines_crlf.csv", "a,b\r\n1,2\r\n\"Once upon \r\na time\",5\r\n", "VI"},
        {"windows1252.csv", "name,price\r\nCaf\xE9 \x80\x81\x8D\x8F\x90\x9D\x85\x8A,1.5\r\n", "VD"},
        {"utf8_bom.csv", "\xEF\xBB\xBFname,city\nA,M\xC3\xBCnchen\n", "VV"},
        {"utf8.csv", "name,city\nA,\xE6\xBC\xA2\xE5\xAD\x97\xF0\x9F\x98\x80\n", "VV"},
        {"utf16_bom.txt",
         QByteArray(reinterpret_cast<const char*>(u"\uFEFFa\tb\r\n1\t\u00FC\r\n"), 22), "IV"},
        {"short_records.csv", "a,b,c\n1\n2,3\n", "IIV"},
        {"empty_beyond_header.csv", "a,b\n1,2,,\n", "II"},
        {"leading_zeros.csv", "code,n\n007,0\n0123,10\n", "VI"},
        {"integer_widths.csv",
         "small,big,huge\n2147483647,2147483648,9223372036854775808\n-2147483648,-"
         "9223372036854775808,1\n",
         "IBV"},
        {"exact_numbers.csv",
         "a,b,c,d,e,f,g,h\n1.5,1,0.1000000000000000000001,1e5,+1,0.5,.5,1.50\n-0.25,2.5,1,2,2,"
         "9007199254740993,-.75,10\n",
         "DDVVVVDD"},
        // Up to 15 digits read by the short way, longer ones by printing them back.
        {"decimals.csv",
         "d\n123456789.012345\n-0.000000000000001\n0.123456789012345\n999999999999999\n.5\n-."
         "125\n-0\n0.30000000000000004\n",
         "D"},
        // A value that changes its column's type, first, last and between: the values before
        // it are read again as the new type has them.
        {"type_changes.csv",
         "a,b,c,d,e,f\n1,1,2024-01-01,1.5,1,x\n2,x,2024-01-02,2,3000000000,1\n3,3,2024-01-03 "
         "10:00:00,-2,3,2\n,4,x,3,,3\n4.5,y,2024-01-05,z,9007199254740993,4\n",
         "DVVVBV"},
        {"iso_dates.csv",
         "d,dt,t,bad,us\n2024-02-29,2024-02-29 "
         "13:45:10,2024-02-29T08:00,2023-02-29,5/19/2006\n1999-12-31,1999-12-31 "
         "23:59:59.123456,2000-01-01 00:00,2023-01-01,1/2/2006\n",
         "TTTVV"},
        {"empty_fields.csv", "a,b,c\n,\"\",\n1,x,\n", "IVV"},
        {"blank_and_duplicate_names.csv", "id,,Name,name,F2\n1,2,3,4,5\n", "IIIII"},
        {"blank_lines.csv", "\na,b\n\n1,2\n\n\n3,4\n\n", "II"},
        {"one_column_blank_lines.csv", "v\n1\n\n2\n\n", "I"},
        {"long_text.csv",
         "long,limit\n" + QString(300, QChar(0xE9)).toUtf8() + "," + QByteArray(255, 'x') + "\n",
         "LV"},
        {"tab.tsv", "a\tb\n1\t\"q\tq\"\n", "IV"},
        {"comma.txt", "a,b\n1,2\n", "II"},
        {"tab_in_header.txt", "a\tb,c\n1\t2,3\n", "IV"},
        {"tab_in.csv", "a\tb,c\n1\t2,3\n", "VI"},
        {"after_closing_quote.csv", "a,b\n\"x\"y,z\"w\"\n", "VV"},
        {"header_only.csv", "a,b\r\n", "VV"},
        {"empty.csv", "", ""},
        {"line_ends_only.csv", "\r\n\n", ""},
    };
}

TEST(GeneratedFiles, ReadWithTheTypesAndSizesOfTheirRuleAndValuesAsPythonDoes) {
    const std::map<char, std::pair<int, long>> types = {
        {'I', {adType::Integer, 4}},    {'B', {adType::BigInt, 8}},
        {'D', {adType::Double, 8}},     {'T', {adType::Date, 8}},
        {'V', {adType::VarWChar, 255}}, {'L', {adType::LongVarWChar, 536870910}}};
    QTemporaryDir dir;
    for (const GeneratedCase& c : generatedCases()) {
        SCOPED_TRACE(c.fileName);
        const QString path = writeFile(dir.filePath(c.fileName), c.bytes);
        const auto recordset = readTextFile(dir.path(), c.fileName);
        ASSERT_EQ(recordset->fieldCount(), int(strlen(c.types)));
        for (int f = 0; f < recordset->fieldCount(); ++f) {
            const auto [type, size] = types.at(c.types[f]);
            EXPECT_EQ(recordset->fieldInfo(f).type, type) << f;
            EXPECT_EQ(recordset->fieldInfo(f).definedSize, size) << f;
        }
        expectSameAsPython(*recordset, path);
    }
}

const std::vector<std::pair<QByteArray, const char*>>& brokenCases() {
    static const std::vector<std::pair<QByteArray, const char*>> cases = {
        {"a,b\n1,2\n3,4,5\n", "line 3 holds 3 fields"},
        {"a,b\n1,\"x\ny\"\n3,4,5\n", "line 4 holds 3"},  // lines counted inside quotes
        {"a,b\r1,2\r\r3,4,5\r", "line 4 holds 3"},       // and by carriage returns
        // CR LF inside quotes is one line end, a lone CR another, in fields long and short
        {"a,b\n1,\"first line\r\nsecond line\rthird\"\n2,\"x\ry\"\n3,4,5\n", "line 7 holds 3"},
        {"a,b\n1,2\n3,\"open\n4,5\n", "begins on line 3 is never closed"},
        {QByteArray(16000, ',') + "\n" + QByteArray("x\n").repeated(2000), "hold far fewer fields"},
        {"\xFF\xFE\x61", "UTF-16"},
    };
    return cases;
}

TEST(BrokenFile, GivesAnErrorNamingFileAndLine) {
    QTemporaryDir dir;
    const QString file = dir.filePath("broken%2.csv");  // named whole, placeholder and all
    for (const auto& [bytes, message] : brokenCases()) {
        writeFile(file, bytes);
        const DaoError error = errorOf([&] { readTextFile(dir.path(), "broken%2.csv"); });
        EXPECT_EQ(error.number(), DaoError::BadFile) << message;
        EXPECT_TRUE(error.description().contains(file) && error.description().contains(message))
            << message << ": " << error.description().toStdString();
    }
}

// A table is read from the file a block (2 MiB) at a time, loaded or streamed: a record, a
// character or a line end that a block's end cuts must come out as when the file is read
// whole in one block, and so must the encoding found past the first block and the errors
// there.
TEST(StreamedText, AgreesWithTheWholeFileReadAtOnceAtEveryCutOfABlock) {
    QTemporaryDir dir;
    auto connection = dao::openConnection(textConnectionString(dir.path()));
    constexpr int kBlock = 2 << 20;
    const auto compare = [&](const QString& name, const QByteArray& bytes) {
        SCOPED_TRACE(name.toStdString());
        const QString path = writeFile(dir.filePath(name), bytes);
        dao::text::TextTableOptions whole;
        whole.blockBytes = bytes.size() + 1;
        const QString sql = "SELECT * FROM [" + name + ']';
        expectSameTables([&] { return dao::text::readTextTable(path, whole); },
                         [&] { return connection->openStreamedRecordset(sql, 1); });
        expectSameTables([&] { return dao::text::readTextTable(path, whole); },
                         [&] { return connection->openRecordset(sql); });
    };
    for (const GeneratedCase& c : generatedCases()) compare(c.fileName, c.bytes);
    for (const auto& broken : brokenCases()) compare("broken.csv", broken.first);
    // Not UTF-8 from its first line, and the first block ends inside a character.
    const QByteArray latin1 = "a,b\n\xE9,00\n" + QByteArray("1,2\n").repeated(kBlock / 4);
    compare("latin1.csv", latin1.left(kBlock - 1) + "\xE9,1\n" + latin1);
    const QByteArray cutRecords[] = {"\"x\"\"y\r\nz\",1\r\n", "\xE6\xBC\xA2\xF0\x9F\x98\x80,2\r\n",
                                     "Caf\xE9,3\n", "\"open,4\n", "5,6,7\n"};
    for (const QByteArray& record : cutRecords) {
        for (int utf16 = 0; utf16 <= int(record.contains("\xF0")); ++utf16) {
            for (int cut = 0; cut <= record.size() + 1; ++cut) {
                SCOPED_TRACE(record.toStdString() + (utf16 ? " in UTF-16, " : ", ") +
                             std::to_string(cut));
                const int start = utf16 ? (kBlock - 2) / 2 - cut : kBlock - cut;
                const QByteArray line = "1," + QByteArray(997, 'x') + "\n";
                const QByteArray padding = "a,b\n" + line.repeated(start / 1000 - 1);
                QByteArray text = padding + "1," + QByteArray(start - padding.size() - 3, 'x') +
                                  "\n" + record + "8,9\r\n";
                if (utf16) {
                    const QString decoded = QString::fromUtf8(text);
                    text = "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(decoded.utf16()),
                                                   decoded.size() * 2);
                }
                compare(QStringLiteral("cut.csv"), text);
            }
        }
    }
}

// A text of at least four blocks is read in two halves side by side (a file of these few
// bytes is one when a block is four bytes), the first pass always and the second when the
// table is loaded: the table, or the error, must be the one a single reader finds, wherever
// the middle of the text falls, and whether or not a record begins on the line after it.
TEST(TextOfFourBlocks, ReadInTwoHalvesIsTheTextReadWhole) {
    QTemporaryDir dir;
    dao::text::TextTableOptions whole, inHalves;
    inHalves.blockBytes = 4;
    std::vector<std::pair<QString, QByteArray>> texts;
    for (const GeneratedCase& c : generatedCases()) texts.emplace_back(c.fileName, c.bytes);
    for (const auto& broken : brokenCases()) texts.emplace_back("broken.csv", broken.first);
    const QByteArray middles[] = {"\"x\ny\",1\n", "\n\n",           "\r\n",
                                  "\"\"\"\",2\n", "4294967296,3\n", "2024-01-01 10:00,1.5\n",
                                  "\xC3\xA9,x\n"};
    for (const QByteArray& middle : middles) {
        for (int records = 0; records <= 6; ++records) {
            const QByteArray before = QByteArray("1,2\n").repeated(records);
            texts.emplace_back("middle.csv", "a,b\n" + before + middle + before + "5,6\n");
            texts.emplace_back("middle.txt", before + middle + "\n7\n" + before);
            texts.emplace_back("latin1_at_end.csv", "a,b\n" + before + before + "\xE9,1\n");
            texts.emplace_back("one_column.csv", "v\n" + QByteArray("\n1\n").repeated(records + 1));
        }
    }
    for (const auto& [name, bytes] : texts) {
        SCOPED_TRACE(name.toStdString() + ": " + bytes.left(60).toStdString());
        const QString path = writeFile(dir.filePath(name), bytes);
        whole.blockBytes = bytes.size() + 1;
        for (const bool headerRow : {true, false}) {
            whole.headerRow = inHalves.headerRow = headerRow;
            expectSameTables([&] { return dao::text::readTextTable(path, whole); },
                             [&] { return dao::text::readTextTable(path, inHalves); });
            expectSameTables([&] { return dao::text::readTextTable(path, whole); },
                             [&] { return dao::text::streamTextTable(path, inHalves, 1); });
        }
    }
}

// A streamed table holds only the records near the one read last.
TEST(StreamedText, ARecordLeftBehindIsAnErrorTheOnesKeptAreRead) {
    QTemporaryDir dir;
    QByteArray csv = "id\n";
    for (int i = 1; i <= 5000; ++i) csv += QByteArray::number(i) + "\n";
    writeFile(dir.filePath("ids.csv"), csv);
    const auto records =
        dao::openConnection(textConnectionString(dir.path()))
            ->openStreamedRecordset(QStringLiteral("SELECT * FROM [ids.csv]"), 500);
    ASSERT_TRUE(records->isStreamed());
    EXPECT_EQ(records->valueAt(3999, 0).toInt(), 4000);
    EXPECT_EQ(records->valueAt(3500, 0).toInt(), 3501);
    const DaoError error = errorOf([&] { records->valueAt(1000, 0); });
    EXPECT_TRUE(error.description().contains("Record 1001 has been passed already"))
        << error.description().toStdString();
    EXPECT_EQ(records->valueAt(4999, 0).toInt(), 5000);
}

// A file of many megabytes is read a block at a time; a file changed between the first pass
// and the second is refused, never read with values or records missing.
TEST(LargeFile, EveryRecordIsReadAndAFileChangedMeanwhileIsRefused) {
    QTemporaryDir dir;
    constexpr int kRecords = 700000;
    QByteArray csv = "id,text\n";
    for (int i = 1; i <= kRecords; ++i) csv += QByteArray::number(i) + ",text of a line\n";
    const QString path = writeFile(dir.filePath("large.csv"), csv);

    const auto recordset = readTextFile(dir.path(), "large.csv");
    ASSERT_EQ(recordset->recordCount(), kRecords);
    for (int i = 0; i < kRecords; ++i) ASSERT_EQ(recordset->valueAt(i, 0).toInt(), i + 1);

    const QString sql = QStringLiteral("SELECT * FROM [large.csv]");
    const auto connection = dao::openConnection(textConnectionString(dir.path()));
    for (const QByteArray& change : {QByteArray("x"), QByteArray()}) {
        writeFile(path, csv);
        const auto streamed = connection->openStreamedRecordset(sql, 1);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        if (change.isEmpty()) {
            ASSERT_TRUE(file.resize(csv.size() / 2));
        } else {
            ASSERT_TRUE(file.seek(csv.size() - 17) && file.write(change) == 1);  // 700000 -> 70000x
        }
        file.close();
        const DaoError error = errorOf([&] { streamed->valueAt(kRecords - 1, 0); });
        EXPECT_TRUE(error.description().contains(
            change.isEmpty() ? "fewer than the 700000" : "changed while it was being read"))
            << error.description().toStdString();
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
        writeFile(dir.filePath("random.txt"), (round % 2 ? "" : "\xFF\xFE") + bytes);
        try {
            connection->openRecordset(QStringLiteral("SELECT * FROM [random.txt]"));
        } catch (const dao::DaoError& error) {
            EXPECT_TRUE(error.description().contains(dir.filePath("random.txt")));
        }
    }
}

// Up to 16384 fields are read, with unique names, in bounded time and memory; a wider
// record is refused with its field count, and a wide header over many short records with
// the count of both.
TEST(DamagedText, WideHeadersAreReadOrRefusedWithTheFieldCount) {
    // The header, the records of one field under it, and the last field's name or what the
    // error says.
    const std::tuple<QByteArray, int, std::string> cases[] = {
        {QByteArray(16383, ','), 1, "read: F16384"},
        {QByteArray("a,").repeated(16383) + "a", 1, "read: a_16384"},
        {QByteArray(16384, ','), 1, "16385 fields"},
        {QByteArray(4 << 20, ','), 1, "4194305 fields"},
        {QByteArray(16000, ','), 2000, "2000 records hold far fewer fields"}};
    QTemporaryDir dir;
    const QString path = dir.filePath("wide.csv");
    for (const auto& [header, shortRecords, expected] : cases) {
        writeFile(path, header + "\r\n" + QByteArray("1\r\n").repeated(shortRecords));
        const std::string outcome = outcomeUnderLimits(
            [&] {
                const auto records = readTextFile(dir.path(), "wide.csv");
                return records->fieldInfo(records->fieldCount() - 1).name.toStdString();
            },
            256, 20);
        const bool read = expected.starts_with("read: ");
        EXPECT_TRUE(read ? outcome == expected
                         : outcome.starts_with("error: ") &&
                               outcome.find(path.toStdString()) != std::string::npos &&
                               outcome.find(expected) != std::string::npos)
            << outcome;
    }
}

// Field types the provider gives by design, where Python sees only text: decided over every
// record of large files, below title rows, by length.
const std::tuple<const char*, const char*, int> kTypes[] = {
    {"worldcitiespop.csv", "Region", adType::VarWChar},  // "06"
    {"example.tsv", "hour", adType::Date},
    {"excel_pasting.csv", "F2", adType::VarWChar},  // "2000", "2,666" below title rows
    {"spanish_chars.csv", "Descripción", adType::LongVarWChar},
    {"admin1CodesASCII.txt", "3039162", adType::Integer}};

class TextFixture : public ::testing::TestWithParam<std::string> {};

// And streamed, the same as loaded.
TEST_P(TextFixture, ReadsTheSameRecordsAsPythonCsvWithTypesByDesignLoadedOrStreamed) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    KELDARA_SKIP_WITHOUT_FIXTURE(file.filePath());
    const auto recordset = readTextFile(file.absolutePath(), file.fileName());
    expectSameAsPython(*recordset, file.absoluteFilePath());
    for (const auto& [name, field, type] : kTypes) {
        if (file.fileName() != name) continue;
        const int index = fieldNames(*recordset).indexOf(QString::fromUtf8(field));
        ASSERT_GE(index, 0) << field;
        EXPECT_EQ(recordset->fieldInfo(index).type, type) << field;
    }
    expectStreamedAsLoaded(*dao::openConnection(textConnectionString(file.absolutePath())),
                           file.fileName());
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, TextFixture,
                         ::testing::ValuesIn(fixtureFiles("csv", {"*.csv", "*.tsv", "*.txt"})),
                         [](const auto& info) { return fixtureTestName(info.param); });

}  // namespace
}  // namespace keldara::test::text
