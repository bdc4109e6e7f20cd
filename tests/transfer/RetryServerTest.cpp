// A run whose connection is lost, or whose statement the server undoes, opens it again and
// goes on so that every record is in the table exactly once, whatever the lost statement did.
#include <QElapsedTimer>
#include <QFile>
#include <chrono>
#include <thread>
#include <tuple>

#include "support/TestServer.h"
#include "transfer/MergeToTarget.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;

namespace {

using RetryServerTest = test::MySqlTest;

TEST_F(RetryServerTest, ALostOrUndoneStatementIsRetriedAndEveryRecordArrivesOnce) {
    using F = test::Flaky::Fault;
    const long few = 7, many = 2 * transfer::BulkBatchRows + 5;
    const struct {
        const char* action;  // INSERT, UPDATE, UPSERT, BULK, BULK-MERGE, BULK-UPSERT
        const char* table;   // the target's key and engine
        F fault;
        const char* prefix;
        int nth;
        long records;
        bool emptyTarget;
        const char* found;  // how the records in flight were found out, and where it went on
    } cases[] = {
        {"INSERT", "PRIMARY KEY (k)) ENGINE=InnoDB", F::AnswerLost, "COMMIT", 1, few, false,
         "7 of them were found written by the key (`k`)"},
        {"INSERT", "UNIQUE (v, k)) ENGINE=MyISAM", F::Killed, "insert", 3, few, false,
         "it was found not written by the key (`v`,`k`)"},
        {"INSERT", "KEY (k)) ENGINE=InnoDB", F::AnswerLost, "insert", 3, few, false,
         "records 1 to 3 were being sent; 0 of them were found written by the row count"},
        {"BULK", "PRIMARY KEY (k)) ENGINE=InnoDB", F::AnswerLost, "COMMIT", 2, many, false,
         "5000 of them were found written by the key (`k`)"},
        {"BULK", "KEY (k)) ENGINE=InnoDB", F::AnswerLost, "LOAD DATA", 2, many, false,
         "0 of them were found written by the row count"},
        {"BULK", "KEY (k)) ENGINE=MyISAM", F::AnswerLost, "insert", 2, many, false,
         "5000 of them were found written by the row count"},
        {"BULK", "KEY (k)) ENGINE=InnoDB", F::Deadlock, "LOAD DATA", 3, many, false,
         "records 10001 to 10005 were being sent; the run went on at record 10001"},
        {"BULK", "KEY (k)) ENGINE=InnoDB", F::AnswerLost, "insert", 2, many, false,
         "0 of them were found written by the row count"},
        {"BULK", "KEY (k)) ENGINE=InnoDB", F::Deadlock, "insert", 3, many, false,
         "records 10001 to 10005 were being sent; the run went on at record 10001"},
        {"BULK", "PRIMARY KEY (k)) ENGINE=InnoDB", F::AnswerLost, "COMMIT", 1, many, true,
         "the run started again from its first record"},
        {"UPDATE", "PRIMARY KEY (k)) ENGINE=InnoDB", F::AnswerLost, "update", 3, few, false,
         "records 1 to 3 were being sent; the run went on at record 1"},
        {"UPSERT", "PRIMARY KEY (k)) ENGINE=MyISAM", F::AnswerLost, "insert", 1, few, false,
         "record 4 was being sent; the run went on at record 4"},
        {"BULK-UPSERT", "PRIMARY KEY (k)) ENGINE=InnoDB", F::AnswerLost, "COMMIT", 2, many, false,
         "records 10001 to 10005 were being sent; the run went on at record 10001"},
        {"BULK-MERGE", "PRIMARY KEY (k)) ENGINE=InnoDB", F::Killed, "update", 2, many, false,
         "records 10001 to 10005 were being sent; the run went on at record 10001"},
        {"BULK-UPSERT", "PRIMARY KEY (k)) ENGINE=InnoDB", F::Killed, "update", 1, many, true,
         "the run started again from its first record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " into (" + c.table + " with " + c.prefix + " #" +
                     std::to_string(c.nth));
        const QString action = c.action;
        run({"DROP TABLE IF EXISTS T",
             QStringLiteral("CREATE TABLE T (k INT NOT NULL, v VARCHAR(9), n INT, ") + c.table});
        // A merge finds old rows (the first half, or all for an update); an emptied table
        // holds rows that must go.
        const long old = action.endsWith("UPSERT") ? c.records / 2 : c.records;
        if ((action != "INSERT" && action != "BULK") || c.emptyTarget)
            run({QStringLiteral("INSERT INTO T SELECT seq, 'old', -1 FROM seq_1_to_%1").arg(old)});
        if (c.emptyTarget) run({"INSERT INTO T VALUES (0, 'x', 0)"});
        const auto real = dao::openConnection(scratchConnectionString());
        test::Flaky flaky(*real, *connection_);
        flaky.fault = c.fault;
        flaky.prefix = c.prefix;
        flaky.nth = c.nth;
        // A bulk insert sends its batches as rows of texts, or loads them where the fault is.
        flaky.insertsRows = QString(c.prefix) != "LOAD DATA";
        const dao::Recordset source = test::records(test::numbered(c.records));
        transfer::RunChoices choices;
        choices.retryForSeconds = 20;
        choices.emptyTarget = c.emptyTarget;
        test::RecordingProgress progress;
        const transfer::TransferResult result = test::runAction(
            action, "T", "k", source, test::kNumberedPairing, flaky, progress, choices);
        EXPECT_TRUE(result.completed()) << result.message.toStdString();
        EXPECT_EQ(result.reconnects, 1);
        ASSERT_EQ(result.resumeNotes.size(), 1);
        EXPECT_TRUE(result.resumeNotes[0].contains(c.found)) << result.resumeNotes[0].toStdString();
        EXPECT_EQ(tableRows(), test::rowsOf(source));
        if (action.contains("UPSERT")) {
            EXPECT_EQ(result.recordsUpdated + result.recordsInserted, c.records);
        }
    }
}

// A row that held a record's key before the run is not taken for the record: the record in
// flight is sent again and refused, and the records before it stay, none lost.
TEST_F(RetryServerTest, ARowThatHeldARecordsKeyBeforeTheRunIsNotTakenForIt) {
    for (const auto& [action, prefix, nth] :
         {std::tuple{"INSERT", "insert", 3}, std::tuple{"BULK", "LOAD DATA", 1},
          std::tuple{"BULK", "insert", 1}}) {
        SCOPED_TRACE(std::string(action) + " " + prefix);
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB",
             "INSERT INTO T VALUES (3, 'old', -1)"});
        const auto real = dao::openConnection(scratchConnectionString());
        test::Flaky flaky(*real, *connection_);
        flaky.fault = test::Flaky::Fault::Killed;
        flaky.prefix = prefix;
        flaky.nth = nth;
        flaky.insertsRows = QString(prefix) != "LOAD DATA";
        transfer::RunChoices choices;
        choices.retryForSeconds = 20;
        test::RecordingProgress progress;
        const transfer::TransferResult result =
            test::runAction(action, "T", "k", test::records(test::numbered(7)),
                            test::kNumberedPairing, flaky, progress, choices);
        EXPECT_EQ(result.endedAtRecord, 3);
        EXPECT_TRUE(result.errorDescription.contains("Duplicate entry '3'"))
            << result.errorDescription.toStdString();
        EXPECT_EQ(tableRows(), test::rowsOf(test::records("1,v1,7 2,v2,14 3,old,-1")));
    }
}

// Another session holds the rows a merge updates. Each try waits for the lock no longer than
// the time left, and the tries share one time from the first error: the run ends in time,
// having opened its session again without a false note of a lost connection, and its prepared
// statements are prepared again on the new session, so a lock released in time lets the run
// go on.
TEST_F(RetryServerTest, ARecordThatKeepsMeetingALockIsRetriedWithinOneTime) {
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "released after 2 s" : "held");
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB",
             "INSERT INTO T SELECT seq, 'old', -1 FROM seq_1_to_3"});
        const auto holder = dao::openConnection(scratchConnectionString());
        holder->execute("START TRANSACTION");
        holder->openRecordset("SELECT * FROM T WHERE k = 2 FOR UPDATE");
        std::thread release([&] {
            if (!released) return;
            std::this_thread::sleep_for(std::chrono::seconds(2));
            holder->execute("ROLLBACK");
        });
        const auto writer = dao::openConnection(scratchConnectionString());
        writer->execute("SET SESSION innodb_lock_wait_timeout = 1");
        transfer::RunChoices choices;
        choices.retryForSeconds = 4;
        test::RecordingProgress progress;
        QElapsedTimer clock;
        clock.start();
        const dao::Recordset source = test::records(test::numbered(3));
        const transfer::TransferResult result = transfer::MergeToTarget(
            "UPDATE", "T", "k", source, test::kNumberedPairing, *writer, progress, choices);
        release.join();
        if (released) {
            EXPECT_TRUE(result.completed()) << result.message.toStdString();
            EXPECT_EQ(tableRows(), test::rowsOf(source));
        } else {
            EXPECT_EQ(result.endedAtRecord, 2);
            EXPECT_TRUE(result.errorDescription.contains("Lock wait timeout"));
            EXPECT_LT(clock.elapsed(), 20000) << "the retrying did not end in its time";
        }
        EXPECT_EQ(result.resumeNotes.filter("Lost connection").size(), 0)
            << result.resumeNotes.join('\n').toStdString();
        holder->execute("ROLLBACK");
    }
}

// A batch kept begins the next one's transaction as it commits. A batch sent otherwise (a
// record with bytes makes it a statement) must not run in that transaction, where a session
// lost later would undo it after it was counted; and a run, stopped or not, leaves none open.
TEST_F(RetryServerTest, ChainedBatchesLeaveNoTransactionOpenAndNoOtherBatchInOne) {
    const long many = 2 * transfer::BulkBatchRows + 5;
    dao::Recordset source(
        {{"k", dao::adType::Integer}, {"v", dao::adType::VarWChar}, {"n", dao::adType::Integer}});
    for (long k = 1; k <= many; ++k) {
        const dao::Value row[] = {dao::Value::integer(k),
                                  k == transfer::BulkBatchRows + 1
                                      ? dao::Value::bytes("ab")
                                      : dao::Value::text(QStringLiteral("v%1").arg(k)),
                                  dao::Value::integer(k)};
        source.appendRow(row);
    }
    // The first and third batches go as rows or as loads; the lost one is the third.
    const struct {
        bool rows;
        const char* prefix;
        int nth;  // 0: none lost, the run stopped after its first batch instead
    } cases[] = {{true, "insert", 3}, {false, "LOAD DATA", 2}, {true, "", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rows ? "rows" : "loads") + (c.nth ? ", lost" : ", stopped"));
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB"});
        const auto real = dao::openConnection(scratchConnectionString());
        test::Flaky flaky(*real, *connection_);
        flaky.insertsRows = c.rows;
        flaky.prefix = c.prefix;
        flaky.nth = c.nth;
        transfer::RunChoices choices;
        choices.retryForSeconds = 20;
        test::RecordingProgress progress;
        progress.stopAfterRecords = c.nth ? -1 : 1;
        const transfer::TransferResult result = test::runAction(
            "BULK", "T", "k", source, test::kNumberedPairing, flaky, progress, choices);
        EXPECT_EQ(result.outcome, c.nth ? transfer::TransferResult::Outcome::Completed
                                        : transfer::TransferResult::Outcome::Stopped);
        EXPECT_FALSE(real->inTransaction());
        EXPECT_EQ(tableRows().size(),
                  static_cast<std::size_t>(c.nth ? many : transfer::BulkBatchRows));
    }
}

// A stop during a bulk run that empties the table first undoes the whole run: the table gets
// its old rows back.
TEST_F(RetryServerTest, AStopDuringARunThatEmptiesTheTableUndoesIt) {
    run({"CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB",
         "INSERT INTO T SELECT seq, 'old', -1 FROM seq_1_to_3"});
    const auto before = tableRows();
    for (const char* action : {"BULK", "BULK-UPSERT"}) {
        SCOPED_TRACE(action);
        transfer::RunChoices choices;
        choices.emptyTarget = true;
        test::RecordingProgress progress;
        progress.stopAfterRecords = 1;
        const transfer::TransferResult result = test::runAction(
            action, "T", "k", test::records(test::numbered(2 * transfer::BulkBatchRows)),
            test::kNumberedPairing, *connection_, progress, choices);
        EXPECT_EQ(result.outcome, transfer::TransferResult::Outcome::Stopped);
        EXPECT_TRUE(result.undone);
        EXPECT_EQ(tableRows(), before);
    }
}

// A table that cannot undo, left damaged by its server's stop, tells nothing sure of the
// records in flight: the run ends saying so instead of going on from a wrong answer.
TEST_F(RetryServerTest, ATableThatCannotUndoLeftDamagedEndsTheRunSayingSo) {
    run({"CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=MyISAM"});
    const auto real = dao::openConnection(scratchConnectionString());
    test::Flaky flaky(*real, *connection_);
    flaky.prefix = "insert";
    flaky.nth = 2;
    flaky.afterLoss = [&] {  // the data file shorter than the table's state says
        run({"FLUSH TABLES T"});
        QFile data(connection_->openRecordset("SELECT CONCAT(@@datadir, DATABASE(), '/T.MYD')")
                       ->valueAt(0, 0)
                       .standardText());
        ASSERT_TRUE(data.resize(data.size() - 7));
    };
    transfer::RunChoices choices;
    choices.retryForSeconds = 20;
    test::RecordingProgress progress;
    const transfer::TransferResult result = test::runAction(
        "BULK", "T", "k", test::records(test::numbered(2 * transfer::BulkBatchRows)),
        test::kNumberedPairing, flaky, progress, choices);
    EXPECT_FALSE(result.completed());
    EXPECT_TRUE(result.errorDescription.contains(
        QStringLiteral("was left damaged when the server stopped (CHECK TABLE: ")))
        << result.errorDescription.toStdString();
    EXPECT_TRUE(result.errorDescription.contains(
        QStringLiteral("whether records %1 to %2 were written cannot be found out")
            .arg(transfer::BulkBatchRows + 1)
            .arg(2 * transfer::BulkBatchRows)))
        << result.errorDescription.toStdString();
}

// The second session, which puts the next batch into its batch table while the target takes
// this one, is lost in that insert or in its own batch's update: the run goes on through its first
// session, and every record is written once.
TEST_F(RetryServerTest, ABulkMergeGoesOnWhenItsSecondSessionIsLost) {
    // The first second session opened is lost at its first statement starting with `prefix`.
    struct LosesAlongside : test::ForwardingConnection {
        struct Owning : test::Flaky {
            Owning(std::unique_ptr<dao::Connection> own, dao::Connection& killer)
                : Flaky(*own, killer), own(std::move(own)) {}
            std::unique_ptr<dao::Connection> own;
        };
        LosesAlongside(dao::Connection& real, dao::Connection& killer, const char* prefix)
            : ForwardingConnection(real), killer(killer), prefix(prefix) {}
        std::unique_ptr<dao::Connection> openAlongside() override {
            if (opened++ > 0) return real.openAlongside();
            auto alongside = std::make_unique<Owning>(real.openAlongside(), killer);
            alongside->fault = test::Flaky::Fault::Killed;
            alongside->prefix = prefix;
            alongside->nth = 1;
            return alongside;
        }
        dao::Connection& killer;
        const char* prefix;
        int opened = 0;
    };
    const long records = 3 * transfer::BulkBatchRows;
    for (const auto& [prefix, reconnects] : {std::pair{"INSERT", 0}, {"UPDATE", 1}}) {
        SCOPED_TRACE(prefix);
        run({"DROP TABLE IF EXISTS T",
             "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB",
             QStringLiteral("INSERT INTO T SELECT seq, 'old', -1 FROM seq_1_to_%1").arg(records)});
        const auto real = dao::openConnection(scratchConnectionString());
        LosesAlongside connection(*real, *connection_, prefix);
        const dao::Recordset source = test::records(test::numbered(records));
        transfer::RunChoices choices;
        choices.retryForSeconds = 20;
        test::RecordingProgress progress;
        const transfer::TransferResult result = test::runAction(
            "BULK-MERGE", "T", "k", source, test::kNumberedPairing, connection, progress, choices);
        EXPECT_TRUE(result.completed()) << result.message.toStdString();
        EXPECT_EQ(connection.opened, 1 + reconnects);
        EXPECT_EQ(result.reconnects, reconnects);
        EXPECT_EQ(result.recordsUpdated, records);
        EXPECT_EQ(tableRows(), test::rowsOf(source));
    }
}

}  // namespace
