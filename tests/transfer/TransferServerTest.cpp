// The transfer and the script on a real server: every value of the fixture tables arrives as
// it was, and a failure or a stop keeps exactly the records before it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
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

struct Server {
    QString host, port, user, password;
};

// A server of our own with MariaDB's compiled-in defaults (latin1, no configuration file),
// started on first use and stopped when the tests end.
class DefaultsServer {
  public:
    static const Server& get() {
        static DefaultsServer instance;
        return instance.server_;
    }
    ~DefaultsServer() { script({QStringLiteral("stop")}); }

  private:
    DefaultsServer() {
        const QStringList lines =
            QString::fromUtf8(script({QStringLiteral("start"), QStringLiteral("--defaults")}).out)
                .split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QLatin1String("KELDARA_MYSQL_HOST="))) server_.host = value;
            if (line.startsWith(QLatin1String("KELDARA_MYSQL_PORT="))) server_.port = value;
            if (line.startsWith(QLatin1String("KELDARA_MYSQL_USER="))) server_.user = value;
            if (line.startsWith(QLatin1String("KELDARA_MYSQL_PASSWORD="))) server_.password = value;
        }
    }
    test::ProcessResult script(QStringList arguments) {
        const QByteArray saved = qgetenv("KELDARA_DB_STATE");
        qputenv("KELDARA_DB_STATE", QStringLiteral("/tmp/keldara-defaults-%1")
                                        .arg(QCoreApplication::applicationPid())
                                        .toUtf8());
        arguments.prepend(test::sourceDir() + QStringLiteral("/scripts/mariadb-server.sh"));
        const test::ProcessResult result = test::runProcess(QStringLiteral("bash"), arguments);
        qputenv("KELDARA_DB_STATE", saved);
        return result;
    }
    Server server_;
};

enum class Setting { TestServer, CompiledDefaults, EmptySqlMode };

// A scratch database on the server of the setting, with a connection to it.
class TransferServerTest : public ::testing::TestWithParam<Setting> {
  protected:
    void SetUp() override {
        if (GetParam() == Setting::TestServer) {
            server_ = {qEnvironmentVariable("KELDARA_MYSQL_HOST"),
                       qEnvironmentVariable("KELDARA_MYSQL_PORT"),
                       qEnvironmentVariable("KELDARA_MYSQL_USER"),
                       qEnvironmentVariable("KELDARA_MYSQL_PASSWORD")};
        } else {
            server_ = DefaultsServer::get();
        }
        ASSERT_FALSE(server_.port.isEmpty()) << "no MySQL test server (KELDARA_MYSQL_*)";
        static int counter = 0;
        database_ = QStringLiteral("kt_transfer_%1_%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(++counter);
        auto admin = dao::openConnection(connectionString({}));
        if (GetParam() != Setting::TestServer) {
            admin->execute(GetParam() == Setting::EmptySqlMode
                               ? QStringLiteral("SET GLOBAL sql_mode = ''")
                               : QStringLiteral("SET GLOBAL sql_mode = DEFAULT"));
        }
        admin->execute(QStringLiteral("CREATE DATABASE ") + database_);
        connection_ = dao::openConnection(connectionString(database_));
    }
    void TearDown() override {
        connection_.reset();
        if (!server_.port.isEmpty()) {
            dao::openConnection(connectionString({}))
                ->execute(QStringLiteral("DROP DATABASE IF EXISTS ") + database_);
        }
    }

    QString connectionString(const QString& database) const {
        return test::mySqlConnectionString(server_.host, server_.user, server_.password,
                                           server_.port, database);
    }

    // Runs a script through the mariadb client on the scratch database; its error output.
    QString runThroughClient(const QString& script) {
        QTemporaryFile file;
        EXPECT_TRUE(file.open());
        file.write(script.toUtf8());
        file.flush();
        QProcess client;
        client.setStandardInputFile(file.fileName());
        client.start(QStringLiteral("mariadb"),
                     {QStringLiteral("--no-defaults"), QStringLiteral("--protocol=TCP"),
                      QStringLiteral("-h"), server_.host, QStringLiteral("-P"), server_.port,
                      QStringLiteral("-u"), server_.user, QStringLiteral("-p") + server_.password,
                      database_});
        client.waitForFinished(120000);
        return QString::fromUtf8(client.readAllStandardError()) +
               (client.exitCode() == 0 ? QString()
                                       : QStringLiteral(" (exit %1)").arg(client.exitCode()));
    }

    std::unique_ptr<dao::Recordset> select(const QString& sql) {
        return connection_->openRecordset(sql);
    }

    Server server_;
    QString database_;
    std::unique_ptr<dao::Connection> connection_;
};

// A value as both sides can be compared: dates and times in full (a date is its midnight, a
// time of day its zero date), decimals without trailing zeros.
QString comparable(const Value& v) {
    if (v.isNull()) return QStringLiteral("<NULL>");
    if (v.isDateLike()) {
        return dao::isoDateText(v.toDateTime()) + QLatin1Char(' ') +
               dao::isoTimeText(v.toDateTime());
    }
    QString text = v.standardText();
    if (v.kind() == dao::ValueKind::Decimal && text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return text;
}

// The rows in a stable order, each value comparable.
std::vector<QStringList> rowsOf(const dao::Recordset& rs) {
    std::vector<QStringList> rows;
    for (long r = 0; r < rs.recordCount(); ++r) {
        QStringList row;
        for (int c = 0; c < rs.fieldCount(); ++c) row << comparable(rs.valueAt(r, c));
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void expectSameRows(const dao::Recordset& source, const dao::Recordset& target,
                    const QString& step) {
    const auto expected = rowsOf(source);
    const auto actual = rowsOf(target);
    ASSERT_EQ(actual.size(), expected.size()) << step.toStdString();
    const auto [s, t] = std::mismatch(expected.begin(), expected.end(), actual.begin());
    if (s != expected.end()) {
        ADD_FAILURE() << step.toStdString()
                      << "\n source: " << s->join(QLatin1Char('|')).toStdString()
                      << "\n target: " << t->join(QLatin1Char('|')).toStdString();
    }
}

struct FixtureTable {
    QString file;   // under the shared fixtures folder
    QString table;  // as the source lists it
    QString key;    // a unique field, the merge's match field
};

QString sourceConnectionString(const QString& path) {
    const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
    const QString folder = QFileInfo(path).absolutePath();
    if (path.endsWith(QLatin1String(".mdb"))) return jet + path + QLatin1Char(';');
    if (path.endsWith(QLatin1String(".xls")))
        return jet + path + QStringLiteral(";Extended Properties=Excel 8.0;");
    if (path.endsWith(QLatin1String(".dbf"))) {
        return QStringLiteral(
                   "Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
               folder;
    }
    return jet + folder + QStringLiteral("\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"");
}

mapping::FieldPairing pairingOf(const dao::Recordset& rs, bool withoutParentheses) {
    mapping::FieldPairing pairing;
    for (int i = 0; i < rs.fieldCount(); ++i) {
        const QString name = rs.fieldInfo(i).name;
        if (withoutParentheses &&
            (name.contains(QLatin1Char('(')) || name.contains(QLatin1Char(')'))))
            continue;
        pairing.push_back({name, name});
    }
    return pairing;
}

TEST_P(TransferServerTest, FixtureTablesArriveValueForValueByScriptInsertAndMerge) {
    const FixtureTable tables[] = {
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Customers", "CustomerID"},
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Orders", "OrderID"},
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Employees", "EmployeeID"},
        {"mdb/mdbtools__mdbtestdata/DateTestDatabase.mdb", "DateTest", "IDCol"},
        {"dbf/infused__dbf/calls.dbf", "calls", "CALL_ID"},
        {"dbf/infused__dbf/dbase_8b.dbf", "dbase_8b", "CHARACTER"},
        {"xls/wireservice__csvkit/sheets.xls", "data$", "text"},
        {"csv/datasets__country-codes/country-codes.csv", "country-codes.csv", "ISO3166-1-Alpha-3"},
    };
    for (const FixtureTable& fixture : tables) {
        const QString path = test::fixturePath(fixture.file);
        if (!QFileInfo::exists(path)) GTEST_SKIP() << "fixture missing: " << path.toStdString();
        SCOPED_TRACE((fixture.file + QLatin1Char(' ') + fixture.table).toStdString());
        const auto source = dao::openConnection(sourceConnectionString(path))
                                ->openRecordset(QStringLiteral("SELECT * FROM [") + fixture.table +
                                                QLatin1Char(']'));
        test::RecordingProgress progress;

        const transfer::ScriptResult script =
            transfer::CreateTableScript(QStringLiteral("Tester"), *source, progress);
        ASSERT_TRUE(script.completed()) << script.message.toStdString();
        EXPECT_EQ(runThroughClient(script.script), QString());
        expectSameRows(*source, *select(QStringLiteral("SELECT * FROM Tester")),
                       QStringLiteral("script"));

        connection_->execute(QStringLiteral("DELETE FROM Tester"));
        const transfer::TransferResult inserted =
            transfer::MergeToTarget(QStringLiteral("INSERT"), QStringLiteral("Tester"), {}, *source,
                                    pairingOf(*source, false), *connection_, progress);
        EXPECT_TRUE(inserted.completed()) << inserted.message.toStdString();
        EXPECT_EQ(inserted.message, QStringLiteral("Copied Record :%1").arg(source->recordCount()));
        expectSameRows(*source, *select(QStringLiteral("SELECT * FROM Tester")),
                       QStringLiteral("insert"));

        // A changed copy: every merged field but the key emptied, then merged back by key.
        // Names with parentheses are left out: the update writes them with "_" in their place.
        const mapping::FieldPairing merged = pairingOf(*source, true);
        QStringList emptied;
        for (const mapping::FieldPair& pair : merged) {
            if (pair.targetName != fixture.key)
                emptied << transfer::QuoteIdentifier(pair.targetName) + "=NULL";
        }
        connection_->execute(QStringLiteral("UPDATE Tester SET ") + emptied.join(QLatin1Char(',')));
        const transfer::TransferResult updated =
            transfer::MergeToTarget(QStringLiteral("UPDATE"), QStringLiteral("Tester"), fixture.key,
                                    *source, merged, *connection_, progress);
        EXPECT_TRUE(updated.completed()) << updated.message.toStdString();
        expectSameRows(*source, *select(QStringLiteral("SELECT * FROM Tester")),
                       QStringLiteral("merge"));
    }
}

struct FailureCase {
    const char* rule;
    std::vector<std::array<Value, 3>> records;  // k, v, n
    QString action;
    QString match;
    long stopAfter;
    QString statusStart;
    QString statusEnd;
    QStringList keysKept;
};

Value t(const char* s) {
    return Value::text(QString::fromUtf8(s));
}
Value i(int n) {
    return Value::integer(n);
}

TEST_P(TransferServerTest, FirstFailureOrStopKeepsExactlyTheRecordsBefore) {
    const std::array<Value, 3> one{i(1), t("a"), i(1)}, two{i(2), t("b"), i(2)},
        four{i(4), t("d"), i(4)};
    const FailureCase cases[] = {
        {"a duplicate key",
         {one, two, {i(2), t("c"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Duplicate entry '2' for key 'PRIMARY'",
         " Line: 160",
         {"1", "2"}},
        {"a text too long for its column",
         {one, two, {i(3), t("cccccc"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Data too long for column 'v' at row 1",
         " Line: 160",
         {"1", "2"}},
        {"text into a number",
         {one, two, {i(3), t("c"), t("x")}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Incorrect integer value: 'x'",
         " Line: 160",
         {"1", "2"}},
        {"a character latin1 lacks",
         {one, two, {i(3), t("漢"), i(3)}, four},
         "INSERT",
         "",
         -1,
         "ERROR MergeToTarget: Incorrect string value:",
         " Line: 160",
         {"1", "2"}},
        {"a stop after two records",
         {one, two, {i(3), t("c"), i(3)}, four},
         "INSERT",
         "",
         2,
         "Stopped at Record :3",
         "",
         {"1", "2"}},
        {"a match field that is not paired",
         {one, two},
         "UPDATE",
         "id",
         -1,
         "ERROR MergeToTarget: The match field \"id\" is not a paired target field.",
         " Line: 120",
         {}},
        {"an empty source", {}, "INSERT", "", -1, "Merging", "", {}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.rule);
        connection_->execute(QStringLiteral("DROP TABLE IF EXISTS T"));
        connection_->execute(
            QStringLiteral("CREATE TABLE T (k INT PRIMARY KEY, v VARCHAR(5) CHARACTER SET latin1, "
                           "n INT) ENGINE=MyISAM"));
        dao::Recordset source({{"k", dao::adType::Integer, 4},
                               {"v", dao::adType::VarWChar, 5},
                               {"n", dao::adType::Integer, 4}});
        for (const auto& record : c.records) source.appendRow(record);
        test::RecordingProgress progress;
        progress.stopAfterRecords = c.stopAfter;
        const transfer::TransferResult result =
            transfer::MergeToTarget(c.action, QStringLiteral("T"), c.match, source,
                                    {{"k", "k"}, {"v", "v"}, {"n", "n"}}, *connection_, progress);
        EXPECT_TRUE(result.message.startsWith(c.statusStart) &&
                    result.message.endsWith(c.statusEnd))
            << result.message.toStdString();
        EXPECT_EQ(progress.statuses.last(), result.message);
        EXPECT_EQ(result.recordsDone, c.keysKept.size());
        QStringList kept;
        const auto keys = select(QStringLiteral("SELECT k FROM T ORDER BY k"));
        for (long r = 0; r < keys->recordCount(); ++r) kept << keys->valueAt(r, 0).standardText();
        EXPECT_EQ(kept, c.keysKept);
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
