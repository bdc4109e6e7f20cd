// A run into a three-node Galera cluster whose node in use is killed: the run goes on at
// another node and every node's table ends equal to the source.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "platform/dao/Connection.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/TestServer.h"
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

TEST(ClusterFailoverTest, TheNodeInUseKilledTheRunEndsOnAnotherWithEveryNodeEqualToTheSource) {
    const QByteArray details = cluster({"env"}).out;
    const QString list = QRegularExpression("KELDARA_GALERA_SERVERS=(.*)")
                             .match(QString::fromUtf8(details))
                             .captured(1);
    if (list.isEmpty()) GTEST_SKIP() << "no Galera cluster: ctest starts one (galera-cluster.sh)";
    const QStringList servers = list.split(',');
    test::Server server = test::serverOf(details);
    const QString database = test::uniqueName("galera");
    const auto onServer = [&](const QString& hosts, const QString& db) {
        server.host = hosts;
        server.port.clear();
        return dao::openConnection(server.connectionString(db));
    };
    onServer(list, {})->execute("CREATE DATABASE " + database);
    const struct {
        const char* action;
        long records, killAfter;  // records, or batches of the bulk
    } cases[] = {{"BULK", 4 * transfer::BulkBatchRows + 5, 1}, {"INSERT", 400, 150}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        const auto target = onServer(list, database);
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
            const auto reader = onServer(node, database);
            reader->execute("SET SESSION wsrep_sync_wait = 1");
            EXPECT_EQ(test::rowsOf(*reader->openRecordset("SELECT * FROM T")),
                      test::rowsOf(source));
        }
        EXPECT_EQ(
            cluster({"restart", QString::number(servers.indexOf(progress.killed) + 1)}).exitCode,
            0);
    }
    onServer(list, {})->execute("DROP DATABASE " + database);
}

}  // namespace
