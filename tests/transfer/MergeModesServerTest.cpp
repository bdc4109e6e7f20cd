// Update or insert, the bulk merges, skipping refused records into a rejects file and
// emptying the target first, on the test server's InnoDB and MyISAM tables: what the table
// holds afterwards, the counts and the rejects file, exactly.
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "support/Damage.h"
#include "support/TestServer.h"
#include "transfer/MergeToTarget.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;
using dao::Value;

namespace {

struct Row {
    QString v;
    Value n;
};
using Table = std::map<long, Row>;  // by k

// The records, their keys as integers or, with `textKeys`, as texts.
dao::Recordset recordsetOf(const std::vector<std::pair<long, Row>>& rows, bool textKeys = false) {
    namespace t = dao::adType;
    dao::Recordset rs(
        {{"k", textKeys ? t::VarWChar : t::Integer}, {"v", t::VarWChar}, {"n", t::Integer}});
    for (const auto& [k, row] : rows) {
        const Value key = textKeys ? Value::text(QString::number(k)) : Value::integer(k);
        rs.appendRow(std::vector<Value>{key, Value::text(row.v), row.n});
    }
    return rs;
}

transfer::TransferResult runAction(const QString& action, dao::Connection& connection,
                                   const dao::Recordset& source,
                                   const transfer::RunChoices& choices) {
    test::RecordingProgress progress;
    return test::runAction(action, "T", "K", source, test::kNumberedPairing, connection, progress,
                           choices);
}

class MergeModesTest : public test::MySqlTest {
  protected:
    void createTable(const char* engine, const Table& rows) {
        run({"DROP TABLE IF EXISTS T",
             QStringLiteral("CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5) CHARACTER SET latin1, "
                            "n INT, UNIQUE KEY n (n)) ENGINE=%1")
                 .arg(engine)});
        for (const auto& [k, row] : rows) {
            connection_->execute(QStringLiteral("INSERT INTO T VALUES (%1,%2,%3)")
                                     .arg(k)
                                     .arg(Value::text(row.v).sqlLiteral(), row.n.sqlLiteral()));
        }
    }
};

std::vector<QString> rowsOf(const Table& table) {
    return test::rowsOf(recordsetOf({table.begin(), table.end()}));
}

// What the per-record action makes of `table` with `source`'s records, but for `skipped`.
transfer::TransferResult applied(const QString& action, Table& table,
                                 const std::vector<std::pair<long, Row>>& source, long end,
                                 long skipped) {
    transfer::TransferResult counts;
    for (long i = 0; i < end; ++i) {
        if (i == skipped) continue;
        const auto& [k, row] = source[i];
        const bool found = table.count(k) > 0;
        if (found && !action.endsWith("INSERT") && action != "BULK") {
            table[k] = row;
            ++counts.recordsUpdated;
        } else if (!found &&
                   (action.endsWith("UPSERT") || action.endsWith("INSERT") || action == "BULK")) {
            table[k] = row;
            ++counts.recordsInserted;
        } else {
            ++counts.recordsUnmatched;
        }
    }
    return counts;
}

// Each action with a refused record in the first and in a later batch, stopping there or
// skipping it into the rejects file.
TEST_F(MergeModesTest, ARefusedRecordStopsTheRunOrIsListedAndSkipped) {
    const long batch = transfer::BulkBatchRows;
    const struct {
        const char* rule;
        Row bad;
        const char* words;
    } faults[] = {
        {"another unique key", {"b", Value::integer(1)}, "Duplicate entry '1' for key 'n'"},
        {"a text too long", {"cccccc", Value::integer(7)}, "Data too long for column 'v' at row 1"},
        {"text into a number", {"c", Value::text("x")}, "Incorrect integer value: 'x' for column"},
    };
    QTemporaryDir dir;
    for (const QString action :
         {"INSERT", "UPSERT", "UPDATE", "BULK", "BULK-MERGE", "BULK-UPSERT"}) {
        const bool bulk = action.startsWith("BULK");
        for (const long at : bulk ? std::vector<long>{2, batch + 2} : std::vector<long>{2}) {
            // Records k = 1.. with n = k; the target holds the odd ones with n = -k (none for
            // an insert). The refused record's k is odd: it would update a row.
            std::vector<std::pair<long, Row>> source;
            for (long k = 1; k <= at + 4; ++k) source.push_back({k, {"a", Value::integer(k)}});
            Table before;
            if (!action.endsWith("INSERT") && action != "BULK") {
                for (long k = 1; k <= at + 4; k += 2) before[k] = {"o", Value::integer(-k)};
            }
            for (const auto& fault : faults) {
                source[at].second = fault.bad;
                for (const char* engine : {"InnoDB", "MyISAM"}) {
                    for (const bool skip : {false, true}) {
                        SCOPED_TRACE(QStringLiteral("%1 at %2, %3 on %4%5")
                                         .arg(action)
                                         .arg(at + 1)
                                         .arg(fault.rule, engine, skip ? ", skipped" : "")
                                         .toStdString());
                        createTable(engine, before);
                        transfer::RejectsFile rejects(dir.filePath("rejects.csv"));
                        transfer::RunChoices choices;
                        if (skip) choices.rejects = &rejects;
                        const transfer::TransferResult result =
                            runAction(action, *connection_, recordsetOf(source), choices);
                        Table expected = before;
                        const transfer::TransferResult counts =
                            applied(action, expected, source, skip ? long(source.size()) : at, at);
                        EXPECT_EQ(tableRows(), rowsOf(expected));
                        EXPECT_EQ(result.recordsUpdated, counts.recordsUpdated);
                        EXPECT_EQ(result.recordsInserted, counts.recordsInserted);
                        EXPECT_EQ(result.recordsUnmatched, counts.recordsUnmatched);
                        if (!skip) {
                            EXPECT_EQ(result.endedAtRecord, at + 1);
                            EXPECT_EQ(result.recordsDone, at);
                            EXPECT_TRUE(result.message.startsWith("ERROR MergeToTarget: " +
                                                                  QString(fault.words)))
                                << result.message.toStdString();
                            continue;
                        }
                        EXPECT_TRUE(result.completed()) << result.message.toStdString();
                        EXPECT_EQ(result.recordsDone, long(source.size()));
                        EXPECT_EQ(result.recordsRefused, 1);
                        const QString text = QString::fromUtf8(test::readAll(rejects.path()));
                        const QString listed =
                            QStringLiteral("%1,\"%2[^\r\n]*\",\"%1\",\"%3\",\"%4\"")
                                .arg(at + 1)
                                .arg(QRegularExpression::escape(fault.words), fault.bad.v,
                                     fault.bad.n.standardText());
                        EXPECT_TRUE(text.contains(QRegularExpression(
                            "^\"Record\",\"Error\",\"k\",\"v\",\"n\"\r\n" + listed + "\r\n$")))
                            << text.toStdString();
                    }
                }
            }
        }
    }
}

// Skipping, each bulk action finds the refused records scattered through one batch and writes
// the others: the table, the counts and the rejects file are those of its record-by-record
// action, whatever refused them (a key repeated within the batch or of a row before, another
// unique key, a text too long, a text for a number, a repeated key with a text too long).
TEST_F(MergeModesTest, SkippingBulkActionsRefuseTheRecordsTheirRecordByRecordActionsRefuse) {
    std::vector<std::pair<long, Row>> source;
    for (long k = 1; k <= 300; ++k) source.push_back({k, {"a", Value::integer(k)}});
    source[10].first = 3;
    source[20].first = 1001;
    source[30].second.n = Value::integer(1002);
    source[40].second.v = "toolong";
    source[50].second.n = Value::text("x");
    source[60] = {5, {"toolong", Value::integer(61)}};
    for (long i = 100; i < 300; i += 7) source[i].first = source[i - 50].first;
    Table before{{1001, {"o", Value::integer(-1001)}}, {1003, {"p", Value::integer(1002)}}};
    for (long k = 1; k < 300; k += 2) before[k] = {"o", Value::integer(-k)};
    QTemporaryDir dir;
    for (const auto& [oneByOne, bulk] : std::vector<std::pair<QString, QString>>{
             {"INSERT", "BULK"}, {"UPSERT", "BULK-UPSERT"}, {"UPDATE", "BULK-MERGE"}}) {
        for (const char* engine : {"InnoDB", "MyISAM"}) {
            std::map<QString, std::pair<transfer::TransferResult, std::vector<QString>>> outcome;
            std::map<QString, QByteArray> listed;
            for (const QString& action : {oneByOne, bulk}) {
                createTable(engine, before);
                transfer::RejectsFile rejects(dir.filePath(action + ".csv"));
                transfer::RunChoices choices;
                choices.rejects = &rejects;
                outcome[action] = {runAction(action, *connection_, recordsetOf(source), choices),
                                   tableRows()};
                listed[action] = test::readAll(rejects.path());
            }
            SCOPED_TRACE((bulk + " on " + engine).toStdString());
            const auto& [expected, expectedRows] = outcome[oneByOne];
            const auto& [result, rows] = outcome[bulk];
            EXPECT_TRUE(result.completed()) << result.message.toStdString();
            EXPECT_EQ(rows, expectedRows);
            EXPECT_EQ(result.recordsRefused, expected.recordsRefused);
            EXPECT_GE(expected.recordsRefused, 3);
            EXPECT_EQ(result.recordsInserted, expected.recordsInserted);
            EXPECT_EQ(result.recordsUpdated, expected.recordsUpdated);
            EXPECT_EQ(listed[bulk], listed[oneByOne]);
        }
    }
    // Every record of the batch refused, more than the warnings a load has told line by line:
    // the same again.
    Table everyKey;
    for (const auto& record : source) everyKey[record.first] = {"o", Value::integer(-record.first)};
    std::map<QString, QByteArray> listed;
    for (const QString action : {"INSERT", "BULK"}) {
        createTable("InnoDB", everyKey);
        transfer::RejectsFile rejects(dir.filePath(action + "-all.csv"));
        transfer::RunChoices choices;
        choices.rejects = &rejects;
        const auto result = runAction(action, *connection_, recordsetOf(source), choices);
        EXPECT_EQ(result.recordsRefused, 300) << action.toStdString();
        EXPECT_EQ(tableRows(), rowsOf(everyKey));
        listed[action] = test::readAll(rejects.path());
    }
    EXPECT_EQ(listed["BULK"], listed["INSERT"]);
}

// Where rows share a match value, a bulk merge counts the records that matched, not the rows.
TEST_F(MergeModesTest, ABulkMergeCountsRecordsWhereRowsShareAMatchValue) {
    run({"DROP TABLE IF EXISTS T", "CREATE TABLE T (k INT, v VARCHAR(5), n INT) ENGINE=InnoDB",
         "INSERT INTO T VALUES (1,'a',1),(1,'b',2),(2,'c',3)"});
    const auto result =
        runAction("BULK-MERGE", *connection_,
                  recordsetOf({{1, {"z", Value::integer(9)}}, {3, {"y", Value::integer(8)}}}), {});
    EXPECT_EQ(result.recordsUpdated, 1);
    EXPECT_EQ(result.recordsUnmatched, 1);
    EXPECT_EQ(tableRows(), (std::vector<QString>{"1 | z | 9", "1 | z | 9", "2 | c | 3"}));
}

// A bulk merge by an integer key reads the target over its batch's key range where the keys
// lie close together, else joins the batch to it: either way the rows between the records'
// keys stay as they were, whether the records hold the keys as numbers or as texts.
TEST_F(MergeModesTest, ABulkMergeLeavesRowsBetweenItsRecordsKeysAlone) {
    const std::vector<long> close{2, 4, 6, 8, 10, 12, 13}, apart{1, 500, 1000000};
    for (const QString action : {"BULK-MERGE", "BULK-UPSERT"}) {
        for (const auto& [keys, textKeys] : {std::pair{close, false}, std::pair{apart, false},
                                             std::pair{close, true}, std::pair{apart, true}}) {
            SCOPED_TRACE(
                (action +
                 QStringLiteral(" of %1 keys%2").arg(keys.size()).arg(textKeys ? " as texts" : ""))
                    .toStdString());
            Table expected;
            for (long k = 1; k <= 12; ++k) expected[k] = {"o", Value::integer(-k)};
            expected[500] = {"o", Value::integer(-500)};
            createTable("InnoDB", expected);
            std::vector<std::pair<long, Row>> source;
            for (const long k : keys) source.push_back({k, {"new", Value::integer(k)}});
            const auto result = runAction(action, *connection_, recordsetOf(source, textKeys), {});
            const auto counts = applied(action, expected, source, long(source.size()), -1);
            EXPECT_EQ(tableRows(), rowsOf(expected));
            EXPECT_EQ(result.recordsUpdated, counts.recordsUpdated);
            EXPECT_EQ(result.recordsInserted, counts.recordsInserted);
            EXPECT_EQ(result.recordsUnmatched, counts.recordsUnmatched);
        }
    }
}

// A bulk merge by an integer key joins its batch to the target even where the batch table
// cannot be kept in memory (a TEXT column; rows too wide for the memory a session allows), and
// leaves the session's memory limit as it found it.
TEST_F(MergeModesTest, ABulkMergeJoinsBatchesOfTextsAndOfWideRows) {
    const auto rows = [&](const QString& sql) {
        return test::rowsOf(*connection_->openRecordset(sql));
    };
    for (const QString column : {"TEXT", "VARCHAR(16000)"}) {
        for (const QString action : {"BULK-MERGE", "BULK-UPSERT"}) {
            SCOPED_TRACE((action + " into a " + column).toStdString());
            run({"DROP TABLE IF EXISTS T",
                 "CREATE TABLE T (k INT PRIMARY KEY, v " + column +
                     " CHARACTER SET utf8mb4, n INT) ENGINE=InnoDB",
                 "INSERT INTO T WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM s "
                 "WHERE k < 750) SELECT k, 'old', NULL FROM s UNION ALL SELECT k + 750, 'old', "
                 "NULL FROM s"});
            std::vector<std::pair<long, Row>> source;
            for (long k = 1; k <= 2000; ++k)
                source.push_back({k, {"new " + QString::number(k), Value::integer(k)}});
            const auto joins = [&] {
                return rows("SHOW SESSION STATUS LIKE 'Com_update_multi'")[0].section('|', 1);
            };
            const QString joinsBefore = joins();
            const auto result = runAction(action, *connection_, recordsetOf(source), {});
            EXPECT_EQ(joins().toLong(), joinsBefore.toLong() + 1);
            EXPECT_EQ(result.recordsUpdated, 1500);
            EXPECT_EQ(action == "BULK-UPSERT" ? result.recordsInserted : result.recordsUnmatched,
                      500);
            EXPECT_EQ(rows("SELECT COUNT(*) FROM T WHERE v = CONCAT('new ', k) AND n = k"),
                      std::vector<QString>{action == "BULK-UPSERT" ? "2000" : "1500"});
            EXPECT_EQ(rows("SELECT @@SESSION.max_heap_table_size = @@GLOBAL.max_heap_table_size"),
                      std::vector<QString>{"1"});
        }
    }
}

// A record whose match value finds no row is inserted, even where its other unique key's
// value is a row's: the run refuses it instead of updating that row.
TEST_F(MergeModesTest, UpdateOrInsertFindsRowsByTheMatchFieldOnly) {
    for (const QString action : {"UPSERT", "BULK-UPSERT"}) {
        for (const char* engine : {"InnoDB", "MyISAM"}) {
            SCOPED_TRACE((action + " on " + engine).toStdString());
            const Table before{{1, {"one", Value::integer(10)}}, {2, {"two", Value::integer(20)}}};
            createTable(engine, before);
            const auto result = runAction(
                action, *connection_,
                recordsetOf({{2, {"TWO", Value::integer(22)}}, {3, {"new", Value::integer(10)}}}),
                {});
            EXPECT_EQ(result.recordsUpdated, 1);
            EXPECT_EQ(result.endedAtRecord, 2);
            EXPECT_TRUE(result.message.contains("Duplicate entry '10' for key 'n'"));
            EXPECT_EQ(tableRows(),
                      rowsOf({{1, {"one", Value::integer(10)}}, {2, {"TWO", Value::integer(22)}}}));
        }
    }
}

// A server or proxy that will not prepare statements: each record goes as text, and the run
// says so once, when the first text statement has gone through.
TEST_F(MergeModesTest, WithoutPreparedStatementsRecordsGoAsTextToldOnce) {
    struct NoPrepare : test::ForwardingConnection {
        using ForwardingConnection::ForwardingConnection;
        std::unique_ptr<dao::PreparedStatement> prepare(const QString&) override {
            throw dao::DaoError(dao::DaoError::BadQuery, "Prepared statements are not served",
                                1295);
        }
    } connection(*connection_);
    QTemporaryDir dir;
    for (const QString action : {"INSERT", "UPDATE", "UPSERT"}) {
        for (const bool firstRefused : {false, true}) {
            SCOPED_TRACE(
                (action + (firstRefused ? ", the first record refused" : "")).toStdString());
            Table before;
            if (action != "INSERT") before[2] = {"old", Value::integer(-2)};
            createTable("MyISAM", before);
            const std::vector<std::pair<long, Row>> source{
                {2, {firstRefused ? "toolong" : "b", Value::integer(2)}},
                {1, {"a", Value::integer(1)}},
                {3, {"c", Value::integer(3)}}};
            transfer::RejectsFile rejects(dir.filePath("rejects.csv"));
            transfer::RunChoices choices;
            choices.rejects = &rejects;
            test::RecordingProgress progress;
            const transfer::TransferResult result =
                transfer::MergeToTarget(action, "T", "K", recordsetOf(source),
                                        test::kNumberedPairing, connection, progress, choices);
            Table expected = before;
            applied(action, expected, source, 3, firstRefused ? 0 : -1);
            EXPECT_EQ(tableRows(), rowsOf(expected));
            EXPECT_EQ(result.message, "Copied Record :3");
            const QStringList told = progress.statuses.filter("did not prepare");
            EXPECT_EQ(told, QStringList{"The server did not prepare the record statements "
                                        "(Prepared statements are not served); each record is "
                                        "sent as text."});
            EXPECT_EQ(progress.statuses.indexOf(told.value(0)), firstRefused ? 2 : 1);
        }
    }
}

// Emptying the target first: a bulk load that fails on InnoDB leaves the old rows; one that
// succeeds, or a table that cannot undo, holds only the records.
TEST_F(MergeModesTest, EmptyingTheTargetFirstIsUndoneWithAFailedBulkLoad) {
    const Table before{{7, {"old", Value::integer(70)}}};
    const std::vector<std::pair<long, Row>> good{{1, {"a", Value::integer(1)}},
                                                 {2, {"b", Value::integer(2)}}};
    auto bad = good;
    bad.push_back({3, {"toolong", Value::integer(3)}});
    transfer::RunChoices choices;
    choices.emptyTarget = true;
    for (const QString action : {"BULK", "BULK-UPSERT", "INSERT"}) {
        for (const char* engine : {"InnoDB", "MyISAM"}) {
            SCOPED_TRACE((action + " on " + engine).toStdString());
            createTable(engine, before);
            const auto failed = runAction(action, *connection_, recordsetOf(bad), choices);
            EXPECT_EQ(failed.endedAtRecord, 3);
            const bool undone = action.startsWith("BULK") && QString(engine) == "InnoDB";
            EXPECT_EQ(failed.undone, undone);
            EXPECT_EQ(failed.recordsDone, undone ? 0 : 2);
            EXPECT_EQ(tableRows(), rowsOf(undone ? before : Table(good.begin(), good.end())));

            const auto done = runAction(action, *connection_, recordsetOf(good), choices);
            EXPECT_TRUE(done.completed());
            EXPECT_EQ(tableRows(), rowsOf(Table(good.begin(), good.end())));
        }
    }
}

}  // namespace
