// The transfer and the script on real servers: every value of the sample tables arrives as it
// was, and a failure or a stop keeps exactly the records before it, per record and in bulk.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <array>
#include <stdexcept>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/TestServer.h"
#include "transfer/BulkInsert.h"
#include "transfer/BulkMerge.h"
#include "transfer/CreateTableScript.h"
#include "transfer/MergeToTarget.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/SqlText.h"
#include "transfer/StatementSender.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;
using dao::Value;

namespace {

// A server of our own with MariaDB's compiled-in defaults (latin1, no configuration file),
// started on first use and stopped when the tests end.
struct DefaultsServer {
    static const test::Server& get() {
        static DefaultsServer instance;
        return instance.server;
    }
    // Without its connection details the test would try a default address: the script's own
    // words instead.
    DefaultsServer() {
        const test::ProcessResult started = script("start --defaults");
        server = test::serverOf(started.out);
        if (server.port.isEmpty()) {
            throw std::runtime_error("the server with compiled-in defaults did not start: " +
                                     started.err.toStdString());
        }
    }
    ~DefaultsServer() { script("stop"); }
    static test::ProcessResult script(const QString& command) {
        const QString state = "KELDARA_DB_STATE=/tmp/keldara-defaults-" +
                              QString::number(QCoreApplication::applicationPid());
        return test::runProcess(
            "env", QStringList{state, "bash", test::sourceDir() + "/scripts/mariadb-server.sh"} +
                       command.split(' '));
    }
    test::Server server;
};

enum class Setting { TestServer, CompiledDefaults, EmptySqlMode };

class TransferServerTest : public test::ScratchDatabaseTest<::testing::TestWithParam<Setting>> {
  protected:
    test::Server serverForTest() override {
        if (GetParam() == Setting::TestServer) return test::testServer();
        const test::Server& server = DefaultsServer::get();
        dao::openConnection(server.connectionString({}))
            ->execute(GetParam() == Setting::EmptySqlMode ? "SET GLOBAL sql_mode = ''"
                                                          : "SET GLOBAL sql_mode = DEFAULT");
        return server;
    }

    // The statements this connection has run prepared so far.
    long long preparedExecutions() {
        return connection_->openRecordset("SHOW SESSION STATUS LIKE 'Com_stmt_execute'")
            ->valueAt(0, 1)
            .standardText()
            .toLongLong();
    }

    void expectTableHolds(const dao::Recordset& source, const char* step) {
        EXPECT_EQ(tableRows("Tester"), test::rowsOf(source)) << step;
    }
};

// Every field paired with the column of its own name; for a merge without the names that
// hold parentheses, which the update writes with "_" in their place.
shell::FieldPairing pairingOf(const dao::Recordset& rs, bool forMerge) {
    shell::FieldPairing pairing;
    for (int i = 0; i < rs.fieldCount(); ++i) {
        const QString name = rs.fieldInfo(i).name;
        if (!forMerge || !(name.contains('(') || name.contains(')')))
            pairing.push_back({name, name});
    }
    return pairing;
}

// The per-record actions send each record through a statement the server prepared, or as text.
TEST_P(TransferServerTest, SampleTablesArriveValueForValueByScriptInsertBulkAndMerge) {
    const char* tables[][3] = {
        // file under the sample files, table, unique field to merge by
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Orders", "OrderID"},
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Employees", "EmployeeID"},
        {"mdb/mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "IDCol"},
        {"mdb/jahlborn__jackcess/test2V2000.mdb", "MSP_PROJECTS", "PROJ_ID"},
        {"mdb/jahlborn__jackcess/testV1997.mdb", "Table1", "A"},
        {"mdb/jahlborn__jackcess/testUnicodeCompV2003.mdb", "Table", "ID"},
        {"accdb/jahlborn__jackcess/oldDatesV2007.accdb", "Table1", "ID"},
        {"accdb/jahlborn__jackcess/testEmoticonsV2010.accdb", "data", "key"},
        {"dbf/infused__dbf/calls.dbf", "calls", "CALL_ID"},
        {"dbf/infused__dbf/dbase_8b.dbf", "dbase_8b", "CHARACTER"},
        {"xls/wireservice__csvkit/sheets.xls", "data$", "text"},
        {"csv/datasets__country-codes/country-codes.csv", "country-codes.csv", "ISO3166-1-Alpha-3"},
    };
    QStringList missing;
    for (const auto& [file, table, key] : tables) {
        const QString path = test::fixturePath(file);
        if (test::leaveOutMissing(path, missing)) continue;
        SCOPED_TRACE(path.toStdString() + " " + table);
        const auto source = source::OpenSourceConnection(path, {})->openRecordset(
            QStringLiteral("SELECT * FROM [%1]").arg(table));
        test::RecordingProgress progress;

        const auto script = transfer::CreateTableScript("Tester", *source, progress).script;
        EXPECT_EQ(test::runThroughClient(db_->server, db_->name, script), "0");
        expectTableHolds(*source, "script");

        transfer::TransferResult inserted;
        for (const bool literal : {true, false}) {
            connection_->execute("DELETE FROM Tester");
            transfer::RunChoices choices;
            choices.literalStatements = literal;
            const long long executedBefore = preparedExecutions();
            inserted =
                transfer::MergeToTarget("INSERT", "Tester", {}, *source, pairingOf(*source, false),
                                        *connection_, progress, choices);
            EXPECT_EQ(preparedExecutions() - executedBefore, literal ? 0 : source->recordCount());
            EXPECT_EQ(inserted.message,
                      QStringLiteral("Copied Record :%1").arg(source->recordCount()));
            expectTableHolds(*source, literal ? "insert as text" : "insert");
        }

        run({"DELETE FROM Tester", "ALTER TABLE Tester ENGINE=InnoDB"});  // loaded in bulk
        const transfer::TransferResult bulk = transfer::BulkInsert(
            "Tester", *source, pairingOf(*source, false), *connection_, progress);
        EXPECT_EQ(bulk.message, inserted.message);
        expectTableHolds(*source, "bulk");

        // Every merged field but the key emptied, then merged back by the key.
        const shell::FieldPairing merged = pairingOf(*source, true);
        QStringList emptied;
        for (const shell::FieldPair& pair : merged) {
            if (pair.targetName != key)
                emptied << dao::mysql::QuoteIdentifier(pair.targetName) + "=NULL";
        }
        connection_->execute("UPDATE Tester SET " + emptied.join(','));
        const transfer::TransferResult updated = transfer::MergeToTarget(
            "UPDATE", "Tester", key, *source, merged, *connection_, progress);
        EXPECT_TRUE(updated.completed()) << updated.message.toStdString();
        expectTableHolds(*source, "merge");

        connection_->execute("UPDATE Tester SET " + emptied.join(','));
        const transfer::TransferResult bulkMerged =
            transfer::BulkMerge(false, "Tester", key, *source, merged, *connection_, progress);
        EXPECT_EQ(bulkMerged.recordsUpdated, source->recordCount());
        expectTableHolds(*source, "bulk merge");

        // Into an empty table, every record inserted by its match value.
        for (const char* action : {"UPSERT", "BULK-UPSERT"}) {
            connection_->execute("DELETE FROM Tester");
            const transfer::TransferResult upserted = test::runAction(
                action, "Tester", key, *source, pairingOf(*source, false), *connection_, progress);
            EXPECT_EQ(upserted.recordsInserted, source->recordCount());
            expectTableHolds(*source, action);
        }
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join('\n').toStdString();
}

using test::numbered;
using test::records;

TEST_P(TransferServerTest, FirstFailureOrStopKeepsExactlyTheRecordsBefore) {
    const long batch = transfer::BulkBatchRows;
    const struct {
        const char* rule;
        QString records;
        const char* actions;  // each is run
        long stopAfter;
        QString status;
        int line;   // of an error; 0 when the status is no error
        long kept;  // records 1 to kept are in the table
    } cases[] = {
        {"a duplicate key", "1,a,1 2,b,2 2,c,3 4,d,4", "INSERT BULK", -1,
         "Duplicate entry '2' for key 'PRIMARY'", 160, 2},
        {"a text too long", "1,a,1 2,b,2 3,cccccc,3 4,d,4", "INSERT BULK", -1,
         "Data too long for column 'v' at row 1", 160, 2},
        {"text into a number", "1,a,1 2,b,2 3,c,x 4,d,4", "INSERT BULK", -1,
         "Incorrect integer value: 'x'", 160, 2},
        {"a character latin1 lacks", "1,a,1 2,b,2 3,漢,3 4,d,4", "INSERT BULK", -1,
         "Incorrect string value:", 160, 2},
        {"a stop after two records", "1,a,1 2,b,2 4,d,4", "INSERT", 2, "Stopped at Record :3", 0,
         2},
        {"a match field that is not paired", "1,a,1 2,b,2", "UPDATE", -1,
         "The match field \"id\" is not a paired target field.", 120, 0},
        {"an empty source", "", "INSERT BULK", -1, "Merging", 0, 0},
        {"a refusal after rows of the second batch", numbered(batch + 3) + "1,b,1 0,c,0", "BULK",
         -1, "Duplicate entry '1' for key 'PRIMARY'", 160, batch + 3},
        {"a stop after the first batch", numbered(batch + 1), "BULK", 1,
         QStringLiteral("Stopped at Record :%1").arg(batch + 1), 0, batch},
    };
    for (const auto& c : cases) {
        for (const char* engine : {"InnoDB", "MyISAM"}) {
            for (const QString& action : QString(c.actions).split(' ')) {
                SCOPED_TRACE(
                    QStringLiteral("%1, %2 on %3").arg(c.rule, action, engine).toStdString());
                run({"DROP TABLE IF EXISTS T",
                     "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5) CHARACTER SET latin1, n INT) "
                     "ENGINE=" +
                         QString(engine)});
                const dao::Recordset source = records(c.records);
                test::RecordingProgress progress;
                progress.stopAfterRecords = c.stopAfter;
                const transfer::TransferResult result = test::runAction(
                    action, "T", "id", source, test::kNumberedPairing, *connection_, progress);
                const QString start = c.line ? "ERROR MergeToTarget: " + c.status : c.status;
                const QString end = c.line ? QStringLiteral(" Line: %1").arg(c.line) : QString();
                EXPECT_TRUE(result.message.startsWith(start) && result.message.endsWith(end))
                    << result.message.toStdString();
                EXPECT_EQ(progress.statuses.last(), result.message);
                EXPECT_EQ(result.recordsDone, c.kept);
                EXPECT_EQ(tableRows(), test::rowsOf(source, c.kept));
            }
        }
    }
}

using StatementServerTest = test::MySqlTest;

// A bulk insert's rows of values, each bound in its own form where its column takes it so,
// leave the table as loading their texts does: integers, doubles, dates and dates with times
// in columns of their kinds, in others, and in a column that also holds a text.
TEST_F(StatementServerTest, RowsOfValuesArriveAsTheirLoadedTexts) {
    using V = Value;
    const dao::DateTime noon{2024, 2, 29, 12, 30, 15, 250000};
    const std::vector<std::pair<QString, std::vector<V>>> columns = {
        {"i INT", {V::integer(-2147483648LL), V::integer(7), V::null()}},
        {"b BIGINT UNSIGNED", {V::integer(0), V::integer(9007199254740993LL), V::null()}},
        {"d DOUBLE", {V::floating(0.1), V::floating(1e300), V::floating(-0.0)}},
        {"f FLOAT", {V::floating(3.4e38), V::floating(1.0 / 3), V::integer(12)}},
        {"dc DECIMAL(30,20)", {V::floating(0.371), V::integer(5), V::floating(1e-7)}},
        {"day DATE", {V::date(2024, 2, 29), V::dateTime({2024, 3, 1}), V::null()}},
        {"at DATETIME(6)", {V::dateTime(noon), V::date(1, 1, 1), V::dateTime({9999, 12, 31})}},
        {"ts TIMESTAMP(3) NULL", {V::dateTime(noon), V::null(), V::date(2001, 9, 9)}},
        {"txt VARCHAR(40)", {V::integer(42), V::floating(2.5), V::dateTime(noon)}},
        {"mixed BIGINT", {V::integer(1), V::text("2"), V::integer(-3)}},
    };
    QStringList definitions, names;
    std::vector<dao::FieldInfo> fields;
    for (const auto& [definition, values] : columns) {
        definitions << definition;
        names << definition.section(' ', 0, 0);
        fields.push_back({names.last(), dao::adType::VarWChar, 40});
    }
    dao::Recordset source(fields);
    for (std::size_t row = 0; row < 3; ++row) {
        std::vector<V> record;
        for (const auto& column : columns) record.push_back(column.second[row]);
        source.appendRow(record);
    }
    shell::FieldPairing pairing;
    for (const QString& name : names) pairing.push_back({name, name});
    std::vector<QString> loaded;
    for (const bool rows : {false, true}) {
        SCOPED_TRACE(rows ? "rows" : "lines");
        run({"DROP TABLE IF EXISTS T", "CREATE TABLE T (" + definitions.join(',') + ")"});
        test::Flaky connection(*connection_, *connection_);
        connection.insertsRows = rows;
        test::RecordingProgress progress;
        const transfer::TransferResult result =
            transfer::BulkInsert("T", source, pairing, connection, progress);
        EXPECT_TRUE(result.completed()) << result.message.toStdString();
        const std::vector<QString> table =
            test::rowsOf(*connection_->openRecordset("SELECT * FROM T ORDER BY i"));
        EXPECT_EQ(table.size(), 3u);
        if (!rows) loaded = table;
        EXPECT_EQ(table, loaded);
    }
}

// A table name with a blank and column names with parentheses and a percent sign, matched in
// any letter case, by every action on both kinds of engine.
TEST_F(StatementServerTest, NamesReachTheServerExactly) {
    const shell::FieldPairing pairing{{"k", "K"}, {"v", "v(x%2)"}};
    const auto rows = [&] { return tableRows("`Order Details`"); };
    for (const char* engine : {"InnoDB", "MyISAM"}) {
        SCOPED_TRACE(engine);
        run({"DROP TABLE IF EXISTS `Order Details`",
             QStringLiteral("CREATE TABLE `Order Details` (K INT PRIMARY KEY, `v(x%2)` VARCHAR(5), "
                            "v_x_ VARCHAR(5)) ENGINE=%1")
                 .arg(engine)});
        test::RecordingProgress progress;
        const dao::Recordset source = records("1,a,0 2,b,0");
        const std::vector<QString> inserted{"1 | a | <NULL>", "2 | b | <NULL>"};
        transfer::MergeToTarget("INSERT", "Order Details", {}, source, pairing, *connection_,
                                progress);
        EXPECT_EQ(rows(), inserted);
        run({"DELETE FROM `Order Details`"});
        transfer::BulkInsert("Order Details", source, pairing, *connection_, progress);
        EXPECT_EQ(rows(), inserted);
        const transfer::TransferResult merged =
            transfer::MergeToTarget("UPDATE", "Order Details", "k", records("2,z,0 3,y,0"), pairing,
                                    *connection_, progress);
        EXPECT_EQ(merged.recordsUnmatched, 1) << merged.message.toStdString();
        EXPECT_EQ(rows(), (std::vector<QString>{"1 | a | <NULL>", "2 | z | <NULL>"}));
        const transfer::TransferResult bulkMerged =
            test::runAction("BULK-MERGE", "Order Details", "k", records("1,q,0 3,w,0"), pairing,
                            *connection_, progress);
        EXPECT_EQ(bulkMerged.recordsUnmatched, 1) << bulkMerged.message.toStdString();
        EXPECT_EQ(rows(), (std::vector<QString>{"1 | q | <NULL>", "2 | z | <NULL>"}));
    }
}

// The connection dies before a statement (killed from another one): the run says which
// records are written, which may have been, and that the rest were not sent.
TEST_F(StatementServerTest, ALostConnectionIsReportedAsWhatIsKnown) {
    const long batch = transfer::BulkBatchRows, group = transfer::StatementSender::GroupRecords;
    const dao::Recordset source = records(numbered(2 * batch + 5));
    const struct {
        const char* action;
        const char* killedBefore;  // the nth statement starting so
        int nth;
        long writtenBefore, mayBeLast;
    } cases[] = {{"INSERT", "COMMIT", 2, group, 2 * group},
                 {"BULK", "LOAD DATA", 2, batch, 2 * batch}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB"});
        const auto real = dao::openConnection(scratchConnectionString());
        test::Flaky doomed(*real, *connection_);
        doomed.fault = test::Flaky::Fault::Killed;
        doomed.prefix = c.killedBefore;
        doomed.nth = c.nth;
        test::RecordingProgress progress;
        const transfer::TransferResult result =
            test::runAction(c.action, "T", {}, source, test::kNumberedPairing, doomed, progress);
        EXPECT_TRUE(result.connectionLost) << result.message.toStdString();
        EXPECT_EQ(result.endedAtRecord, c.writtenBefore + 1);
        EXPECT_EQ(result.inFlightLast, c.mayBeLast);
        EXPECT_EQ(tableRows(), test::rowsOf(source, c.writtenBefore));
        const QString told = transfer::lostConnectionText(result);
        EXPECT_TRUE(
            told.contains(QStringLiteral("records 1 to %1 are written, ").arg(c.writtenBefore)))
            << told.toStdString();
    }
}

// A merge's group of long texts goes to the server in parts that each fit one statement's text.
TEST_F(StatementServerTest, AMergeOfLongTextsGoesInPartsOfAGroup) {
    run({"DROP TABLE IF EXISTS T",
         "CREATE TABLE T (k INT PRIMARY KEY, v MEDIUMTEXT, n INT) ENGINE=InnoDB",
         "INSERT INTO T SELECT seq, 'old', -1 FROM seq_1_to_100"});
    QString text;
    for (int k = 1; k <= 100; ++k)
        text += QStringLiteral("%1,%2,%1 ").arg(k).arg(QString(20000, QChar('a' + k % 26)));
    const dao::Recordset source = records(text.trimmed());
    test::RecordingProgress progress;
    const transfer::TransferResult result = transfer::MergeToTarget(
        "UPDATE", "T", "k", source, test::kNumberedPairing, *connection_, progress);
    EXPECT_EQ(result.recordsUpdated, 100) << result.message.toStdString();
    EXPECT_EQ(tableRows(), test::rowsOf(source));
}

// A long bulk insert from a streamed source sends its first records in batches as before, then
// in batches as large as a load holds (here the most records a batch may take); a record
// refused in a large batch ends the run with the records before it written, which the
// source has kept to send one by one.
TEST_F(StatementServerTest, ALongBulkInsertGrowsItsBatchesAndStillStopsAtARefusal) {
    QTemporaryDir folder;
    const long grown = transfer::BulkGrowAfterRows, small = transfer::BulkBatchRows,
               large = transfer::BulkLargeBatchRows;
    const long count = grown + 50000;
    for (const long refused : {0L, grown + 2000}) {
        SCOPED_TRACE(refused ? "a duplicate key in the first large batch" : "every record written");
        QByteArray csv = "k,v,n\n";
        for (long k = 1; k <= count; ++k)
            csv += QByteArray::number(k == refused ? 1 : k) + ",v," + QByteArray::number(k) + '\n';
        const QString path = test::writeFile(folder.filePath("big.csv"), csv);
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5), n INT) ENGINE=InnoDB"});
        const auto source = source::OpenSourceConnection(path, {})->openStreamedRecordset(
            "SELECT * FROM [big.csv]", transfer::StreamedBulkRows);
        test::RecordingProgress progress;
        const transfer::TransferResult result = test::runAction(
            "BULK", "T", "k", *source, test::kNumberedPairing, *connection_, progress);
        QStringList batches;
        for (long end = small; end <= grown; end += small)
            batches << QStringLiteral("Copied Record :%1").arg(end);
        // Doubling up to the largest batch, or to the last record.
        for (long size = 2 * small, end = grown + size; !refused && end - size < count;
             size = std::min(2 * size, large), end += size)
            batches << QStringLiteral("Copied Record :%1").arg(std::min(end, count));
        EXPECT_EQ(progress.statuses.filter("Copied Record :"), batches);
        const long written = refused ? refused - 1 : count;
        EXPECT_EQ(result.recordsDone, written) << result.message.toStdString();
        EXPECT_EQ(
            test::rowsOf(*connection_->openRecordset("SELECT COUNT(*), SUM(n = k), MAX(n) FROM T")),
            std::vector<QString>{QStringLiteral("%1 | %1 | %1").arg(written)});
    }
}

// The server with compiled-in defaults, its packets cut to 1 MB while the test runs.
class SmallPacketTest : public test::ScratchDatabaseTest<::testing::Test> {
  protected:
    test::Server serverForTest() override {
        setPacket("1048576");
        return DefaultsServer::get();
    }
    void TearDown() override {
        ScratchDatabaseTest::TearDown();
        setPacket("DEFAULT");
    }
    static void setPacket(const QString& size) {
        dao::openConnection(DefaultsServer::get().connectionString({}))
            ->execute("SET GLOBAL max_allowed_packet = " + size);
    }
};

// A bulk insert's and a bulk merge's batches of rows are cut to what the server's packets hold,
// and a record larger than a batch may be is loaded: every record arrives, whole.
TEST_F(SmallPacketTest, BulkBatchesFitTheServersPackets) {
    ASSERT_TRUE(connection_->insertsValueRows());
    run({"CREATE TABLE T (k INT PRIMARY KEY, v LONGTEXT, n INT) ENGINE=InnoDB"});
    dao::Recordset source({{"k", dao::adType::Integer},
                           {"v", dao::adType::LongVarWChar},
                           {"n", dao::adType::Integer}});
    const long count = 4000, large = 2000;
    for (long k = 1; k <= count; ++k) {
        const qsizetype length = k == large ? 1100 * 1024 : 400;
        const QChar letter(static_cast<char16_t>(u'a' + k % 26));
        source.appendRow(std::vector<Value>{Value::integer(k), Value::text(QString(length, letter)),
                                            Value::integer(k)});
    }
    for (const char* action : {"BULK", "BULK-MERGE"}) {
        SCOPED_TRACE(action);
        if (QString(action) == "BULK-MERGE") run({"UPDATE T SET v = NULL, n = NULL"});
        test::RecordingProgress progress;
        const transfer::TransferResult result = test::runAction(
            action, "T", "k", source, test::kNumberedPairing, *connection_, progress);
        EXPECT_TRUE(result.completed()) << result.message.toStdString();
        EXPECT_EQ(
            test::rowsOf(*connection_->openRecordset(
                "SELECT COUNT(*), SUM(LENGTH(v)), SUM(TRIM(BOTH CHAR(97 + k % 26) FROM v) = ''), "
                "SUM(n = k) FROM T")),
            std::vector<QString>{QStringLiteral("%1 | %2 | %1 | %1")
                                     .arg(count)
                                     .arg((count - 1) * 400 + 1100 * 1024)});
    }
}

// Emptying the table and loading it in one transaction whose commit loses its answer: the
// records may or may not be written, and the run says no more than that.
TEST_F(StatementServerTest, ALostCommitIsReportedAsUnknown) {
    run({"CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5), n INT) ENGINE=InnoDB",
         "INSERT INTO T VALUES (9, 'old', 9)"});
    test::Flaky connection(*connection_, *connection_);
    connection.prefix = "COMMIT";
    connection.nth = 1;
    test::RecordingProgress progress;
    transfer::RunChoices choices;
    choices.emptyTarget = true;
    const transfer::TransferResult result = transfer::BulkInsert(
        "T", records("1,a,1 2,b,2 3,c,3"), test::kNumberedPairing, connection, progress, choices);
    EXPECT_TRUE(result.connectionLost && result.lostAfterLastRecord)
        << result.message.toStdString();
    EXPECT_EQ(transfer::lostConnectionText(result),
              "the connection to the server was lost (Lost connection to server during query) "
              "after the last record was sent, while the run was being committed: records 1 "
              "to 3 may or may not have been written");
    EXPECT_EQ(tableRows().size(), 3u);
}

// Headers as spreadsheets have them and sheets as wide as they come give scripts the server
// runs; a table wider than MySQL allows gives no script.
TEST_F(StatementServerTest, ScriptsOfAwkwardHeadersAndWideSheetsRun) {
    namespace t = dao::adType;
    const auto table = [](const QStringList& names, long size = 255) {
        std::vector<dao::FieldInfo> fields;
        for (const QString& name : names) fields.push_back({name, t::VarWChar, size});
        dao::Recordset rs(fields);
        rs.appendRow(std::vector<Value>(fields.size(), Value::text("x")));
        return rs;
    };
    const auto many = [](int count) {
        QStringList names;
        for (int i = 1; i <= count; ++i) names << QStringLiteral("c%1").arg(i);
        return names;
    };
    const QString longName = QString(70, 'n');
    const struct {
        const char* rule;
        dao::Recordset source;
        QStringList columns;  // as the server then lists them; empty: none
    } cases[] = {
        {"blank, trailing blanks, too long, repeated in other case",
         table({" ", "Name ", longName, "name", "F1"}),
         {"F1", "Name", longName.left(64), "name_2", "F1_2"}},
        {"a repeat of a long name is shortened to take its number",
         table({longName, longName}),
         {longName.left(64), longName.left(62) + "_2"}},
        {"256 text columns", table(many(256)), many(256)},
        {"a column longer than a row may be", table({"a", "b"}, 20000), {"a", "b"}},
        {"more columns than a table holds", table(many(4097)), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        test::RecordingProgress progress;
        const transfer::ScriptResult script =
            transfer::CreateTableScript("Tester", c.source, progress);
        if (c.columns.isEmpty()) {
            EXPECT_TRUE(script.script.isEmpty());
            EXPECT_TRUE(script.errorDescription.contains("at most 4096 columns"))
                << script.errorDescription.toStdString();
            continue;
        }
        ASSERT_EQ(test::runThroughClient(db_->server, db_->name, script.script), "0");
        const auto columns = connection_->openRecordset(
            "SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
            "AND TABLE_NAME = 'Tester' ORDER BY ORDINAL_POSITION");
        QStringList names;
        for (long r = 0; r < columns->recordCount(); ++r)
            names << columns->valueAt(r, 0).standardText();
        EXPECT_EQ(names, c.columns);
        EXPECT_EQ(tableRows("Tester"), test::rowsOf(c.source));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TransferServerTest,
    ::testing::Values(Setting::TestServer, Setting::CompiledDefaults, Setting::EmptySqlMode),
    ([](const auto& info) -> std::string {
        return std::array{"TestServer", "CompiledDefaults", "EmptySqlMode"}[int(info.param)];
    }));

}  // namespace
