#include <gtest/gtest.h>

#include "MySqlTestServer.h"
#include "platform/dao/DaoError.h"

using namespace keldara::dao;
using keldara::test::MySqlTest;

namespace {

struct RejectedCase {
    const char* sql;
    int number;
    int serverCode;
    const char* textPart;
};

long countOf(Connection& connection, const QString& table) {
    return static_cast<long>(
        connection.openRecordset(QStringLiteral("SELECT COUNT(*) FROM ") + table)
            ->valueAt(0, 0)
            .toInt());
}

}  // namespace

TEST_F(MySqlTest, ExecuteRunsInsertAndUpdateStatements) {
    run("CREATE TABLE people (id INT PRIMARY KEY, name VARCHAR(40))");
    connection_->execute(QStringLiteral("INSERT INTO people (id, name) VALUES (1, 'Åsa')"));
    connection_->execute(QStringLiteral("INSERT INTO people (id, name) VALUES (2, 'Bo')"));
    connection_->execute(QStringLiteral("UPDATE people SET name = 'Bodil' WHERE id = 2"));
    auto records =
        connection_->openRecordset(QStringLiteral("SELECT name FROM people ORDER BY id"));
    ASSERT_EQ(records->recordCount(), 2);
    EXPECT_EQ(records->valueAt(0, 0), Value::text("Åsa"));
    EXPECT_EQ(records->valueAt(1, 0), Value::text("Bodil"));
}

TEST_F(MySqlTest, RejectedStatementsCarryTheServersTextAndNumber) {
    run({"CREATE TABLE people (id INT PRIMARY KEY)", "INSERT INTO people VALUES (1)"});
    const RejectedCase cases[] = {
        {"INSERT INTO nobody VALUES (1)", DaoError::NoSuchTable, 1146, "nobody' doesn't exist"},
        {"INSERT INTO people VALUES (1)", DaoError::BadQuery, 1062, "Duplicate entry '1'"},
        {"INSERT INTO people VALUES ('x')", DaoError::BadQuery, 1366, "Incorrect integer value"},
        {"SELECT * FROM order lines", DaoError::BadQuery, 1064, "You have an error in your SQL"},
        {"UPDATE people SET missing = 1", DaoError::BadQuery, 1054, "Unknown column 'missing'"},
    };
    for (const RejectedCase& c : cases) {
        for (const bool asRecordset : {false, true}) {
            SCOPED_TRACE(std::string(c.sql) + (asRecordset ? " (recordset)" : " (execute)"));
            try {
                if (asRecordset) {
                    connection_->openRecordset(QString::fromUtf8(c.sql));
                } else {
                    connection_->execute(QString::fromUtf8(c.sql));
                }
                ADD_FAILURE() << "accepted";
            } catch (const DaoError& e) {
                EXPECT_EQ(e.number(), c.number);
                EXPECT_EQ(e.nativeCode(), c.serverCode);
                EXPECT_TRUE(e.description().contains(QString::fromUtf8(c.textPart)))
                    << e.description().toStdString();
            }
        }
    }
    // The connection goes on serving after each rejection.
    EXPECT_EQ(countOf(*connection_, QStringLiteral("people")), 1);
}

TEST_F(MySqlTest, StatementsWithAndWithoutRowsLeaveTheConnectionReady) {
    run({"CREATE TABLE n (v INT)", "INSERT INTO n VALUES (1), (2), (3)",
         "CREATE PROCEDURE two_results() BEGIN SELECT 1; SELECT 2, 3; END"});

    // Rows that execute does not want are read off and dropped.
    connection_->execute(QStringLiteral("SELECT * FROM n"));
    connection_->execute(QStringLiteral("CALL two_results()"));
    EXPECT_EQ(countOf(*connection_, QStringLiteral("n")), 3);

    // A recordset holds the first result of a procedure; the rest is dropped.
    auto first = connection_->openRecordset(QStringLiteral("CALL two_results()"));
    ASSERT_EQ(first->fieldCount(), 1);
    EXPECT_EQ(first->valueAt(0, 0), Value::integer(1));

    // A statement without rows runs and gives a recordset without fields or records.
    auto none = connection_->openRecordset(QStringLiteral("UPDATE n SET v = v * 10"));
    EXPECT_EQ(none->fieldCount(), 0);
    EXPECT_EQ(none->recordCount(), 0);
    EXPECT_TRUE(none->eof());
    EXPECT_EQ(connection_->openRecordset(QStringLiteral("SELECT SUM(v) FROM n"))->valueAt(0, 0),
              Value::decimal("60"));
}

TEST_F(MySqlTest, EmptyTableGivesFieldsWithoutRecords) {
    run("CREATE TABLE empty_one (id INT, label VARCHAR(12))");
    auto records = connection_->openRecordset(QStringLiteral("SELECT * FROM empty_one"));
    EXPECT_EQ(records->fieldCount(), 2);
    EXPECT_EQ(records->fieldInfo(1).definedSize, 12);
    EXPECT_EQ(records->recordCount(), 0);
    EXPECT_TRUE(records->bof() && records->eof());
    EXPECT_THROW(records->moveFirst(), DaoError);
}

// A hundred thousand rows, every one read, in order and whole.
TEST_F(MySqlTest, LargeTableIsReadCompletely) {
    constexpr long kRows = 100000;
    run(
        {"CREATE TABLE big (id INT PRIMARY KEY, label VARCHAR(30), amount DECIMAL(12,2), "
         "note TEXT NULL)",
         "INSERT INTO big SELECT seq, CONCAT('row ', seq), seq / 100, "
         "IF(seq % 7 = 0, NULL, REPEAT('x', seq % 50)) FROM seq_1_to_100000"});

    auto records = connection_->openRecordset(QStringLiteral("SELECT * FROM big ORDER BY id"));
    ASSERT_EQ(records->recordCount(), kRows);
    long mismatches = 0;
    for (long row = 0; row < kRows; ++row) {
        const long id = row + 1;
        const Value note = records->valueAt(row, 3);
        const bool ok =
            records->valueAt(row, 0) == Value::integer(id) &&
            records->valueAt(row, 1).toText() == QStringLiteral("row %1").arg(id) &&
            records->valueAt(row, 2).decimalText() ==
                QStringLiteral("%1.%2").arg(id / 100).arg(id % 100, 2, 10, QLatin1Char('0')) &&
            (id % 7 == 0 ? note.isNull() : note.toText().size() == id % 50);
        if (!ok && ++mismatches <= 5) ADD_FAILURE() << "row " << id << " differs";
    }
    EXPECT_EQ(mismatches, 0);
    records->moveLast();
    EXPECT_EQ(records->absolutePosition(), kRows);
}
