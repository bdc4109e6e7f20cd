// keldara-cli migrate on the test server: whole databases, workbooks and folders of files
// moved with their structure, the report, the dry run, the refusal of existing tables and a
// killed run resumed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "cli/CliRun.h"
#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/TestServer.h"

using namespace keldara;

namespace {

using test::CliRun;

class MigrateTest : public test::MySqlTest {
  protected:
    void SetUp() override {
        test::MySqlTest::SetUp();
        ASSERT_TRUE(folder_.isValid());
    }

    QString url(const QString& database) const {
        const test::Server& server = db_->server;
        return QStringLiteral("mysql://%1@%2:%3/%4")
            .arg(server.user, server.host, server.port, database);
    }

    // keldara-cli `command` `arguments`, the password from KELDARA_MYSQL_PASSWORD.
    CliRun cli(const QString& command, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KELDARA_MYSQL_PASSWORD", db_->server.password);
        return test::runCommand({KELDARA_CLI_PATH, command}, arguments, environment);
    }

    CliRun migrate(const QString& source, const QStringList& options = {}) {
        return cli("migrate",
                   QStringList{source, url(db_->name), "--report", reportPath()} + options);
    }

    QString reportPath() const { return folder_.filePath("report.json"); }
    QJsonObject report() const {
        QFile file(reportPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    std::vector<QString> rows(const QString& sql) {
        return test::rowsOf(*connection_->openRecordset(sql));
    }

    // Every table the report names holds the source table's records, value for value.
    void expectTablesEqualSource(const QString& source, const QString& sourceFolder = {}) {
        for (const QJsonValue entry : report().value("tables").toArray()) {
            const QJsonObject table = entry.toObject();
            const QString name = table.value("source").toString();
            const QString file = sourceFolder.isEmpty() ? source : sourceFolder + "/" + name;
            const auto connection = source::OpenSourceConnection(file, {});
            const auto records = connection->openRecordset("SELECT * FROM [" + name + "]");
            const auto lines = [](const std::vector<QString>& rows) {
                return QStringList(rows.begin(), rows.end()).join('\n').toStdString();
            };
            EXPECT_EQ(lines(rows("SELECT * FROM `" + table.value("target").toString() + "`")),
                      lines(test::rowsOf(*records)))
                << name.toStdString();
            EXPECT_EQ(table.value("rowsWritten").toInteger(), records->recordCount());
        }
    }

    // The structure of `database` as the server tells it: columns, indexes and foreign keys.
    std::vector<QString> structureOf(const QString& database) {
        const QString of = "'" + database + "'";
        std::vector<QString> lines;
        for (const QString& query :
             {"SELECT TABLE_NAME, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT, EXTRA, "
              "COLUMN_COMMENT FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " +
                  of,
              "SELECT TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, NON_UNIQUE, COLLATION, "
              "SUB_PART FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = " +
                  of,
              "SELECT k.CONSTRAINT_NAME, k.TABLE_NAME, k.COLUMN_NAME, k.ORDINAL_POSITION, "
              "k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, r.UPDATE_RULE, r.DELETE_RULE "
              "FROM information_schema.KEY_COLUMN_USAGE k JOIN "
              "information_schema.REFERENTIAL_CONSTRAINTS r ON r.CONSTRAINT_SCHEMA = "
              "k.CONSTRAINT_SCHEMA AND r.CONSTRAINT_NAME = k.CONSTRAINT_NAME WHERE "
              "k.CONSTRAINT_SCHEMA = " +
                  of}) {
            const std::vector<QString> found = rows(query);
            lines.insert(lines.end(), found.begin(), found.end());
        }
        return lines;
    }

    // The checksum of every table of `database`, by name.
    std::vector<QString> checksumsOf(const QString& database) {
        std::vector<QString> sums;
        for (const QString& table : rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE "
                                         "TABLE_SCHEMA = '" +
                                         database + "'")) {
            const QString name = table.section(QLatin1Char('|'), 0, 0).trimmed();
            for (const QString& sum :
                 rows("CHECKSUM TABLE `" + database + "`.`" + name + "` EXTENDED"))
                sums.push_back(sum.section(QLatin1Char('|'), 1));
        }
        return sums;
    }

    QTemporaryDir folder_;
};

// The Access databases: Northwind in both its Jet 3 and Jet 4 copies (not shipped: read from
// the shared fixtures when there), and shipped files with keys, indexes and AutoNumbers.
TEST_F(MigrateTest, AccessDatabasesMoveWholeWithTheirStructure) {
    QStringList missing;
    for (const QString relative :
         {"mdb/statdata__Northwind-Databse/Northwind.mdb", "mdb/mdbtools__mdbtestdata/nwind.mdb",
          "accdb/jahlborn__jackcess/indexTestV2007.accdb",
          "mdb/jahlborn__jackcess/testV1997.mdb"}) {
        SCOPED_TRACE(relative.toStdString());
        const QString file = test::fixturePath(relative);
        if (test::leaveOutMissing(file, missing)) continue;
        run({"DROP DATABASE IF EXISTS `" + db_->name + "`", "CREATE DATABASE `" + db_->name + "`",
             "USE `" + db_->name + "`"});
        const CliRun moved = migrate(file);
        ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString() << moved.out.toStdString();
        expectTablesEqualSource(file);
        EXPECT_EQ(rows("SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE "
                       "CONSTRAINT_SCHEMA = DATABASE()"),
                  std::vector<QString>{QString::number(report().value("relationships").toInt())});
        // Every counter goes on past the highest value the table holds.
        for (const QString& counter :
             rows("SELECT CONCAT('SELECT ', t.AUTO_INCREMENT, ' > MAX(`', c.COLUMN_NAME, "
                  "'`) FROM `', t.TABLE_NAME, '`') FROM information_schema.TABLES t JOIN "
                  "information_schema.COLUMNS c USING (TABLE_SCHEMA, TABLE_NAME) WHERE "
                  "t.TABLE_SCHEMA = DATABASE() AND c.EXTRA LIKE '%auto_increment%'"))
            EXPECT_NE(rows(counter), std::vector<QString>{"0"}) << counter.toStdString();

        // The dry run's DDL, run through the client, makes the same structure.
        const CliRun dry = cli("migrate", {file, url(db_->name), "--dry-run"});
        ASSERT_EQ(dry.exitCode, 0) << dry.err.toStdString();
        test::ScratchDatabase planned(db_->server, "planned");
        EXPECT_EQ(test::runThroughClient(db_->server, planned.name, dry.out), "0");
        std::vector<QString> expected = structureOf(planned.name);
        EXPECT_EQ(structureOf(db_->name), expected);

        // A second run changes nothing and names the tables that exist.
        const std::vector<QString> before = checksumsOf(db_->name);
        const CliRun again = migrate(file);
        EXPECT_EQ(again.exitCode, 2);
        EXPECT_TRUE(again.err.contains("exist")) << again.err.toStdString();
        EXPECT_EQ(checksumsOf(db_->name), before);
    }
    if (!missing.isEmpty()) GTEST_SKIP() << missing.join("\n").toStdString();
}

// Workbooks, dBase and text files, and a folder of files in which two cannot be moved (a damaged
// dBase file, an empty CSV file): the others move, those two are named and the run exits 1.
TEST_F(MigrateTest, WorkbooksAndFoldersMoveEverySheetAndFile) {
    // A file of each kind: every table arrives, value for value.
    for (const auto& [relative, tables] :
         std::vector<std::pair<QString, int>>{{"xls/tidyverse__readxl/datasets.xls", 3},
                                              {"xlsx/tafia__calamine/any_sheets.xlsx", 3},
                                              {"ods/tafia__calamine/date.ods", 1},
                                              {"dbf/infused__dbf/dbase_03.dbf", 1},
                                              {"csv/okfn__messytables/spanish_chars.csv", 1}}) {
        SCOPED_TRACE(relative.toStdString());
        run({"DROP DATABASE IF EXISTS `" + db_->name + "`", "CREATE DATABASE `" + db_->name + "`",
             "USE `" + db_->name + "`"});
        const QString file = test::fixturePath(relative);
        const CliRun moved = migrate(file);
        ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString() << moved.out.toStdString();
        EXPECT_EQ(report().value("tables").toArray().size(), tables);
        expectTablesEqualSource(file);
    }
    // The last, a text file: its copy is named without the extension.
    EXPECT_EQ(report().value("tables").toArray()[0].toObject().value("target").toString(),
              "spanish_chars");

    const QString csv = folder_.filePath("exports");
    QDir().mkpath(csv);
    test::writeFile(csv + "/people.csv", "id,name\n1,Ann\n2,Bo\n");
    test::writeFile(csv + "/order lines.csv", "order,line,amount\n1,1,2.50\n1,2,\n");
    test::writeFile(csv + "/empty.csv", "");
    test::writeFile(csv + "/broken.dbf", QByteArray(40, '\x7f'));
    run({"DROP DATABASE IF EXISTS `" + db_->name + "`", "CREATE DATABASE `" + db_->name + "`",
         "USE `" + db_->name + "`"});
    const CliRun files = migrate(csv);
    EXPECT_EQ(files.exitCode, 1) << files.err.toStdString();
    EXPECT_TRUE(files.out.contains("empty.csv: FAILED: the table has no fields"))
        << files.out.toStdString();
    EXPECT_TRUE(files.out.contains("broken.dbf: FAILED")) << files.out.toStdString();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM people"), std::vector<QString>{"2"});
    EXPECT_EQ(rows("SELECT * FROM `order lines` ORDER BY 2"),
              (std::vector<QString>{"1 | 1 | 2.5", "1 | 2 | <NULL>"}));
}

// A run killed while it loads, resumed with its state file, leaves what a clean run leaves.
TEST_F(MigrateTest, AKilledRunResumedGivesTheSameDatabase) {
    const QString csv = folder_.filePath("big");
    QDir().mkpath(csv);
    for (const QString& name : {"a.csv", "b.csv", "c.csv"}) {
        QByteArray text = "id,word,amount\n";
        for (int i = 1; i <= 150000; ++i)
            text += QByteArray::number(i) + ",w" + QByteArray::number(i % 97) + "," +
                    QByteArray::number(i % 1000) + ".25\n";
        test::writeFile(csv + "/" + name, text);
    }
    const QString state = folder_.filePath("state.json");
    QProcess killed;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELDARA_MYSQL_PASSWORD", db_->server.password);
    killed.setProcessEnvironment(environment);
    killed.setReadChannel(QProcess::StandardError);
    killed.start(KELDARA_CLI_PATH,
                 {"migrate", csv, url(db_->name), "--jobs", "1", "--resume", state});
    // Killed once the first table is in and the second under way.
    QString progress;
    while (!progress.contains("b: loading") && killed.waitForReadyRead(60000))
        progress += QString::fromUtf8(killed.readAllStandardError());
    killed.kill();
    killed.waitForFinished();
    ASSERT_TRUE(progress.contains("b: loading")) << progress.toStdString();

    const CliRun resumed = cli("migrate", {csv, url(db_->name), "--resume", state});
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err.toStdString() << resumed.out.toStdString();
    EXPECT_FALSE(QFile::exists(state)) << "a completed run removes its state";

    test::ScratchDatabase clean(db_->server, "clean");
    ASSERT_EQ(cli("migrate", {csv, url(clean.name)}).exitCode, 0);
    EXPECT_EQ(checksumsOf(db_->name), checksumsOf(clean.name));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM b"), std::vector<QString>{"150000"});
}

// A single table named without a profile: --source and a mysql:// target.
TEST_F(MigrateTest, RunWithoutAProfileNamesItsTablesByUrl) {
    run({"CREATE TABLE people (id INT PRIMARY KEY, name VARCHAR(20))"});
    const QString file = test::writeFile(folder_.filePath("people.csv"), "id,name\n1,Ann\n2,Bo\n");
    const CliRun ran =
        cli("run", {"--source", file, "--target", url(db_->name) + "/people", "--action", "bulk"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    EXPECT_EQ(rows("SELECT * FROM people ORDER BY id"),
              (std::vector<QString>{"1 | Ann", "2 | Bo"}));
    // A dBase file that repeats a field name: each of the two fields goes to its own column.
    const QString dbase = test::fixturePath("dbf/infused__dbf/dbase_03.dbf");
    const QString target = url(db_->name) + "/Tester";
    const CliRun script = cli("run", {"--source", dbase, "--target", target, "--action", "script"});
    ASSERT_EQ(test::runThroughClient(db_->server, db_->name, script.out), "0");
    run({"TRUNCATE TABLE Tester"});
    const CliRun bulk = cli("run", {"--source", dbase, "--target", target, "--action", "bulk"});
    EXPECT_EQ(bulk.exitCode, 0) << bulk.err.toStdString();
    const auto source =
        source::OpenSourceConnection(dbase, {})->openRecordset("SELECT * FROM [dbase_03.dbf]");
    EXPECT_EQ(rows("SELECT * FROM Tester"), test::rowsOf(*source));

    const CliRun wrong =
        cli("run", {"--source", file, "--target", "mysql://x:pw@h/db/t", "--action", "bulk"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("password")) << wrong.err.toStdString();
}

}  // namespace
