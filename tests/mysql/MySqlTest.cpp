// The MySQL connection against the test server: opening and closing, the server's errors, the
// catalogue, every column type, and statements with and without rows.
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/ValueRows.h"
#include "support/Readers.h"
#include "support/TestServer.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

// The error of a connection that fails to open, which stays closed.
DaoError openFailure(const QString& connectionString) {
    auto connection = createConnection(connectionString);
    const DaoError e = errorOf([&] { connection->open(connectionString); });
    EXPECT_FALSE(connection->isOpen());
    EXPECT_EQ(e.number(), DaoError::OpenFailed);
    return e;
}

QString firstValue(Connection& connection, const QString& sql) {
    const std::vector<QString> rows = rowsOf(*connection.openRecordset(sql));
    return rows.empty() ? "<no rows>" : rows.front();
}

// At server level, on a database or by "localhost", in utf8mb4. Once closed, or its link lost,
// every operation fails; closing completes and it opens again.
TEST_F(MySqlTest, ConnectionsOpenCloseAndReportALostLink) {
    const Server& s = db_->server;
    EXPECT_EQ(firstValue(*openConnection(s.connectionString({})), "SELECT DATABASE()"), "<NULL>");
    const Server localhost{"localhost", s.port, s.user, s.password};
    EXPECT_EQ(firstValue(*openConnection(localhost.connectionString({})), "SELECT @@port"), s.port);
    EXPECT_EQ(
        firstValue(*connection_, "SELECT CONCAT(@@character_set_client, @@character_set_results)"),
        "utf8mb4utf8mb4");

    auto connection = openConnection(scratchConnectionString());
    EXPECT_EQ(firstValue(*connection, "SELECT DATABASE()"), db_->name);
    run({"KILL CONNECTION " + firstValue(*connection, "SELECT CONNECTION_ID()")});
    const DaoError lost = errorOf([&] { connection->openRecordset("SELECT 1"); });
    EXPECT_TRUE(lost.nativeCode() == 2006 || lost.nativeCode() == 2013 || lost.nativeCode() == 1927)
        << lost.nativeCode() << " " << lost.description().toStdString();
    EXPECT_EQ(lost.category(), DaoError::Category::ConnectionLost);
    EXPECT_TRUE(connection->isOpen());
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    const std::function<void()> operations[] = {
        [&] { connection->close(); },
        [&] { connection->execute("SELECT 1"); },
        [&] { connection->openRecordset("SELECT 1"); },
        [&] { connection->openTableCatalogue(); },
    };
    for (const auto& operation : operations)
        EXPECT_EQ(errorOf(operation).number(), DaoError::NotOpen);
    connection->open(scratchConnectionString());  // the same object opens again
    EXPECT_EQ(firstValue(*connection, "SELECT 7"), "7");
    EXPECT_THROW(connection->open(scratchConnectionString()), DaoError);  // already open
    EXPECT_TRUE(connection->isOpen());
}

// (The command line's test shows the server's text for a wrong password, the target window's
// a closed port.)
TEST_F(MySqlTest, FailingToOpenGivesTheServersOrClientsText) {
    const Server& s = db_->server;
    const DaoError noDatabase = openFailure(s.connectionString("kt_no_such_database"));
    EXPECT_EQ(noDatabase.nativeCode(), 1049);
    const DaoError badPort =
        openFailure(Server{s.host, "33o6", s.user, s.password}.connectionString({}));
    EXPECT_TRUE(badPort.description().contains("\"33o6\"")) << badPort.description().toStdString();
}

// (The target window's tests list tables of every other kind through the catalogue.)
TEST_F(MySqlTest, TheCatalogueListsTablesOfAnyNameAndNeedsADatabase) {
    run({"CREATE TABLE `Ärende` (id INT)"});
    EXPECT_EQ(tableNames(*connection_), QStringList{"Ärende"});
    auto serverLevel = openConnection(db_->server.connectionString({}));
    EXPECT_EQ(errorOf([&] { serverLevel->openTableCatalogue(); }).nativeCode(), 1046);
}

// One column: its declaration, a literal to store, and what reading it back must give. All of them
// go into one table, with a row of these values and a row of NULLs.
struct TypeCase {
    const char *declaration, *literal;
    int type;
    long definedSize;
    Value value;
    int precision = 0, scale = 0;  // of DECIMAL columns
};

namespace t = adType;
using V = Value;

const std::vector<TypeCase> kTypeCases = {
    {"INT", "-2147483648", t::Integer, 11, V::integer(-2147483648LL)},
    {"INT UNSIGNED", "4294967295", t::UnsignedInt, 10, V::integer(4294967295LL)},
    {"SMALLINT", "-32768", t::SmallInt, 6, V::integer(-32768)},
    {"SMALLINT UNSIGNED", "65535", t::UnsignedSmallInt, 5, V::integer(65535)},
    {"TINYINT", "-128", t::TinyInt, 4, V::integer(-128)},
    {"TINYINT UNSIGNED", "255", t::UnsignedTinyInt, 3, V::integer(255)},
    {"BIGINT", "-9223372036854775808", t::BigInt, 20,
     V::integer(std::numeric_limits<std::int64_t>::min())},
    {"BIGINT UNSIGNED", "9223372036854775807", t::UnsignedBigInt, 20,
     V::integer(std::numeric_limits<std::int64_t>::max())},
    {"BIGINT UNSIGNED", "18446744073709551615", t::UnsignedBigInt, 20,
     V::decimal("18446744073709551615")},
    {"YEAR", "2155", t::SmallInt, 4, V::integer(2155)},
    {"BIT(1)", "b'1'", t::Boolean, 1, V::integer(1)},
    {"BIT(12)", "b'101010101010'", t::Binary, 2, V::integer(2730)},
    {"BIT(64)", "~0", t::Binary, 8, V::decimal("18446744073709551615")},
    {"DECIMAL(30,10)", "'-12345678901234567890.0123456789'", t::Numeric, 32,
     V::decimal("-12345678901234567890.0123456789"), 30, 10},
    {"DOUBLE", "0.1e0 + 0.2e0", t::Double, 22, V::floating(0.1 + 0.2)},
    {"FLOAT", "3.14", t::Single, 12, V::floating(3.14)},
    {"DATE", "'9999-12-31'", t::DBDate, 10, V::date(9999, 12, 31)},
    {"DATE", "'0000-00-00'", t::DBDate, 10, V::text("0000-00-00")},
    {"TIME(6)", "'23:59:59.000001'", t::DBTime, 17, V::time(23, 59, 59, 1)},
    {"TIME", "'838:59:59'", t::DBTime, 10, V::text("838:59:59")},
    {"DATETIME(6)", "'1899-12-30 00:00:00.000001'", t::DBTimeStamp, 26,
     V::dateTime(DateTime{1899, 12, 30, 0, 0, 0, 1})},
    {"DATETIME", "'0000-00-00 00:00:00'", t::DBTimeStamp, 19, V::text("0000-00-00 00:00:00")},
    {"CHAR(10)", "'Luleå'", t::Char, 10, V::text("Luleå")},
    {"VARCHAR(100)", "'😀 Luleå ñ 漢字'", t::VarChar, 100, V::text("😀 Luleå ñ 漢字")},
    {"VARCHAR(20) CHARACTER SET latin1", "'Ærø'", t::VarChar, 20, V::text("Ærø")},
    {"VARCHAR(5)", "''", t::VarChar, 5, V::text("")},
    {"LONGTEXT", "'long'", t::LongVarChar, 1073741823, V::text("long")},
    {"ENUM('small','large')", "'large'", t::Char, 5, V::text("large")},
    {"JSON", "'{\"k\": \"ü\"}'", t::LongVarChar, 1073741823, V::text("{\"k\": \"ü\"}")},
    {"BINARY(4)", "X'00FF0001'", t::Binary, 4, V::bytes(QByteArray::fromHex("00FF0001"))},
    {"VARBINARY(16)", "X'000000'", t::VarBinary, 16, V::bytes(QByteArray::fromHex("000000"))},
    {"BLOB", "X'0001FF00'", t::LongVarBinary, 65535, V::bytes(QByteArray::fromHex("0001FF00"))},
};

// Every column type reports its code, size and value; the same values, bound in their own types
// to a prepared statement, arrive as their literals do.
TEST_F(MySqlTest, EveryColumnTypeReadsBackAndPreparedValuesStoreAsTheirLiterals) {
    QStringList columns, literals, marks;
    std::vector<Value> values, nulls;
    for (const TypeCase& c : kTypeCases) {
        columns << QString("c%1 %2").arg(columns.size()).arg(c.declaration);
        literals << QString::fromUtf8(c.literal);
        marks << "?";
        values.push_back(c.value);
        nulls.push_back(Value::null());
    }
    run({"CREATE TABLE by_literal (" + columns.join(',') + ")",
         "CREATE TABLE by_value LIKE by_literal",
         "INSERT INTO by_literal VALUES (" + literals.join(',') + "), (" +
             QStringList(marks.size(), "NULL").join(',') + ")"});
    auto records = connection_->openRecordset("SELECT * FROM by_literal");
    ASSERT_EQ(records->fieldCount(), static_cast<int>(kTypeCases.size()));
    ASSERT_EQ(records->recordCount(), 2);
    for (int i = 0; i < records->fieldCount(); ++i) {
        const TypeCase& c = kTypeCases[i];
        const FieldInfo& info = records->fieldInfo(i);
        SCOPED_TRACE(std::string(c.declaration) + " = " + c.literal);
        EXPECT_EQ(info.name, QString("c%1").arg(i));
        EXPECT_EQ(info.type, c.type);
        EXPECT_EQ(info.definedSize, c.definedSize);
        if (c.type == adType::Numeric) {
            EXPECT_EQ(info.precision, c.precision);
            EXPECT_EQ(info.numericScale, c.scale);
        }
        EXPECT_EQ(records->valueAt(0, i).sqlLiteral(), c.value.sqlLiteral());
        EXPECT_EQ(records->valueAt(0, i), c.value);
        EXPECT_TRUE(records->valueAt(1, i).isNull());
    }

    const auto insert =
        connection_->prepare("INSERT INTO by_value VALUES (" + marks.join(',') + ")");
    EXPECT_EQ(insert->execute(values), 1);
    EXPECT_EQ(insert->execute(nulls), 1);
    EXPECT_EQ(rowsOf(*connection_->openRecordset("SELECT * FROM by_value")), rowsOf(*records));

    // (A prepared statement's refusals: the transfer tests' refused records.)
    EXPECT_EQ(errorOf([&] { connection_->prepare("INSERT INTO nobody VALUES (?)"); }).nativeCode(),
              1146);
}

TEST_F(MySqlTest, RejectedStatementsCarryTheServersTextAndNumber) {
    run({"CREATE TABLE people (id INT PRIMARY KEY)", "INSERT INTO people VALUES (1)"});
    const struct {
        const char* sql;
        int number, serverCode;
        const char* textPart;
    } cases[] = {
        {"INSERT INTO nobody VALUES (1)", DaoError::NoSuchTable, 1146, "nobody' doesn't exist"},
        {"INSERT INTO people VALUES (1)", DaoError::BadQuery, 1062, "Duplicate entry '1'"},
        {"SELECT * FROM order lines", DaoError::BadQuery, 1064, "You have an error in your SQL"},
    };
    for (const auto& c : cases) {  // execute and openRecordset send statements alike
        const DaoError e = errorOf([&] { connection_->execute(QString::fromUtf8(c.sql)); });
        EXPECT_EQ(e.number(), c.number) << c.sql;
        EXPECT_EQ(e.nativeCode(), c.serverCode) << c.sql;
        EXPECT_TRUE(e.description().contains(QString::fromUtf8(c.textPart)))
            << e.description().toStdString();
        EXPECT_EQ(e.category(), DaoError::Category::Refused) << c.sql;
    }
    // A row another transaction holds: the statement is undone, and may pass when sent again.
    auto holder = openConnection(scratchConnectionString());
    holder->execute("START TRANSACTION");
    holder->execute("SELECT * FROM people WHERE id = 1 FOR UPDATE");
    run({"SET SESSION innodb_lock_wait_timeout = 1"});
    const DaoError waited = errorOf([&] { run({"UPDATE people SET id = 2 WHERE id = 1"}); });
    EXPECT_EQ(waited.nativeCode(), 1205);
    EXPECT_EQ(waited.category(), DaoError::Category::RetryTransaction);
    holder->execute("ROLLBACK");
    // The connection goes on serving after each rejection.
    EXPECT_EQ(connection_->openRecordset("SELECT COUNT(*) FROM people")->valueAt(0, 0),
              Value::integer(1));
}

TEST_F(MySqlTest, StatementsWithAndWithoutRowsLeaveTheConnectionReady) {
    run({"CREATE TABLE n (v INT PRIMARY KEY, name VARCHAR(40))",
         "INSERT INTO n VALUES (1, 'Åsa'), (2, 'Bo'), (3, NULL)",
         "UPDATE n SET name = 'Bodil' WHERE v = 2",
         "CREATE PROCEDURE two_results() BEGIN SELECT 1; SELECT 2, 3; END"});

    // Rows that execute does not want are read off and dropped.
    connection_->execute("SELECT * FROM n");
    connection_->execute("CALL two_results()");
    EXPECT_EQ(tableRows("n"), (std::vector<QString>{"1 | Åsa", "2 | Bodil", "3 | <NULL>"}));

    // A recordset holds the first result of a procedure; the rest is dropped.
    auto first = connection_->openRecordset("CALL two_results()");
    ASSERT_EQ(first->fieldCount(), 1);
    EXPECT_EQ(first->valueAt(0, 0), Value::integer(1));

    // A statement without rows runs and gives a recordset without fields or records.
    auto none = connection_->openRecordset("UPDATE n SET v = v * 10");
    EXPECT_TRUE(none->fieldCount() == 0 && none->recordCount() == 0 && none->eof());
    EXPECT_EQ(connection_->openRecordset("SELECT SUM(v) FROM n")->valueAt(0, 0),
              Value::decimal("60"));

    auto empty = connection_->openRecordset("SELECT * FROM n WHERE v < 0");
    EXPECT_TRUE(empty->fieldCount() == 2 && empty->recordCount() == 0);

    // Statements run together stop at the first one refused: those before it count the rows
    // they found, the ones after it are not run, and the session takes one statement at a time
    // again after.
    const Connection::EachCounted each = connection_->executeEach(
        {"UPDATE n SET name = 'x' WHERE v = 10", "UPDATE n SET name = 'y' WHERE v = 99",
         "UPDATE n SET v = 20 WHERE v = 10", "UPDATE n SET name = 'z' WHERE v = 30"});
    EXPECT_EQ(each.affected, (std::vector<long long>{1, 0}));
    ASSERT_TRUE(each.failed.has_value());
    EXPECT_TRUE(each.failed->description().contains("Duplicate entry '20'"));
    EXPECT_EQ(tableRows("n"), (std::vector<QString>{"10 | x", "20 | Bodil", "30 | <NULL>"}));
    EXPECT_EQ(errorOf([&] { connection_->execute("SELECT 1; SELECT 2"); }).nativeCode(), 1064);

    // Columns of no table: a Null literal and a binary string.
    auto literals = connection_->openRecordset("SELECT NULL AS nothing, X'00' AS raw");
    EXPECT_TRUE(literals->fieldInfo(0).name == "nothing" && literals->valueAt(0, 0).isNull());
    EXPECT_EQ(literals->fieldInfo(1).type, adType::VarBinary);
    EXPECT_EQ(literals->valueAt(0, 1), Value::bytes(QByteArray(1, '\0')));
}

// Batches of rows for one insert are sent to the statement prepared for the first: after a
// refused batch and in a new session it is prepared again, and another insert has its own.
TEST_F(MySqlTest, BatchesOfRowsShareTheirPreparedInsertWhileTheSessionLasts) {
    ASSERT_TRUE(connection_->insertsValueRows());
    run({"CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5))", "CREATE TABLE U LIKE T"});
    const auto insert = [&](const char* table, int k) {
        ValueRows rows(2);
        rows.append(Value::integer(k));
        rows.append(Value::text(table));
        return connection_
            ->insertValueRows(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(table), rows)
            .rows;
    };
    const auto prepares = [&] {
        return firstValue(*connection_,
                          "SELECT VARIABLE_VALUE FROM information_schema."
                          "SESSION_STATUS WHERE VARIABLE_NAME = 'COM_STMT_PREPARE'");
    };
    const QString before = prepares();
    EXPECT_EQ(insert("T", 1) + insert("T", 2), 2);
    EXPECT_EQ(prepares().toInt(), before.toInt() + 1);
    EXPECT_EQ(errorOf([&] { insert("T", 2); }).nativeCode(), 1062);
    EXPECT_EQ(insert("T", 3) + insert("U", 1), 2);
    openConnection(scratchConnectionString())
        ->execute("KILL CONNECTION " + firstValue(*connection_, "SELECT CONNECTION_ID()"));
    EXPECT_EQ(errorOf([&] { insert("T", 4); }).category(), DaoError::Category::ConnectionLost);
    connection_->reconnect();
    EXPECT_EQ(insert("T", 4), 1);
    EXPECT_EQ(tableRows("T"), (std::vector<QString>{"1 | T", "2 | T", "3 | T", "4 | T"}));
    EXPECT_EQ(tableRows("U"), std::vector<QString>{"1 | U"});
}

}  // namespace
