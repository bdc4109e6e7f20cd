// Tables written byte by byte for what the sample files lack: every Visual FoxPro type with
// null flags, dBase III memos, numeric texts, code pages, and broken values and headers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <bit>
#include <functional>
#include <limits>

#include "DbfTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;
using namespace keldara::test::dbf;

namespace {

QByteArray julianDateTime(std::uint32_t day, std::uint32_t milliseconds) {
    return littleEndian32(day) + littleEndian32(milliseconds);
}

QByteArray doubleBytes(double value) {
    return littleEndian64(std::bit_cast<std::uint64_t>(value));
}

// A varchar of width `width` holding fewer bytes: the length sits in the field's last byte.
QByteArray shortVarField(const QByteArray& value, int width) {
    QByteArray bytes = value + QByteArray(width - 1 - value.size(), '\0');
    return bytes + static_cast<char>(value.size());
}

std::string errorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const DaoError& error) {
        return error.description().toStdString();
    }
    return "no error";
}

TEST(DbfVisualFoxPro, EveryTypeWithNullFlagsAndMemos) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    const QByteArray fpt = fptBytes(64,
                                    {{1, "Line 1\r\nLine 2 \xE9"},
                                     {0, QByteArray("\x89PNG\r\n\x1A\n", 8)},
                                     {2, QByteArray("\xD0\xCF\x11\xE0\x00", 5)},
                                     {1, QByteArray("\x00\x01 raw ", 7)}},
                                    blocks);
    writeFile(dir.filePath("types.Fpt"), fpt);
    const std::vector<FieldSpec> fields = {
        {"ID", 'I', 4},
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
        {"_NullFlags", '0', 1, 0, 0x05},
    };
    // Null flag bits: NAME null 0; NOTE short 1, null 2; RAW short 3.
    const QByteArray noMemo = littleEndian32(0);
    const std::vector<RecordSpec> records = {
        {{littleEndian32(1), "Ann", shortVarField("hi  ", 10),
          shortVarField(QByteArray("\x00\xFF ", 3), 6), littleEndian64(123456789), doubleBytes(0.1),
          julianDateTime(2451545, 43200123), littleEndian32(blocks[0]), littleEndian32(blocks[1]),
          littleEndian32(blocks[2]), littleEndian32(blocks[3]), QByteArray("\x01\x02  ", 4),
          QByteArray(1, 0x0A)}},
        {{littleEndian32(2), "gone"}, true},
        {{littleEndian32(std::uint32_t(-7)), "", "0123456789", "abcdef",
          littleEndian64(std::uint64_t(std::numeric_limits<std::int64_t>::min())),
          doubleBytes(-2.5), julianDateTime(0, 0), noMemo, noMemo, noMemo, noMemo,
          QByteArray(4, '\0'), QByteArray(1, 0x01)}},
        {{littleEndian32(4), "          ", shortVarField("x", 10), shortVarField("", 6),
          littleEndian64(-1), doubleBytes(1e300), julianDateTime(2415019, 86399999), noMemo, noMemo,
          noMemo, noMemo, "    ", QByteArray(1, 0x0C)}},
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
    ASSERT_EQ(rs->recordCount(), 3);

    const std::vector<std::vector<Value>> expected = {
        {Value::integer(1), Value::text("Ann"), Value::text("hi  "),
         Value::bytes(QByteArray("\x00\xFF ", 3)), Value::decimal("12345.6789"),
         Value::floating(0.1), Value::dateTime({2000, 1, 1, 12, 0, 0, 123000}),
         Value::text(QString::fromUtf8("Line 1\r\nLine 2 é")),
         Value::bytes(QByteArray("\x89PNG\r\n\x1A\n", 8)),
         Value::bytes(QByteArray("\xD0\xCF\x11\xE0\x00", 5)),
         Value::bytes(QByteArray("\x00\x01 raw ", 7)), Value::bytes(QByteArray("\x01\x02  ", 4))},
        {Value::integer(-7), Value::null(), Value::text("0123456789"), Value::bytes("abcdef"),
         Value::decimal("-922337203685477.5808"), Value::floating(-2.5), Value::null(),
         Value::null(), Value::null(), Value::null(), Value::null(),
         Value::bytes(QByteArray(4, '\0'))},
        {Value::integer(4), Value::text(""), Value::null(), Value::bytes(""),
         Value::decimal("-0.0001"), Value::floating(1e300),
         Value::dateTime({1899, 12, 30, 23, 59, 59, 999000}), Value::null(), Value::null(),
         Value::null(), Value::null(), Value::bytes("    ")},
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 12; ++column) {
            EXPECT_EQ(rs->valueAt(row, column), expected[row][column])
                << "record " << row << ", field " << column << ": "
                << rs->valueAt(row, column).sqlLiteral().toStdString();
        }
    }
}

TEST(DbfDBaseIII, MemosEndAtTheMarkAndDeletedRecordsStayOut) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    const QByteArray longMemo = QByteArray(700, 'x') + "\r\nend";
    writeFile(dir.filePath("LEDGER.DBT"), dbtBytes({"first\r\nmemo", longMemo}, blocks));
    const std::vector<FieldSpec> fields = {{"NAME", 'C', 8},
                                           {"AMOUNT", 'N', 10, 2},
                                           {"BORN", 'D', 8},
                                           {"OK", 'L', 1},
                                           {"NOTES", 'M', 10}};
    auto block = [](std::uint32_t n) { return QByteArray::number(n).rightJustified(10, ' '); };
    const std::vector<RecordSpec> records = {
        {{"  Ann", "     12.50", "19870301", "T", block(blocks[0])}},
        {{"Bob", "1.00", "19990101", "F", block(blocks[1])}, true},
        {{"Cy", "    -13.00", "        ", "?", "          "}},
        {{"Di", "          ", "00000000", "n", block(blocks[1])}},
    };
    writeFile(dir.filePath("ledger.dbf"), dbfBytes(0x83, 0x00, fields, records));

    const auto rs = readTable(dir.path(), "ledger.dbf");
    ASSERT_EQ(rs->recordCount(), 3);
    EXPECT_EQ(rs->fieldInfo(1).type, adType::Numeric);
    EXPECT_EQ(rs->fieldInfo(1).precision, 10);
    EXPECT_EQ(rs->fieldInfo(1).numericScale, 2);
    EXPECT_EQ(rs->fieldInfo(4).type, adType::LongVarChar);
    const std::vector<std::vector<Value>> expected = {
        {Value::text("  Ann"), Value::decimal("12.50"), Value::date(1987, 3, 1),
         Value::boolean(true), Value::text("first\r\nmemo")},
        {Value::text("Cy"), Value::decimal("-13.00"), Value::null(), Value::null(), Value::null()},
        {Value::text("Di"), Value::null(), Value::null(), Value::boolean(false),
         Value::text(QString::fromLatin1(longMemo))},
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(rs->valueAt(row, column), expected[row][column])
                << "record " << row << ", field " << column;
        }
    }
}

struct NumberCase {
    const char* stored;
    const char* expected;  // nullptr: Null
};

TEST(DbfNumbers, StoredTextBecomesExactDecimal) {
    const NumberCase cases[] = {
        {"  -12.50", "-12.50"},
        {"     .5", "0.5"},
        {"      5.", "5"},
        {"1.5E3", "1500"},
        {"-2.5e-3", "-0.0025"},
        {"  +7", "7"},
        {" 007.10", "7.10"},
        {"-0.00", "0.00"},
        {"12345678901234567890", "12345678901234567890"},
        {"0.1000000000000000055", "0.1000000000000000055"},
        {"1,25", "1.25"},
        {"********", nullptr},
        {"", nullptr},
    };
    QTemporaryDir dir;
    std::vector<RecordSpec> records;
    for (const NumberCase& c : cases) records.push_back({{c.stored, c.stored}});
    writeFile(dir.filePath("n.dbf"),
              dbfBytes(0x03, 0, {{"N", 'N', 21, 4}, {"F", 'F', 21, 4}}, records));
    const auto rs = readTable(dir.path(), "n");
    ASSERT_EQ(rs->recordCount(), long(std::size(cases)));
    EXPECT_EQ(rs->fieldInfo(1).type, adType::Double);
    for (long row = 0; row < rs->recordCount(); ++row) {
        const NumberCase& c = cases[row];
        const Value want = c.expected ? Value::decimal(c.expected) : Value::null();
        EXPECT_EQ(rs->valueAt(row, 0), want) << c.stored;
        EXPECT_EQ(rs->valueAt(row, 1), want) << c.stored;
    }
}

struct CodePageCase {
    std::uint8_t languageDriver;
    QByteArray stored;
    const char* expectedUtf8;
};

TEST(DbfCodePages, HeaderByteDecidesTheEncoding) {
    const CodePageCase cases[] = {
        {0x00, "\x80\x85\x8A\xE9\x81", "€…Šé\xC2\x81"},  // none given: Windows-1252
        {0x57, "\x80\x85\x8A\xE9\x81", "€…Šé\xC2\x81"},
        {0x03, "caf\xE9", "café"},
        {0x65, "\x8F\xE0\xA8\xA2\xA5\xE2", "Привет"},  // cp866
        {0x26, "\x8F\xE0\xA8\xA2\xA5\xE2", "Привет"},
        {0xC9, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},  // cp1251
        {0xC8, "\x8A\x9A", "Šš"},                      // cp1250
        {0x02, "pened\x8As", "penedès"},               // cp850
        {0x7A, "\xD6\xD0\xCE\xC4", "中文"},            // cp936
        {0x7A, "\xD6\xD0\xFF", "中\xEF\xBF\xBD"},      // an invalid byte becomes U+FFFD
        {0x7B, "\x93\xFA\x96\x7B", "日本"},            // cp932
    };
    for (const CodePageCase& c : cases) {
        QTemporaryDir dir;
        writeFile(dir.filePath("cp.dbf"),
                  dbfBytes(0x30, c.languageDriver, {{"TEXT", 'C', 12}}, {{{c.stored}}}));
        const auto rs = readTable(dir.path(), "cp.dbf");
        ASSERT_EQ(rs->recordCount(), 1);
        EXPECT_EQ(rs->valueAt(0, 0).toText(), QString::fromUtf8(c.expectedUtf8))
            << "language driver " << int(c.languageDriver);
    }
}

TEST(DbfCodePages, EveryLanguageDriverIdReadsPlainText) {
    QTemporaryDir dir;
    for (int id = 0; id < 256; ++id) {
        writeFile(dir.filePath("id.dbf"),
                  dbfBytes(0x03, std::uint8_t(id), {{"T", 'C', 9}}, {{{"Name 42 x"}}}));
        try {
            EXPECT_EQ(readTable(dir.path(), "id.dbf")->valueAt(0, 0), Value::text("Name 42 x"))
                << "language driver " << id;
        } catch (const DaoError& error) {
            ADD_FAILURE() << "language driver " << id << ": " << error.description().toStdString();
        }
    }
}

TEST(DbfCodePages, FieldNamesAndMemosFollowTheCodePage) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    writeFile(dir.filePath("ru.fpt"), fptBytes(512, {{1, "\xE4\xE0"}}, blocks));
    writeFile(dir.filePath("ru.dbf"),
              dbfBytes(0x30, 0xC9, {{"\xC8\xCC\xDF", 'M', 4}}, {{{littleEndian32(blocks[0])}}}));
    const auto rs = readTable(dir.path(), "ru.dbf");
    EXPECT_EQ(rs->fieldInfo(0).name, QString::fromUtf8("ИМЯ"));
    EXPECT_EQ(rs->valueAt(0, 0).toText(), QString::fromUtf8("да"));
}

TEST(DbfTableSize, RecordsAreCountedByTheHeader) {
    QTemporaryDir dir;
    const std::vector<FieldSpec> fields = {{"A", 'C', 3}};
    QByteArray bytes = dbfBytes(0x03, 0, fields, {{{"one"}}, {{"two"}}});
    // Bytes after the announced records (here a third record) are not part of the table.
    writeFile(dir.filePath("extra.dbf"), bytes.chopped(1) + " six\x1A");
    EXPECT_EQ(readTable(dir.path(), "extra.dbf")->recordCount(), 2);
    // A header that announces more records than the file holds: the file was cut short.
    bytes[4] = 3;
    writeFile(dir.filePath("short.dbf"), bytes);
    const std::string error = errorOf([&] { readTable(dir.path(), "short.dbf"); });
    EXPECT_NE(error.find("short.dbf"), std::string::npos) << error;
    EXPECT_NE(error.find("announces 3 records"), std::string::npos) << error;
    // Without the end-of-file mark the records are all there.
    writeFile(dir.filePath("nomark.dbf"), dbfBytes(0x03, 0, fields, {{{"one"}}}).chopped(1));
    EXPECT_EQ(readTable(dir.path(), "nomark.dbf")->valueAt(0, 0), Value::text("one"));
}

TEST(DbfTableSize, LongCharacterFieldsKeepTheirHighByteInTheDecimals) {
    QTemporaryDir dir;
    const QByteArray text = QByteArray(299, 'a') + 'z';
    QByteArray bytes = dbfBytes(0x03, 0, {{"LONG", 'C', 300 & 0xFF, 300 >> 8}}, {{{""}}});
    // The writer pads to the low byte only; rebuild the record at its true width.
    const int headerLength = 32 + 32 + 1;
    bytes = bytes.left(headerLength) + ' ' + text + '\x1A';
    bytes[10] = static_cast<char>((1 + 300) & 0xFF);
    bytes[11] = static_cast<char>((1 + 300) >> 8);
    writeFile(dir.filePath("long.dbf"), bytes);
    const auto rs = readTable(dir.path(), "long.dbf");
    EXPECT_EQ(rs->fieldInfo(0).definedSize, 300);
    EXPECT_EQ(rs->valueAt(0, 0), Value::text(QString::fromLatin1(text)));
}

struct BrokenValueCase {
    FieldSpec field;
    QByteArray stored;
    const char* reason;
};

TEST(DbfBrokenValues, ErrorNamesTableRecordAndField) {
    const BrokenValueCase cases[] = {
        {{"AMOUNT", 'N', 8, 2}, "12a.00", "is not a number"},
        {{"AMOUNT", 'N', 8, 2}, "1.2**", "is not a number"},
        {{"BORN", 'D', 8}, "20230231", "is not a date"},
        {{"BORN", 'D', 8}, "2023-1-1", "is not a date"},
        {{"OK", 'L', 1}, "X", "is not a logical value"},
        {{"STAMP", 'T', 8}, julianDateTime(2451545, 86400000), "not a date and time"},
        {{"NOTES", 'M', 10}, "      12x ", "is not a memo block number"},
    };
    for (const BrokenValueCase& c : cases) {
        QTemporaryDir dir;
        writeFile(dir.filePath("bad.dbf"),
                  dbfBytes(0x30, 3, {{"ID", 'C', 2}, c.field}, {{{"ok"}}, {{"no", c.stored}}}));
        std::vector<std::uint32_t> noBlocks;
        writeFile(dir.filePath("bad.fpt"), fptBytes(64, {}, noBlocks));
        const std::string error = errorOf([&] { readTable(dir.path(), "bad.dbf"); });
        EXPECT_NE(error.find("bad.dbf"), std::string::npos) << error;
        EXPECT_NE(error.find("record 2, field " + c.field.name.toStdString()), std::string::npos)
            << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(DbfBrokenValues, MemoBeyondTheMemoFileNamesIt) {
    QTemporaryDir dir;
    std::vector<std::uint32_t> blocks;
    QByteArray memo = fptBytes(64, {{1, "complete"}, {1, QByteArray(100, 'y')}}, blocks);
    writeFile(dir.filePath("cut.fpt"), memo.left(memo.size() - 64));  // the second memo is cut
    writeFile(dir.filePath("cut.dbf"), dbfBytes(0x30, 3, {{"M", 'M', 4}},
                                                {{{littleEndian32(blocks[0])}},
                                                 {{littleEndian32(blocks[1])}},
                                                 {{littleEndian32(9999)}}}));
    const std::string error = errorOf([&] { readTable(dir.path(), "cut.dbf"); });
    EXPECT_NE(error.find("cut.fpt"), std::string::npos) << error;
    EXPECT_NE(error.find("record 2, field M"), std::string::npos) << error;
}

TEST(DbfTableSize, MemoFarIntoALargeMemoFile) {
    QTemporaryDir dir;
    const qint64 offset = qint64(300) << 20;  // beyond what is read into memory whole
    QByteArray header(512, '\0');
    header[7] = 64;
    const QByteArray block = QByteArray("\0\0\0\1\0\0\0\4", 8) + "tail";
    QFile memo(dir.filePath("big.fpt"));
    ASSERT_TRUE(memo.open(QIODevice::WriteOnly));
    memo.write(header);
    ASSERT_TRUE(memo.resize(offset));  // sparse where the file system allows
    ASSERT_TRUE(memo.seek(offset));
    memo.write(block);
    memo.close();
    writeFile(dir.filePath("big.dbf"),
              dbfBytes(0x30, 3, {{"M", 'M', 4}}, {{{littleEndian32(std::uint32_t(offset / 64))}}}));
    EXPECT_EQ(readTable(dir.path(), "big.dbf")->valueAt(0, 0), Value::text("tail"));
}

TEST(DbfConnection, FolderMustExistAndIsNamed) {
    const QString missing = QStringLiteral("/nonexistent/keldara-dbf-folder");
    const std::string error = errorOf([&] { openFolder(missing); });
    EXPECT_NE(error.find(missing.toStdString()), std::string::npos) << error;
    EXPECT_THROW(openFolder(QString()), DaoError);
    QTemporaryDir dir;
    writeFile(dir.filePath("file.dbf"), "x");
    EXPECT_THROW(openFolder(dir.filePath("file.dbf")), DaoError);  // a file is not a folder
}

TEST(DbfConnection, CatalogueListsTheTableFilesSorted) {
    QTemporaryDir dir;
    for (const char* name : {"orders.dbf", "Beta.DBF", "alpha.dbf", "notes.fpt", "readme.txt"}) {
        writeFile(dir.filePath(name), "");
    }
    QDir(dir.path()).mkdir("sub.dbf");
    const auto catalogue = openFolder(dir.path())->openTableCatalogue();
    ASSERT_EQ(catalogue->fieldInfo(0).name, "TABLE_NAME");
    QStringList names;
    for (long row = 0; row < catalogue->recordCount(); ++row) {
        names << catalogue->valueAt(row, 0).toText();
    }
    EXPECT_EQ(names, QStringList({"alpha.dbf", "Beta.DBF", "orders.dbf"}));
}

TEST(DbfConnection, TableNamesFindTheirFile) {
    QTemporaryDir dir;
    writeFile(dir.filePath("Orders.DBF"), dbfBytes(0x03, 0, {{"A", 'C', 1}}, {{{"x"}}}));
    const auto connection = openFolder(dir.path());
    for (const char* sql : {"SELECT * FROM [Orders.DBF]", "SELECT * FROM [orders.dbf]",
                            "SELECT * FROM [ORDERS]", "select * from orders"}) {
        EXPECT_EQ(connection->openRecordset(sql)->recordCount(), 1) << sql;
    }
    try {
        connection->openRecordset("SELECT * FROM [missing.dbf]");
        FAIL() << "a missing table was read";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::NoSuchTable);
        EXPECT_TRUE(error.description().contains("missing.dbf"));
    }
    EXPECT_THROW(connection->openRecordset("SELECT * FROM [../Orders.DBF]"), DaoError);
    EXPECT_THROW(connection->openRecordset("SELECT a FROM [Orders.DBF]"), DaoError);
    EXPECT_THROW(connection->execute("DELETE FROM [Orders.DBF]"), DaoError);
}

TEST(DbfConnection, ClosedConnectionRefusesWork) {
    QTemporaryDir dir;
    auto connection = openFolder(dir.path());
    EXPECT_TRUE(connection->isOpen());
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_THROW(connection->close(), DaoError);
    EXPECT_THROW(connection->openTableCatalogue(), DaoError);
    EXPECT_THROW(connection->openRecordset("SELECT * FROM [a.dbf]"), DaoError);
}

}  // namespace
