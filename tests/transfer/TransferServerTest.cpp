// The transfer and the script on real servers: every value of the fixture tables arrives as it
// was, and a failure or a stop keeps exactly the records before it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <algorithm>
#include <array>

#include "mysql/MySqlTestServer.h"
#include "platform/dao/TypeCodes.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "transfer/CreateTableScript.h"
#include "transfer/MergeToTarget.h"
#include "transfer/SqlText.h"
#include "transfer/TransferTestSupport.h"

using namespace keldara;
using dao::Value;

namespace {

// KELDARA_MYSQL_HOST, _PORT, _USER, _PASSWORD of a server.
using Server = std::array<QString, 4>;

Server serverOf(const QString& environment) {
    Server server;
    const char* keys[] = {"HOST=", "PORT=", "USER=", "PASSWORD="};
    for (const QString& line : environment.split('\n')) {
        for (int i = 0; i < 4; ++i) {
            if (line.startsWith(QStringLiteral("KELDARA_MYSQL_") + keys[i]))
                server[i] = line.section('=', 1);
        }
    }
    return server;
}

// A server of our own with MariaDB's compiled-in defaults (latin1, no configuration file),
// started on first use and stopped when the tests end.
struct DefaultsServer {
    static const Server& get() {
        static DefaultsServer instance;
        return instance.server;
    }
    DefaultsServer() : server(serverOf(QString::fromUtf8(script("start --defaults").out))) {}
    ~DefaultsServer() { script("stop"); }
    static test::ProcessResult script(const QString& command) {
        return test::runProcess(
            "env", QStringList{"KELDARA_DB_STATE=/tmp/keldara-defaults-" +
                                   QString::number(QCoreApplication::applicationPid()),
                               "bash", test::sourceDir() + "/scripts/mariadb-server.sh"} +
                       command.split(' '));
    }
    Server server;
};

QString env(const char* key) {
    return qEnvironmentVariable(QByteArray("KELDARA_MYSQL_") + key);
}

enum class Setting { TestServer, CompiledDefaults, EmptySqlMode };

// A scratch database on the server of the setting, with a connection to it.
class TransferServerTest : public ::testing::TestWithParam<Setting> {
  protected:
    void SetUp() override {
        server_ = GetParam() == Setting::TestServer
                      ? Server{env("HOST"), env("PORT"), env("USER"), env("PASSWORD")}
                      : DefaultsServer::get();
        ASSERT_FALSE(server_[1].isEmpty()) << "no MySQL test server (KELDARA_MYSQL_*)";
        database_ = QStringLiteral("kt_transfer_%1").arg(QCoreApplication::applicationPid());
        auto admin = dao::openConnection(connectionString({}));
        if (GetParam() != Setting::TestServer) {
            admin->execute(GetParam() == Setting::EmptySqlMode ? "SET GLOBAL sql_mode = ''"
                                                               : "SET GLOBAL sql_mode = DEFAULT");
        }
        admin->execute("CREATE DATABASE " + database_);
        connection_ = dao::openConnection(connectionString(database_));
    }
    void TearDown() override {
        connection_.reset();
        if (!server_[1].isEmpty())
            dao::openConnection(connectionString({}))->execute("DROP DATABASE " + database_);
    }

    QString connectionString(const QString& database) const {
        return test::mySqlConnectionString(server_[0], server_[2], server_[3], server_[1],
                                           database);
    }

    // Runs a script through the mariadb client on the scratch database; its error output.
    QString runThroughClient(const QString& script) {
        QTemporaryFile file;
        EXPECT_TRUE(file.open() && file.write(script.toUtf8()) > 0 && file.flush());
        QProcess client;
        client.setStandardInputFile(file.fileName());
        client.start("mariadb", {"--no-defaults", "--protocol=TCP", "-h", server_[0], "-P",
                                 server_[1], "-u", server_[2], "-p" + server_[3], database_});
        client.waitForFinished(120000);
        return client.readAllStandardError() + QString::number(client.exitCode());
    }

    // The rows in a stable order, each value in a form both sides share: dates and times in
    // full (a date is its midnight, a time of day its zero date), decimals without trailing
    // zeros, Null apart from every text.
    static std::vector<QStringList> rowsOf(const dao::Recordset& rs) {
        std::vector<QStringList> rows(static_cast<std::size_t>(rs.recordCount()));
        for (long r = 0; r < rs.recordCount(); ++r) {
            for (int c = 0; c < rs.fieldCount(); ++c) {
                const Value v = rs.valueAt(r, c);
                QString text = v.isNull() ? "<NULL>" : v.standardText();
                if (v.isDateLike())
                    text =
                        dao::isoDateText(v.toDateTime()) + ' ' + dao::isoTimeText(v.toDateTime());
                if (v.kind() == dao::ValueKind::Decimal && text.contains('.')) {
                    while (text.endsWith('0')) text.chop(1);
                    if (text.endsWith('.')) text.chop(1);
                }
                rows[static_cast<std::size_t>(r)] << text;
            }
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    void expectTableHolds(const dao::Recordset& source, const char* step) {
        const auto expected = rowsOf(source);
        const auto actual = rowsOf(*connection_->openRecordset("SELECT * FROM Tester"));
        ASSERT_EQ(actual.size(), expected.size()) << step;
        const auto [s, t] = std::mismatch(expected.begin(), expected.end(), actual.begin());
        if (s != expected.end()) {
            ADD_FAILURE() << step << "\n source: " << s->join('|').toStdString()
                          << "\n target: " << t->join('|').toStdString();
        }
    }

    Server server_;
    QString database_;
    std::unique_ptr<dao::Connection> connection_;
};

QString sourceConnectionString(const QString& path) {
    const QString jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
    const QString folder = QFileInfo(path).absolutePath();
    if (path.endsWith(".mdb")) return jet + path + ';';
    if (path.endsWith(".xls")) return jet + path + ";Extended Properties=Excel 8.0;";
    if (path.endsWith(".dbf"))
        return "Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=" + folder;
    return jet + folder + "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"";
}

// Every field paired with the column of its own name; for a merge without the names that
// hold parentheses, which the update writes with "_" in their place.
mapping::FieldPairing pairingOf(const dao::Recordset& rs, bool forMerge) {
    mapping::FieldPairing pairing;
    for (int i = 0; i < rs.fieldCount(); ++i) {
        const QString name = rs.fieldInfo(i).name;
        if (!forMerge || !(name.contains('(') || name.contains(')')))
            pairing.push_back({name, name});
    }
    return pairing;
}

TEST_P(TransferServerTest, FixtureTablesArriveValueForValueByScriptInsertAndMerge) {
    const char* tables[][3] = {
        // file under the shared fixtures, table, unique field to merge by
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Customers", "CustomerID"},
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Orders", "OrderID"},
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Employees", "EmployeeID"},
        {"mdb/mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "IDCol"},
        {"dbf/infused__dbf/calls.dbf", "calls", "CALL_ID"},
        {"dbf/infused__dbf/dbase_8b.dbf", "dbase_8b", "CHARACTER"},
        {"xls/wireservice__csvkit/sheets.xls", "data$", "text"},
        {"csv/datasets__country-codes/country-codes.csv", "country-codes.csv", "ISO3166-1-Alpha-3"},
    };
    for (const auto& [file, table, key] : tables) {
        const QString path = test::fixturePath(file);
        if (!QFileInfo::exists(path)) GTEST_SKIP() << "fixture missing: " << path.toStdString();
        SCOPED_TRACE(path.toStdString() + " " + table);
        const auto source = dao::openConnection(sourceConnectionString(path))
                                ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
        test::RecordingProgress progress;

        const transfer::ScriptResult script =
            transfer::CreateTableScript("Tester", *source, progress);
        EXPECT_EQ(runThroughClient(script.script), "0");
        expectTableHolds(*source, "script");

        connection_->execute("DELETE FROM Tester");
        const transfer::TransferResult inserted = transfer::MergeToTarget(
            "INSERT", "Tester", {}, *source, pairingOf(*source, false), *connection_, progress);
        EXPECT_EQ(inserted.message, QStringLiteral("Copied Record :%1").arg(source->recordCount()));
        expectTableHolds(*source, "insert");

        // A changed copy, every merged field but the key emptied, merged back by the key.
        const mapping::FieldPairing merged = pairingOf(*source, true);
        QStringList emptied;
        for (const mapping::FieldPair& pair : merged) {
            if (pair.targetName != key)
                emptied << transfer::QuoteIdentifier(pair.targetName) + "=NULL";
        }
        connection_->execute("UPDATE Tester SET " + emptied.join(','));
        const transfer::TransferResult updated = transfer::MergeToTarget(
            "UPDATE", "Tester", key, *source, merged, *connection_, progress);
        EXPECT_TRUE(updated.completed()) << updated.message.toStdString();
        expectTableHolds(*source, "merge");
    }
}

TEST_P(TransferServerTest, FirstFailureOrStopKeepsExactlyTheRecordsBefore) {
    using Record = std::array<Value, 3>;  // k, v, n
    const auto i = [](int n) { return Value::integer(n); };
    const auto t = [](const char* s) { return Value::text(QString::fromUtf8(s)); };
    const Record one{i(1), t("a"), i(1)}, two{i(2), t("b"), i(2)}, four{i(4), t("d"), i(4)};
    const struct {
        const char* rule;
        std::vector<Record> records;
        const char* action;
        const char* match;
        long stopAfter;
        const char* statusStart;
        const char* statusEnd;
        long kept;  // records 1 to kept are in the table
    } cases[] = {
        {"a duplicate key",
         {one, two, {i(2), t("c"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Duplicate entry '2' for key 'PRIMARY'",
         " Line: 160",
         2},
        {"a text too long",
         {one, two, {i(3), t("cccccc"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Data too long for column 'v' at row 1",
         " Line: 160",
         2},
        {"text into a number",
         {one, two, {i(3), t("c"), t("x")}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Incorrect integer value: 'x'",
         " Line: 160",
         2},
        {"a character latin1 lacks",
         {one, two, {i(3), t("漢"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Incorrect string value:",
         " Line: 160",
         2},
        {"a stop after two records",
         {one, two, four},
         "INSERT",
         "",
         2,
         "Stopped at Record :3",
         "",
         2},
        {"a match field that is not paired",
         {one, two},
         "UPDATE",
         "id",
         -1,
         "ERROR MergeToTarget: The match field \"id\" is not a paired target field.",
         " Line: 120",
         0},
        {"an empty source", {}, "INSERT", "", -1, "Merging", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        connection_->execute("DROP TABLE IF EXISTS T");
        connection_->execute(
            "CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5) CHARACTER SET latin1, n INT) "
            "ENGINE=MyISAM");
        dao::Recordset source({{"k", dao::adType::Integer},
                               {"v", dao::adType::VarWChar},
                               {"n", dao::adType::Integer}});
        for (const Record& record : c.records) source.appendRow(record);
        test::RecordingProgress progress;
        progress.stopAfterRecords = c.stopAfter;
        const transfer::TransferResult result =
            transfer::MergeToTarget(c.action, "T", c.match, source,
                                    {{"k", "k"}, {"v", "v"}, {"n", "n"}}, *connection_, progress);
        EXPECT_TRUE(result.message.startsWith(c.statusStart) &&
                    result.message.endsWith(c.statusEnd))
            << result.message.toStdString();
        EXPECT_EQ(progress.statuses.last(), result.message);
        EXPECT_EQ(result.recordsDone, c.kept);
        const auto keys = connection_->openRecordset("SELECT k FROM T ORDER BY k");
        ASSERT_EQ(keys->recordCount(), c.kept);
        for (long r = 0; r < c.kept; ++r) EXPECT_EQ(keys->valueAt(r, 0), c.records[r][0]);
    }
}

std::string settingName(const ::testing::TestParamInfo<Setting>& info) {
    const char* names[] = {"TestServer", "CompiledDefaults", "EmptySqlMode"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferServerTest,
                         ::testing::Values(Setting::TestServer, Setting::CompiledDefaults,
                                           Setting::EmptySqlMode),
                         settingName);

}  // namespace
