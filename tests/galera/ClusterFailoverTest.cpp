// A run into a three-node Galera cluster whose node in use is killed: the run goes on at
// another node and every node's table ends equal to the source.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <chrono>
#include <thread>

#include "platform/dao/Connection.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/TestServer.h"
#include "transfer/LandedRecords.h"
#include "transfer/PairedFields.h"
#include "transfer/TableFacts.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;

namespace {

// The cluster CTest starts (or the one KELDARA_GALERA_STATE names): its script's answers.
test::ProcessResult cluster(const QStringList& arguments) {
    const QString state = qEnvironmentVariable("KELDARA_GALERA_STATE", KELDARA_GALERA_STATE);
    return test::runProcess("env",
                            QStringList{"KELDARA_GALERA_STATE=" + state, "bash",
                                        test::sourceDir() + "/scripts/galera-cluster.sh"} +
                                arguments,
                            300000);
}

// Kills the node the run writes to once `after` records or batches are done.
struct KillingNodeInUse : test::RecordingProgress {
    const dao::Connection* target = nullptr;
    QStringList servers;
    QString killed;
    bool stopRequested() override {
        if (RecordingProgress::stopRequested()) {
            killed = target->serverName();
            cluster({"kill", QString::number(servers.indexOf(killed) + 1)});
        }
        return false;
    }
};

// The cluster's nodes ("host:port") and a connection to those named, on a database.
struct Cluster {
    Cluster() {
        details = cluster({"env"}).out;
        list = QRegularExpression("KELDARA_GALERA_SERVERS=(.*)")
                   .match(QString::fromUtf8(details))
                   .captured(1);
        servers = list.split(',', Qt::SkipEmptyParts);
    }
    std::unique_ptr<dao::Connection> on(const QString& hosts, const QString& database) const {
        test::Server server = test::serverOf(details);
        server.host = hosts;
        server.port.clear();
        return dao::openConnection(server.connectionString(database));
    }
    QByteArray details;
    QString list;
    QStringList servers;
};

TEST(ClusterFailoverTest, TheNodeInUseKilledTheRunEndsOnAnotherWithEveryNodeEqualToTheSource) {
    const Cluster nodes;
    if (nodes.list.isEmpty()) GTEST_SKIP() << "no Galera cluster: ctest starts one";
    const QString list = nodes.list;
    const QStringList servers = nodes.servers;
    const QString database = test::uniqueName("galera");
    nodes.on(list, {})->execute("CREATE DATABASE " + database);
    const struct {
        const char* action;
        long records, killAfter;  // records, or batches of the bulk
    } cases[] = {{"BULK", 4 * transfer::BulkBatchRows + 5, 1}, {"INSERT", 400, 150}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        const auto target = nodes.on(list, database);
        target->execute("DROP TABLE IF EXISTS T");
        target->execute("CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB");
        const dao::Recordset source = test::records(test::numbered(c.records));
        KillingNodeInUse progress;
        progress.target = target.get();
        progress.servers = servers;
        progress.stopAfterRecords = c.killAfter;
        transfer::RunChoices choices;
        choices.retryForSeconds = 60;
        const transfer::TransferResult result = test::runAction(
            c.action, "T", {}, source, test::kNumberedPairing, *target, progress, choices);
        EXPECT_TRUE(result.completed()) << result.message.toStdString();
        ASSERT_FALSE(progress.killed.isEmpty());
        EXPECT_NE(target->serverName(), progress.killed);
        EXPECT_GE(result.reconnects, 1);
        for (const QString& node : servers) {
            if (node == progress.killed) continue;
            SCOPED_TRACE(node.toStdString());
            const auto reader = nodes.on(node, database);
            reader->execute("SET SESSION wsrep_sync_wait = 1");
            EXPECT_EQ(test::rowsOf(*reader->openRecordset("SELECT * FROM T")),
                      test::rowsOf(source));
        }
        EXPECT_EQ(
            cluster({"restart", QString::number(servers.indexOf(progress.killed) + 1)}).exitCode,
            0);
    }
    nodes.on(list, {})->execute("DROP DATABASE " + database);
}

// After a node was lost, the records in flight are looked up on another node, which may not
// yet have applied what the lost node committed just before it went (here: node 2 holds off
// applying under a global read lock). The look waits for it rather than miss the rows and
// have them sent twice.
TEST(ClusterFailoverTest, ALookAtRecordsInFlightSeesWhatAnotherNodeCommitted) {
    const Cluster nodes;
    if (nodes.list.isEmpty()) GTEST_SKIP() << "no Galera cluster: ctest starts one";
    const QString database = test::uniqueName("causal");
    const auto holder = nodes.on(nodes.servers[1], {});
    holder->execute("CREATE DATABASE " + database);
    holder->execute("CREATE TABLE " + database +
                    ".T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB");
    const auto looker = nodes.on(nodes.servers[1], database);
    const auto writer = nodes.on(nodes.servers[0], {});
    writer->execute("SET SESSION wsrep_sync_wait = 15");  // the table is there first
    const dao::Recordset source = test::records(test::numbered(10));
    const transfer::PairedFields fields(source, test::kNumberedPairing);
    transfer::LandedRecords landed(*looker, "T", fields, false);
    holder->execute("FLUSH TABLES WITH READ LOCK");
    writer->execute("INSERT INTO " + database +
                    ".T VALUES (1,'x',1),(2,'x',2),(3,'x',3),(4,'x',4),(5,'x',5),(6,'x',6),"
                    "(7,'x',7),(8,'x',8),(9,'x',9),(10,'x',10)");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        holder->execute("UNLOCK TABLES");
    });
    EXPECT_EQ(landed.landed(0, 10, 0), 10);
    release.join();
    writer->execute("DROP DATABASE " + database);
}

// A cluster that limits a transaction's rows gets batches, and groups of records committed
// together, within the limit, and no fewer records. (The limit is the cluster's own, changed
// while its tests run one at a time.)
TEST(ClusterFailoverTest, BatchesKeepWithinTheClusterWriteSetLimit) {
    const Cluster nodes;
    if (nodes.list.isEmpty()) GTEST_SKIP() << "no Galera cluster: ctest starts one";
    const QString database = test::uniqueName("wslimit");
    const auto admin = nodes.on(nodes.servers[0], {});
    admin->execute("CREATE DATABASE " + database);
    admin->execute("SET GLOBAL wsrep_max_ws_rows = 70");
    const std::shared_ptr<void> restore(nullptr, [&](void*) {
        admin->execute("SET GLOBAL wsrep_max_ws_rows = 0");
        admin->execute("DROP DATABASE " + database);
    });
    const auto connection = nodes.on(nodes.servers[0], database);
    connection->execute("CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(9), n INT) ENGINE=InnoDB");
    const dao::Recordset source = test::records(test::numbered(1500));
    QStringList batchesDone;
    for (long done = 70; done < 1500; done += 70)
        batchesDone << QStringLiteral("Copied Record :%1").arg(done);
    batchesDone << "Copied Record :1500";
    for (const char* action : {"BULK", "BULK-UPSERT", "INSERT", "UPSERT"}) {
        SCOPED_TRACE(action);
        connection->execute("TRUNCATE TABLE T");  // a DELETE of 1,500 rows is over the limit
        test::RecordingProgress progress;
        test::runAction(action, "T", "k", source, test::kNumberedPairing, *connection, progress);
        EXPECT_EQ(progress.statuses.filter("Copied Record :"), batchesDone);
        EXPECT_EQ(connection->openRecordset("SELECT SUM(k) FROM T")->valueAt(0, 0).standardText(),
                  QString::number(1500 * 1501 / 2));
    }
}

}  // namespace
