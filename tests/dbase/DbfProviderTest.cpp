// The dBase provider: every sample table against python3-dbfread (dbfread_tables.py), and tables
// written byte by byte for what the samples lack.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <bit>
#include <limits>

#include "platform/dao/TypeCodes.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"
#include "support/Streaming.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

std::unique_ptr<Connection> openFolder(const QString& folder) {
    return openConnection(
        QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
        folder);
}

std::unique_ptr<Recordset> readTable(const QString& folder, const QString& table) {
    return selectAll(*openFolder(folder), table);
}

struct FieldSpec {
    QByteArray name;
    char type;
    int length;
    int decimals = 0;
    std::uint8_t flags = 0;
};

struct RecordSpec {
    std::vector<QByteArray> values;  // the raw bytes of each field, padded with blanks
    bool deleted = false;
};

// A .dbf file of the given version and language driver (code page).
QByteArray dbfBytes(std::uint8_t signature, std::uint8_t languageDriver,
                    const std::vector<FieldSpec>& fields, const std::vector<RecordSpec>& records) {
    int recordLength = 1;
    for (const FieldSpec& field : fields) recordLength += field.length;
    const bool visualFoxPro = signature >= 0x30 && signature <= 0x32;
    const int headerLength = 33 + 32 * int(fields.size()) + (visualFoxPro ? 263 : 0);
    QByteArray bytes = char(signature) + QByteArray("\x7C\x01\x1F") + bytesOf(records.size()) +
                       bytesOf(headerLength, 2) + bytesOf(recordLength, 2) + QByteArray(17, '\0') +
                       char(languageDriver) + QByteArray(2, '\0');
    int offset = 1;
    for (const FieldSpec& f : fields) {
        bytes += f.name.left(10).leftJustified(11, '\0') + f.type + bytesOf(offset) +
                 char(f.length) + char(f.decimals) + char(f.flags) + QByteArray(13, '\0');
        offset += f.length;
    }
    bytes += '\r';
    bytes.resize(headerLength, '\0');
    for (const RecordSpec& record : records) {
        bytes += record.deleted ? '*' : ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QByteArray value = i < record.values.size() ? record.values[i] : QByteArray();
            bytes += value.left(fields[i].length).leftJustified(fields[i].length, ' ');
        }
    }
    return bytes + '\x1A';
}

// A FoxPro memo file (type 1 text, 0 picture, 2 object, and length before each memo) or, with
// `blockSize` 0, a dBase III one (0x1A 0x1A after each). `blocks` receives each memo's block.
struct Memo {
    std::uint32_t type;
    QByteArray data;
};
QByteArray memoBytes(int blockSize, const std::vector<Memo>& memos,
                     std::vector<std::uint32_t>& blocks) {
    const int block = blockSize ? blockSize : 512;
    QByteArray bytes(512, '\0');
    blocks.clear();
    for (const Memo& memo : memos) {
        blocks.push_back(std::uint32_t(bytes.size() / block));
        bytes += blockSize
                     ? bytesOf(memo.type, 4, true) + bytesOf(memo.data.size(), 4, true) + memo.data
                     : memo.data + "\x1A\x1A";
        bytes.resize((bytes.size() + block - 1) / block * block, '\0');
    }
    bytes.replace(0, 4, bytesOf(bytes.size() / block, 4, blockSize != 0));  // the next free block
    if (blockSize) bytes.replace(6, 2, bytesOf(blockSize, 2, true));
    return bytes;
}
const QJsonObject& dbfreadResults() {
    static const QJsonObject results = [] {
        QStringList arguments{sourceDir() + QStringLiteral("/tests/dbase/dbfread_tables.py")};
        for (const std::string& table : fixtureFiles(QStringLiteral("dbf"), {"*.dbf"}))
            arguments << fixturePath(QString::fromStdString(table));
        return oracleOutput(arguments).object();
    }();
    return results;
}

class DbfFixture : public testing::TestWithParam<std::string> {};

// Loaded and streamed alike.
TEST_P(DbfFixture, MatchesDbfreadValueByValueLoadedOrStreamed) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    expectStreamedAsLoaded(*openFolder(file.path()), file.fileName());
    const QJsonObject reference = dbfreadResults().value(file.filePath()).toObject();
    if (reference.contains("error")) {  // the table without its memo file: dbfread refuses it
        const DaoError error = errorOf([&] { readTable(file.path(), file.fileName()); });
        EXPECT_EQ(error.number(), DaoError::BadFile);
        EXPECT_TRUE(error.description().contains(file.completeBaseName() + ".fpt") &&
                    error.description().contains("missing"))
            << error.description().toStdString();
        return;
    }
    expectSameAsOracle(*readTable(file.path(), file.fileName()), reference);
}

INSTANTIATE_TEST_SUITE_P(AllSampleTables, DbfFixture,
                         testing::ValuesIn(fixtureFiles(QStringLiteral("dbf"), {"*.dbf"})),
                         [](const auto& info) { return fixtureTestName(info.param); });

QByteArray julianDateTime(std::uint32_t day, std::uint32_t milliseconds) {
    return bytesOf(day) + bytesOf(milliseconds);
}

QByteArray doubleBytes(double value) {
    return bytesOf(std::bit_cast<std::uint64_t>(value), 8);
}

// A varchar of width `width` holding fewer bytes: the length sits in the field's last byte.
QByteArray shortVarField(const QByteArray& value, int width) {
    return value + QByteArray(width - 1 - value.size(), '\0') + static_cast<char>(value.size());
}

const QJsonValue null;

// Compares the records with rows of cells in the form of tests/support/Oracle.h.
void expectRows(const Recordset& rs, const QJsonArray& rows) {
    QJsonArray fields;
    for (const QString& name : fieldNames(rs)) fields << QJsonObject{{"name", name}};
    expectSameAsOracle(rs, {{"fields", fields}, {"records", rows}});
}

void expectError(const std::function<void()>& read, std::initializer_list<std::string> parts) {
    const std::string error = errorOf(read).description().toStdString();
    for (const std::string& part : parts) {
        EXPECT_NE(error.find(part), std::string::npos) << "\"" << part << "\" in: " << error;
    }
}

TEST(DbfVisualFoxPro, EveryTypeWithNullFlagsAndMemos) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    writeFile(dir.filePath("types.Fpt"), memoBytes(64,
                                                   {{1, "Line 1\r\nLine 2 \xE9"},
                                                    {0, QByteArray("\x89PNG\r\n\x1A\n", 8)},
                                                    {2, QByteArray("\xD0\xCF\x11\xE0\x00", 5)},
                                                    {1, QByteArray("\x00\x01 raw ", 7)}},
                                                   blocks));
    const std::vector<FieldSpec> fields = {{"ID", 'I', 4},
                                           {"NAME", 'C', 10, 0, 0x02},
                                           {"NOTE", 'V', 10, 0, 0x02},
                                           {"RAW", 'Q', 6},
                                           {"PRICE", 'Y', 8},
                                           {"RATIO", 'B', 8},
                                           {"WHEN", 'T', 8},
                                           {"TEXT", 'M', 4},
                                           {"PIC", 'P', 4},
                                           {"OLE", 'G', 4},
                                           {"BLOB", 'M', 4, 0, 0x04},
                                           {"CODE", 'C', 4, 0, 0x04},
                                           {"_NullFlags", '0', 1, 0, 0x05}};
    // Null flag bits: NAME null 0; NOTE short 1, null 2; RAW short 3.
    const QByteArray noMemo = bytesOf(0);
    const std::vector<RecordSpec> records = {
        {{bytesOf(1), "Ann", shortVarField("hi  ", 10),
          shortVarField(QByteArray("\x00\xFF ", 3), 6), bytesOf(123456789, 8), doubleBytes(0.1),
          julianDateTime(2451545, 43200123), bytesOf(blocks[0]), bytesOf(blocks[1]),
          bytesOf(blocks[2]), bytesOf(blocks[3]), QByteArray("\x01\x02  ", 4),
          QByteArray(1, 0x0A)}},
        {{bytesOf(2), "gone"}, true},
        {{bytesOf(std::uint32_t(-7)), "", "0123456789", "abcdef",
          bytesOf(std::uint64_t(std::numeric_limits<std::int64_t>::min()), 8), doubleBytes(-2.5),
          julianDateTime(0, 0), noMemo, noMemo, noMemo, noMemo, QByteArray(4, '\0'),
          QByteArray(1, 0x01)}},
        {{bytesOf(4), "          ", shortVarField("x", 10), shortVarField("", 6), bytesOf(-1, 8),
          doubleBytes(1e300), julianDateTime(2415019, 86399999), noMemo, noMemo, noMemo, noMemo,
          "    ", QByteArray(1, 0x0C)}},
    };
    writeFile(dir.filePath("types.dbf"), dbfBytes(0x32, 0x03, fields, records));

    const auto rs = readTable(dir.path(), "types.dbf");
    ASSERT_EQ(rs->fieldCount(), 12);  // the null flags stay hidden
    const int types[] = {adType::Integer,       adType::Char,          adType::VarChar,
                         adType::VarBinary,     adType::Currency,      adType::Double,
                         adType::DBTimeStamp,   adType::LongVarChar,   adType::LongVarBinary,
                         adType::LongVarBinary, adType::LongVarBinary, adType::Binary};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(rs->fieldInfo(i).type, types[i]) << i;
    EXPECT_EQ(rs->fieldInfo(1).definedSize, 10);
    EXPECT_EQ(rs->fieldInfo(2).definedSize, 10);
    expectRows(*rs, {QJsonArray{"1", "Ann", "hi  ", "00FF20", "12345.6789", "0.1",
                                "2000-01-01 12:00:00.123", "Line 1\r\nLine 2 é", "89504E470D0A1A0A",
                                "D0CF11E000", "00012072617720", "01022020"},
                     QJsonArray{"-7", null, "0123456789", "616263646566", "-922337203685477.5808",
                                "-2.5", null, null, null, null, null, "00000000"},
                     QJsonArray{"4", "", null, "", "-0.0001", "1e300", "1899-12-30 23:59:59.999",
                                null, null, null, null, "20202020"}});
}

TEST(DbfDBaseIII, MemosEndAtTheMarkAndDeletedRecordsStayOut) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    const QByteArray longMemo = QByteArray(700, 'x') + "\r\nend";
    writeFile(dir.filePath("LEDGER.DBT"),
              memoBytes(0, {{0, "first\r\nmemo"}, {0, longMemo}}, blocks));
    auto block = [&](int i) { return QByteArray::number(blocks[i]).rightJustified(10, ' '); };
    const std::vector<RecordSpec> records = {
        {{"  Ann", "     12.50", "19870301", "T", block(0)}},
        {{"Bob", "1.00", "19990101", "F", block(1)}, true},
        {{"Cy", "    -13.00", "        ", "?", "          "}},
        {{"Di", "          ", "00000000", "n", block(1)}},
    };
    writeFile(dir.filePath("ledger.dbf"), dbfBytes(0x83, 0x00,
                                                   {{"NAME", 'C', 8},
                                                    {"AMOUNT", 'N', 10, 2},
                                                    {"BORN", 'D', 8},
                                                    {"OK", 'L', 1},
                                                    {"NOTES", 'M', 10}},
                                                   records));

    expectRows(*readTable(dir.path(), "ledger.dbf"),
               {QJsonArray{"  Ann", "12.50", "1987-03-01", "1", "first\r\nmemo"},
                QJsonArray{"Cy", "-13.00", null, null, null},
                QJsonArray{"Di", null, null, "0", QString::fromLatin1(longMemo)}});
}

TEST(DbfNumbers, StoredTextBecomesExactDecimal) {
    // Each stored text "=" its decimal (none: Null).
    const QStringList cases =
        QString(
            "  -12.50=-12.50;     .5=0.5;      5.=5;1.5E3=1500;-2.5e-3=-0.0025;  +7=7; 007.10=7.10;"
            "-0.00=0.00;12345678901234567890=12345678901234567890;1,25=1.25;********=;=;"
            "0.1000000000000000055=0.1000000000000000055")
            .split(u';');
    QTemporaryDir dir;
    std::vector<RecordSpec> records;
    for (const QString& c : cases)
        records.push_back({{c.section(u'=', 0, 0).toLatin1(), c.section(u'=', 0, 0).toLatin1()}});
    writeFile(dir.filePath("n.dbf"),
              dbfBytes(0x03, 0, {{"N", 'N', 21, 4}, {"F", 'F', 21, 4}}, records));
    const auto rs = readTable(dir.path(), "n");
    ASSERT_EQ(rs->recordCount(), cases.size());
    for (long row = 0; row < rs->recordCount(); ++row) {
        const QString expected = cases[row].section(u'=', 1);
        const Value want = expected.isEmpty() ? Value::null() : Value::decimal(expected);
        EXPECT_EQ(rs->valueAt(row, 0), want) << cases[row].toStdString();
        EXPECT_EQ(rs->valueAt(row, 1), want) << cases[row].toStdString();
    }
}

TEST(DbfCodePages, HeaderByteDecidesTheEncoding) {
    QTemporaryDir dir;
    const std::tuple<std::uint8_t, QByteArray, const char*> cases[] = {
        {0x00, "\x80\x85\x8A\xE9\x81", "€…Šé\xC2\x81"},  // none given: Windows-1252
        {0xC9, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},    // cp1251
    };
    for (const auto& [languageDriver, stored, utf8] : cases) {
        writeFile(dir.filePath("cp.dbf"),
                  dbfBytes(0x30, languageDriver, {{"TEXT", 'C', 12}}, {{{stored}}}));
        EXPECT_EQ(readTable(dir.path(), "cp.dbf")->valueAt(0, 0).toText(), QString::fromUtf8(utf8));
    }
    std::vector<std::uint32_t> blocks;
    writeFile(dir.filePath("ru.fpt"), memoBytes(512, {{1, "\xE4\xE0"}}, blocks));
    writeFile(dir.filePath("ru.dbf"),
              dbfBytes(0x30, 0xC9, {{"\xC8\xCC\xDF", 'M', 4}}, {{{bytesOf(blocks[0])}}}));
    const auto rs = readTable(dir.path(), "ru.dbf");
    EXPECT_EQ(rs->fieldInfo(0).name, QString::fromUtf8("ИМЯ"));
    EXPECT_EQ(rs->valueAt(0, 0).toText(), QString::fromUtf8("да"));
}

TEST(DbfTableSize, RecordsAreCountedByTheHeaderAndFieldsAndMemosMayBeLarge) {
    QTemporaryDir dir;
    const std::vector<FieldSpec> fields = {{"A", 'C', 3}};
    QByteArray bytes = dbfBytes(0x03, 0, fields, {{{"one"}}, {{"two"}}});
    // Bytes after the announced records (here a third record) are not part of the table.
    writeFile(dir.filePath("extra.dbf"), bytes.chopped(1) + " six\x1A");
    EXPECT_EQ(readTable(dir.path(), "extra.dbf")->recordCount(), 2);
    // A header that announces more records than the file holds: the file was cut short.
    bytes[4] = 3;
    writeFile(dir.filePath("short.dbf"), bytes);
    expectError([&] { readTable(dir.path(), "short.dbf"); }, {"short.dbf", "announces 3 records"});
    // Without the end-of-file mark the records are all there.
    writeFile(dir.filePath("nomark.dbf"), dbfBytes(0x03, 0, fields, {{{"one"}}}).chopped(1));
    EXPECT_EQ(readTable(dir.path(), "nomark.dbf")->valueAt(0, 0), Value::text("one"));

    // A character field of 256 bytes or more keeps its high byte in the decimals.
    const QByteArray text = QByteArray(299, 'a') + 'z';
    // The writer pads to the low byte only; rebuild the record at its true width.
    QByteArray wide = dbfBytes(0x03, 0, {{"LONG", 'C', 300 & 0xFF, 300 >> 8}}, {}).chopped(1);
    wide.replace(10, 2, bytesOf(1 + 300, 2));
    writeFile(dir.filePath("long.dbf"), wide.replace(4, 1, "\x01") + ' ' + text + '\x1A');
    const auto rs = readTable(dir.path(), "long.dbf");
    EXPECT_EQ(rs->fieldInfo(0).definedSize, 300);
    EXPECT_EQ(rs->valueAt(0, 0), Value::text(QString::fromLatin1(text)));

    // A memo far into a large memo file.
    const qint64 offset = qint64(300) << 20;  // beyond what is read into memory whole
    QFile memo(dir.filePath("big.fpt"));
    ASSERT_TRUE(memo.open(QIODevice::WriteOnly));
    memo.write(QByteArray(7, '\0') + '\x40' + QByteArray(504, '\0'));  // 64-byte blocks
    ASSERT_TRUE(memo.resize(offset));  // sparse where the file system allows
    ASSERT_TRUE(memo.seek(offset));
    memo.write(QByteArray("\0\0\0\1\0\0\0\4", 8) + "tail");
    memo.close();
    writeFile(dir.filePath("big.dbf"),
              dbfBytes(0x30, 3, {{"M", 'M', 4}}, {{{bytesOf(std::uint32_t(offset / 64))}}}));
    EXPECT_EQ(readTable(dir.path(), "big.dbf")->valueAt(0, 0), Value::text("tail"));
}

TEST(DbfBrokenValues, ErrorNamesTableRecordAndField) {
    const struct {
        FieldSpec field;
        QByteArray stored;
        const char* reason;
    } cases[] = {
        {{"AMOUNT", 'N', 8, 2}, "12a.00", "is not a number"},
        {{"AMOUNT", 'N', 8, 2}, "1.2**", "is not a number"},
        {{"BORN", 'D', 8}, "20230231", "is not a date"},
        {{"BORN", 'D', 8}, "2023-1-1", "is not a date"},
        {{"OK", 'L', 1}, "X", "is not a logical value"},
        {{"STAMP", 'T', 8}, julianDateTime(2451545, 86400000), "not a date and time"},
        {{"NOTES", 'M', 10}, "      12x ", "is not a memo block number"},
    };
    QTemporaryDir dir;
    std::vector<std::uint32_t> noBlocks;
    writeFile(dir.filePath("bad.fpt"), memoBytes(64, {}, noBlocks));
    for (const auto& c : cases) {
        writeFile(dir.filePath("bad.dbf"),
                  dbfBytes(0x30, 3, {{"ID", 'C', 2}, c.field}, {{{"ok"}}, {{"no", c.stored}}}));
        expectError([&] { readTable(dir.path(), "bad.dbf"); },
                    {"bad.dbf", "record 2, field " + c.field.name.toStdString(), c.reason});
    }
    // A memo block beyond the end of the memo file names the memo file.
    std::vector<std::uint32_t> blocks;
    QByteArray memo = memoBytes(64, {{1, "complete"}, {1, QByteArray(100, 'y')}}, blocks);
    writeFile(dir.filePath("cut.fpt"), memo.chopped(64));  // the second memo is cut
    writeFile(dir.filePath("cut.dbf"),
              dbfBytes(0x30, 3, {{"M", 'M', 4}},
                       {{{bytesOf(blocks[0])}}, {{bytesOf(blocks[1])}}, {{bytesOf(9999)}}}));
    expectError([&] { readTable(dir.path(), "cut.dbf"); }, {"cut.fpt", "record 2, field M"});
}

TEST(DbfConnection, TheFolderIsTheSourceAndItsTableFilesAreTheCatalogue) {
    const QString missing = QStringLiteral("/nonexistent/keldara-dbf-folder");
    expectError([&] { openFolder(missing); }, {missing.toStdString()});
    EXPECT_THROW(openFolder(QString()), DaoError);
    QTemporaryDir dir;
    for (const char* name : {"Beta.DBF", "alpha.dbf", "notes.fpt", "readme.txt"})
        writeFile(dir.filePath(name), "");
    writeFile(dir.filePath("Orders.DBF"), dbfBytes(0x03, 0, {{"A", 'C', 1}}, {{{"x"}}}));
    EXPECT_THROW(openFolder(dir.filePath("Orders.DBF")), DaoError);  // a file is not a folder
    QDir(dir.path()).mkdir("sub.dbf");
    const auto connection = openFolder(dir.path());
    EXPECT_EQ(tableNames(*connection), QStringList({"alpha.dbf", "Beta.DBF", "Orders.DBF"}));
    EXPECT_EQ(connection->openRecordset("select * from orders")->recordCount(), 1);
    EXPECT_THROW(connection->openRecordset("SELECT * FROM [../Orders.DBF]"), DaoError);
}

// A header may announce 2^31 records that a (sparse) file holds but memory does not: an error
// naming the table. (More than a short file holds: DbfTableSize.)
TEST(DbfRecordCount, RecordsBeyondMemoryAreAnError) {
    if (!kAddressSpaceCanBeLimited) GTEST_SKIP() << "the address space cannot be limited";
    QTemporaryDir dir;
    const QString path = dir.filePath("sparse.dbf");
    writeFile(path, dbfBytes(0x03, 0, {{"A", 'C', 1}}, {{{"x"}}}).replace(4, 4, bytesOf(1u << 31)));
    ASSERT_TRUE(QFile::resize(path, 32 + 32 + 1 + (qint64(2) << 31)));
    const std::string outcome = outcomeUnderLimits(
        [&] { return std::to_string(readTable(dir.path(), "sparse.dbf")->recordCount()); }, 512,
        60);
    EXPECT_TRUE(outcome.starts_with("error: ") &&
                outcome.find(path.toStdString()) != std::string::npos &&
                outcome.find("not enough memory") != std::string::npos)
        << outcome;
}

// A streamed table is read a chunk at a time, twice: records deleted anywhere are left out of
// the count and the values alike, and a damaged value is found on opening, as a load finds it.
TEST(DbfStreamed, AgreesWithTheLoadedTableOnDeletedRecordsAndDamage) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    writeFile(dir.filePath("t.fpt"), memoBytes(64, {{1, "memo"}, {1, "other"}}, blocks));
    std::vector<RecordSpec> records;
    for (int i = 0; i < 300000; ++i) {
        records.push_back({{QByteArray::number(i), QByteArray::number(i * 0.25, 'f', 2),
                            bytesOf(blocks[std::size_t(i % 2)])},
                           i % 7 == 3 || (i > 140000 && i < 150000)});
    }
    const std::vector<FieldSpec> fields = {{"ID", 'C', 8}, {"AMOUNT", 'N', 12, 2}, {"M", 'M', 4}};
    const auto connection = openFolder(dir.path());
    writeFile(dir.filePath("t.dbf"), dbfBytes(0x30, 3, fields, records));
    expectStreamedAsLoaded(*connection, "t.dbf");
    for (const QByteArray& broken : {QByteArray("12a.00"), QByteArray("1.2**")}) {
        records.back().values[1] = broken;
        writeFile(dir.filePath("t.dbf"), dbfBytes(0x30, 3, fields, records));
        expectStreamedAsLoaded(*connection, "t.dbf");
    }
}

}  // namespace
