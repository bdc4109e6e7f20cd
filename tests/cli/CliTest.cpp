// keldara-cli as a scheduled job runs it: the built program, a profile file, a source file and
// the test server; what it leaves in the target table, its exit status and its messages.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/CliRun.h"
#include "profiles/ProfileFile.h"
#include "source/SourceFiles.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/TestServer.h"

using namespace keldara;

namespace {

using test::CliRun;

class CliTest : public test::MySqlTest {
  protected:
    void SetUp() override {
        test::MySqlTest::SetUp();
        ASSERT_TRUE(folder_.isValid());
        profilePath_ = folder_.filePath("job.pro");
    }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        return test::writeFile(folder_.filePath(name), bytes);
    }

    profiles::Profile profileFor(const QString& sourceFile, const QString& sourceTable,
                                 const QString& table) const {
        const test::Server& server = db_->server;
        return {sourceFile,      sourceTable, server.host, server.user,
                server.password, db_->name,   table,       server.port};
    }
    void writeProfile(const profiles::Profile& profile) {
        const auto record = profiles::recordFromProfile(profile, QDateTime::currentDateTime());
        ASSERT_TRUE(record && profiles::WriteProfile(profilePath_, *record));
    }

    // keldara-cli run PROFILE `arguments`; the MySQL password from the environment only when
    // given. With a `launcher` ("prlimit", "--as=N"), the program runs under it.
    CliRun runCli(const QStringList& arguments, const QString& mysqlPasswordVariable = {},
                  const QStringList& launcher = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("KELDARA_MYSQL_PASSWORD");
        environment.remove("KELDARA_SOURCE_PASSWORD");
        if (!mysqlPasswordVariable.isEmpty())
            environment.insert("KELDARA_MYSQL_PASSWORD", mysqlPasswordVariable);
        return test::runCommand(launcher + QStringList{KELDARA_CLI_PATH, "run", profilePath_},
                                arguments, environment);
    }

    std::vector<QString> rows(const QString& sql) {
        return test::rowsOf(*connection_->openRecordset(sql));
    }

    using test::MySqlTest::run;
    void run(const QString& sql) { connection_->execute(sql); }

    // A profile of a file of `count` numbers, n = 1 to count, into table t.
    void writeNumbersProfile(int count) {
        QByteArray csv = "n\n";
        for (int i = 1; i <= count; ++i) csv += QByteArray::number(i) + '\n';
        writeProfile(profileFor(writeFile("numbers.csv", csv), "numbers.csv", "t"));
    }

    QTemporaryDir folder_;
    QString profilePath_;
};

// The records of a table as keldara-dump prints them, in a stable order.
QStringList dumpedRecords(const QString& connectionString, const QString& table) {
    const test::ProcessResult dump =
        test::runProcess(test::dumpToolPath(), {connectionString, table});
    EXPECT_EQ(dump.exitCode, 0) << dump.err.constData();
    QStringList lines = QString::fromUtf8(dump.out).split('\n', Qt::SkipEmptyParts).mid(3);
    lines.sort();
    return lines;
}

// Tables of each format: the script creates and fills the table and an insert fills it again,
// value for value as keldara-dump reads them (the merges: CliCsvTest and the transfer tests):
// Access 2007+ calculated results, decimals of 28 places and text beyond the Basic Multilingual
// Plane; .xlsx and .ods sheets.
TEST_F(CliTest, FixtureTablesCopyValueForValueByEachAction) {
    const std::pair<const char*, const char*> tables[] = {
        {"mdb/mdbtools__mdbtestdata/nwind.mdb", "Customers"},
        {"accdb/jahlborn__jackcess/calcFieldTestV2010.accdb", "Table1"},
        {"accdb/jahlborn__jackcess/testEmoticonsV2010.accdb", "data"},
        {"xlsx/tafia__calamine/any_sheets.xlsx", "Visible$"},
        {"xlsx/tafia__calamine/date_1904.xlsx", "Sheet1$"},
        {"ods/tafia__calamine/date.ods", "Sheet1$"},
    };
    // MySQL writes a decimal with as many places as its column has, a DATETIME column gives a
    // date back at midnight and a time of day on the zero date.
    const auto comparable = [](QStringList lines) {
        lines.replaceInStrings(QRegularExpression("('-?\\d+)\\.(\\d*?)0+'"), "\\1.\\2'");
        lines.replaceInStrings(QRegularExpression("\\.'"), "'");
        lines.replaceInStrings(QRegularExpression("'1899-12-30 ([^']+)'"), "'\\1'");
        lines.replaceInStrings(QRegularExpression("'([-\\d]{10}) 00:00:00'"), "'\\1'");
        lines.sort();
        return lines;
    };
    const auto target = [&] {
        return comparable(dumpedRecords(scratchConnectionString(), "Tester"));
    };
    QStringList missing;  // not shipped, and not beside the project: only these are skipped
    for (const auto& [file, table] : tables) {
        SCOPED_TRACE(file);
        const QString path = test::fixturePath(file);
        if (!QFileInfo::exists(path)) {
            missing << file;
            continue;
        }
        run("DROP TABLE IF EXISTS Tester");
        writeProfile(profileFor(path, table, "Tester"));
        const QStringList source =
            comparable(dumpedRecords(source::SourceConnectionString(path, {}), table));
        ASSERT_FALSE(source.isEmpty());
        const CliRun script = runCli({"--action", "script"});
        ASSERT_EQ(script.exitCode, 0) << script.err.toStdString();
        EXPECT_TRUE(
            script.out.startsWith("#----------------------------\r\n# Table structure for "
                                  "Tester\r\n"));
        EXPECT_TRUE(script.err.contains(QRegularExpression(
            QStringLiteral("^keldara-cli: %1 records written into the script \\(\\d+\\.\\d s\\)\n$")
                .arg(source.size()))))
            << script.err.toStdString();
        ASSERT_EQ(test::runThroughClient(db_->server, db_->name, script.out), "0");
        EXPECT_EQ(target(), source) << "script";
        run("DELETE FROM Tester");
        const CliRun insert = runCli({"--action", "insert"});
        EXPECT_EQ(insert.exitCode, 0) << insert.err.toStdString();
        EXPECT_TRUE(insert.err.startsWith(
            QStringLiteral("keldara-cli: %1 records sent (").arg(source.size())))
            << insert.err.toStdString();
        EXPECT_EQ(target(), source) << "insert";
    }
    if (!missing.isEmpty())
        GTEST_SKIP() << "fixtures missing: " << missing.join(", ").toStdString();
}

// A generated file of three records into a table whose fields match some of its fields by
// name in other letter case.
class CliCsvTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        const QString csv = writeFile("people.csv",
                                      "ID,Name,Amount,Note\n1,Ann,1.50,n1\n2,Bob O'Neil,2.25,"
                                      "n2\n3,Cy,3,n3\n");
        profile_ = profileFor(csv, "people.csv", "t");
        writeProfile(profile_);
        run("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(20), amount DECIMAL(8,2), "
            "extra VARCHAR(20))");
    }
    profiles::Profile profile_;
};

// How a case changes the profile and the environment.
enum class Setting { AsWritten, WrongPassword, WrongPasswordRightVariable, NoSourceFile };

TEST_F(CliCsvTest, RunsLeaveTheTableAndExitAsTheirOptionsSay) {
    const QString rejects = folder_.filePath("refused.csv");
    const std::vector<QString> allSent{"1 | Ann | 1.5 | <NULL>", "2 | Bob O'Neil | 2.25 | <NULL>",
                                       "3 | Cy | 3 | <NULL>"};
    const struct {
        const char* rule;
        Setting setting;
        const char* setUp;  // statements on the table before the run
        QStringList arguments;
        int exitCode;
        std::vector<QString> rowsAfter;
        const char* message;        // a pattern of standard error
        const char* out = "";       // standard output, where it is not empty
        bool listsRefused = false;  // record 2 in the rejects file
    } cases[] = {
        // clang-format off
        {"fields pair by name ignoring case, an unmatched one is left out", Setting::AsWritten, "",
         {"--action", "insert"}, 0, allSent,
         "^keldara-cli: 3 records sent \\(\\d+\\.\\d s\\)\n$"},
        {"--map pairs another field and leaves one out", Setting::AsWritten, "",
         {"--action", "insert", "--map", "note=EXTRA", "--map", "Amount="}, 0,
         {"1 | Ann | <NULL> | n1", "2 | Bob O'Neil | <NULL> | n2", "3 | Cy | <NULL> | n3"},
         "3 records sent"},
        {"a merge updates the rows it finds and counts those it does not", Setting::AsWritten,
         "INSERT INTO t VALUES (1, 'x', 0, NULL), (3, 'z', 3, NULL)",
         {"--action", "merge", "--match", "id", "--map", "Name="}, 0,
         {"1 | x | 1.5 | <NULL>", "3 | z | 3 | <NULL>"},
         "^keldara-cli: 3 records sent, 1 matched no target row \\("},
        {"a refused record (bulk as insert) ends the run, those before stay", Setting::AsWritten,
         "INSERT INTO t VALUES (2, 'old', 0, NULL)", {"--action", "bulk"}, 1,
         {"1 | Ann | 1.5 | <NULL>", "2 | old | 0 | <NULL>"},
         "^keldara-cli: record 2 of 3 was refused: Duplicate entry '2' for key 'PRIMARY'; the "
         "records before it \\(1\\) stay in the target table \\("},
        {"skipping, the run writes the others, lists the refused record and ends with status 1",
         Setting::AsWritten, "INSERT INTO t VALUES (2, 'old', 0, NULL)",
         {"--action", "insert", "--on-error", "skip", "--rejects", rejects}, 1,
         {"1 | Ann | 1.5 | <NULL>", "2 | old | 0 | <NULL>", "3 | Cy | 3 | <NULL>"},
         "^keldara-cli: 2 records sent; 1 record refused, listed in \".*/refused.csv\"", "", true},
        {"a bulk insert skips as the insert", Setting::AsWritten,
         "INSERT INTO t VALUES (2, 'old', 0, NULL)",
         {"--action", "bulk", "--on-error", "skip", "--rejects", rejects}, 1,
         {"1 | Ann | 1.5 | <NULL>", "2 | old | 0 | <NULL>", "3 | Cy | 3 | <NULL>"},
         "^keldara-cli: 2 records sent; 1 record refused, listed in \".*/refused.csv\"", "", true},
        {"an update or insert counts both", Setting::AsWritten,
         "INSERT INTO t VALUES (1, 'x', 0, NULL)", {"--action", "upsert", "--match", "ID"}, 0,
         allSent, "^keldara-cli: 3 records sent: 1 updated, 2 inserted \\("},
        {"a bulk merge as the merge", Setting::AsWritten,
         "INSERT INTO t VALUES (1, 'x', 0, NULL), (3, 'z', 3, NULL)",
         {"--action", "bulk-merge", "--match", "id", "--map", "Name="}, 0,
         {"1 | x | 1.5 | <NULL>", "3 | z | 3 | <NULL>"},
         "^keldara-cli: 3 records sent, 1 matched no target row \\("},
        {"the target emptied first", Setting::AsWritten, "INSERT INTO t VALUES (9, 'old', 0, NULL)",
         {"--action", "bulk-upsert", "--match", "id", "--empty-target"}, 0, allSent,
         "3 records sent: 0 updated, 3 inserted"},
        {"skip without a rejects file", Setting::AsWritten, "",
         {"--action", "insert", "--on-error", "skip"}, 2, {}, "--on-error skip needs --rejects FILE"},
        {"an update or insert without --match", Setting::AsWritten, "", {"--action", "upsert"}, 2,
         {}, "--action upsert needs --match FIELD"},
        {"a dry run prints the statements and sends nothing", Setting::AsWritten, "",
         {"--action", "merge", "--match", "ID", "--dry-run"}, 0, {},
         "^keldara-cli: 3 records printed as statements, none sent",
         "update `t` SET `name` = 'Ann',`amount` = '1.5' WHERE `id` ='1';\n"
         "update `t` SET `name` = 'Bob O\\'Neil',`amount` = '2.25' WHERE `id` ='2';\n"
         "update `t` SET `name` = 'Cy',`amount` = '3' WHERE `id` ='3';\n"},
        {"KELDARA_MYSQL_PASSWORD comes before the profile's password",
         Setting::WrongPasswordRightVariable, "", {"--action", "insert"}, 0, allSent,
         "3 records sent"},
        {"a wrong password", Setting::WrongPassword, "", {"--action", "insert"}, 2, {},
         "^keldara-cli: cannot connect to the MySQL server .*: Access denied for user .*; "
         "check the profile or KELDARA_MYSQL_PASSWORD\n$"},
        {"a missing source file", Setting::NoSourceFile, "", {"--action", "insert"}, 2, {},
         "the source file \".*people.csv.gone\" that the profile names does not exist"},
        {"a bad option", Setting::AsWritten, "", {"--action", "insert", "--frob"}, 2, {},
         "^keldara-cli: Unknown option 'frob'.\nTry 'keldara-cli run --help'"},
        {"a --map naming no source field", Setting::AsWritten, "",
         {"--action", "insert", "--map", "Fax=extra"}, 2, {},
         "--map \"Fax=extra\": the source table has no field \"Fax\""},
        {"a merge without --match", Setting::AsWritten, "", {"--action", "merge"}, 2, {},
         "--action merge needs --match FIELD"},
        {"the first of the servers given that answers is written to", Setting::AsWritten, "",
         {"--action", "insert", "--server", "127.0.0.1:1", "--server",
          db_->server.host + ':' + db_->server.port}, 0, allSent, "3 records sent"},
        {"--retry-for takes seconds", Setting::AsWritten, "",
         {"--action", "insert", "--retry-for", "soon"}, 2, {},
         "--retry-for 'soon' is not a number of seconds"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        run("DELETE FROM t");
        QFile::remove(rejects);
        if (*c.setUp) run(c.setUp);
        profiles::Profile profile = profile_;
        if (c.setting == Setting::WrongPassword || c.setting == Setting::WrongPasswordRightVariable)
            profile.password = "wrong-pw-7Qz";
        if (c.setting == Setting::NoSourceFile) profile.sourceFile += ".gone";
        writeProfile(profile);
        const CliRun result = runCli(c.arguments, c.setting == Setting::WrongPasswordRightVariable
                                                      ? db_->server.password
                                                      : QString());
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QRegularExpression(c.message))) << result.err.toStdString();
        EXPECT_EQ(result.out, c.out);
        if (c.listsRefused) {
            EXPECT_EQ(test::readAll(rejects),
                      "\"Record\",\"Error\",\"id\",\"name\",\"amount\"\r\n2,\"Duplicate entry '2' "
                      "for key 'PRIMARY'\",\"2\",\"Bob O'Neil\",\"2.25\"\r\n");
        }
        EXPECT_EQ(tableRows("t"), c.rowsAfter);
        for (const QString& password : {db_->server.password, profile.password}) {
            EXPECT_FALSE(result.out.contains(password) || result.err.contains(password))
                << "the password appears in the output";
        }
    }
}

TEST_F(CliTest, ProgressOnANonTerminalIsPlainLines) {
    writeNumbersProfile(2000);
    run("CREATE TABLE t (n INT)");
    const CliRun result = runCli({"--action", "insert", "--progress", "0.01"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2) << result.err.toStdString();
    EXPECT_TRUE(lines.takeLast().startsWith("keldara-cli: 2000 records sent ("));
    for (const QString& line : lines) {
        EXPECT_TRUE(line.contains(QRegularExpression(
            "^keldara-cli: \\d+ of 2000 records, \\d+ records/s, (\\d+\\.\\d s|\\d+:\\d\\d|\\?) "
            "left$")))
            << line.toStdString();
    }
    EXPECT_EQ(rows("SELECT COUNT(*), SUM(n) FROM t"), std::vector<QString>{"2000 | 2001000"});
}

// The source is streamed: a file three times larger than the address space the run may take
// is copied whole by a bulk insert, while keldara-dump, which loads the table, cannot read it
// within that space. (glibc's second heap would reserve much of the space unused.)
TEST_F(CliTest, AFileSeveralTimesLargerThanTheMemoryAllowedIsCopiedWhole) {
    if (!test::kAddressSpaceCanBeLimited) GTEST_SKIP() << "the address space cannot be limited";
    constexpr qint64 kLimit = qint64{160} << 20;
    QFile file(folder_.filePath("large.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("n,text\n");
    const QByteArray text = ",\"a \"\"quoted\"\", text" + QByteArray(1000, 'x') + "\"\n";
    qint64 records = 0;
    QByteArray block;
    while (file.size() + block.size() < 3 * kLimit) {
        block += QByteArray::number(++records) + text;
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    file.close();
    writeProfile(profileFor(file.fileName(), "large.csv", "t"));
    run("CREATE TABLE t (n BIGINT, text VARCHAR(1100))");
    const QStringList limited{"env", "MALLOC_ARENA_MAX=1", "prlimit",
                              "--as=" + QString::number(kLimit)};
    const CliRun bulk = runCli({"--action", "bulk"}, {}, limited);
    EXPECT_EQ(bulk.exitCode, 0) << bulk.err.toStdString();
    EXPECT_TRUE(bulk.err.contains(QStringLiteral("keldara-cli: %1 records sent").arg(records)))
        << bulk.err.toStdString();
    const QString sum = QString::number(records * (records + 1) / 2);
    EXPECT_EQ(rows("SELECT COUNT(*), SUM(n), MIN(text) = MAX(text), LENGTH(MIN(text)) FROM t"),
              std::vector<QString>{QString::number(records) + " | " + sum + " | 1 | 1016"});

    const test::ProcessResult dump = test::runProcess(
        "prlimit", {"--as=" + QString::number(kLimit), test::dumpToolPath(),
                    source::SourceConnectionString(file.fileName(), {}), "large.csv"});
    EXPECT_NE(dump.exitCode, 0) << "keldara-dump read the table within the limit";
}

// A run stopped (SIGTERM) before its next record keeps those before, as one killed (SIGKILL)
// may; with --resume it goes on after the records it wrote when started again, with or without
// a key to find them by; another run's state file is refused. Rows that were there before the
// run are never taken for its records; a run that empties the table and confirmed none starts
// again, emptying included; the records refused before a stop stay listed.
TEST_F(CliTest, AStoppedOrKilledRunResumesAfterTheRecordsItWrote) {
    const int count = 30000;
    writeNumbersProfile(count);
    const QString state = folder_.filePath("run.state");
    const QString rejects = folder_.filePath("refused.csv");
    const QString all = QStringLiteral("%1 | %1 | %2").arg(count).arg(count * (count + 1LL) / 2);
    const char* keyed = "CREATE TABLE t (n INT PRIMARY KEY, old INT)";
    const struct {
        const char* action;
        const char* table;
        const char* oldRows;  // n of rows there before the run, marked old = 1
        QStringList options;
        bool kill;         // SIGKILL, else SIGTERM
        int resumedExit;   // of the run started again
        const char* said;  // by the run started again
        QString table_;    // COUNT(*), COUNT(DISTINCT n), SUM(n) of new rows, then old ones
    } cases[] = {
        {"insert",
         "CREATE TABLE t (n INT, old INT)",
         nullptr,
         {},
         false,
         0,
         "30000 records sent",
         all + " | 0"},
        {"bulk", keyed, nullptr, {}, true, 0, "30000 records sent", all + " | 0"},
        {"insert", keyed, nullptr, {}, true, 0, "30000 records sent", all + " | 0"},
        {"insert",
         "CREATE TABLE t (n INT, old INT)",
         nullptr,
         {},
         true,
         0,
         "30000 records sent",
         all + " | 0"},
        {"bulk",
         keyed,
         "1_to_1000",
         {"--empty-target"},
         true,
         0,
         "30000 records sent",
         all + " | 0"},
        {"bulk",
         keyed,
         "1_to_10",
         {"--on-error", "skip", "--rejects", rejects},
         false,
         1,
         "29990 records sent; 10 records refused, listed in",
         all + " | 10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 into %2 %3, %4")
                         .arg(c.action, c.table, c.options.join(' '), c.kill ? "killed" : "stopped")
                         .toStdString());
        run("DROP TABLE IF EXISTS t");
        run(c.table);
        if (c.oldRows)
            run(QStringLiteral("INSERT INTO t SELECT seq, 1 FROM seq_%1").arg(c.oldRows));
        QFile::remove(state);
        QFile::remove(rejects);
        const QStringList arguments = QStringList{"run",      profilePath_, "--action",   c.action,
                                                  "--resume", state,        "--progress", "0.01"} +
                                      c.options;
        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(KELDARA_CLI_PATH, arguments);
        ASSERT_TRUE(process.waitForReadyRead(60000));  // records are being sent
        c.kill ? process.kill() : process.terminate();
        ASSERT_TRUE(process.waitForFinished(60000));
        if (!c.kill) {
            EXPECT_EQ(process.exitCode(), 1);
            const QString err = QString::fromUtf8(process.readAllStandardError());
            const auto stopped = QRegularExpression(
                                     "keldara-cli: stopped on request before record (\\d+) of "
                                     "30000; the records before it \\((\\d+)\\) stay in the "
                                     "target table")
                                     .match(err);
            ASSERT_TRUE(stopped.hasMatch()) << err.toStdString();
            const QString kept = stopped.captured(2);
            EXPECT_EQ(stopped.captured(1).toInt(), kept.toInt() + 1 + (c.oldRows ? 10 : 0));
            EXPECT_EQ(rows("SELECT COUNT(*), MAX(n) FROM t WHERE old IS NULL"),
                      std::vector<QString>{kept + " | " +
                                           QString::number(kept.toInt() + (c.oldRows ? 10 : 0))});
        }
        ASSERT_TRUE(QFile::exists(state));
        const CliRun other = runCli({"--action", "merge", "--match", "n", "--resume", state});
        EXPECT_EQ(other.exitCode, 2);
        EXPECT_TRUE(other.err.contains("is the state of another run")) << other.err.toStdString();
        const CliRun resumed = runCli(arguments.mid(2));
        EXPECT_EQ(resumed.exitCode, c.resumedExit) << resumed.err.toStdString();
        EXPECT_TRUE(resumed.err.contains(c.said)) << resumed.err.toStdString();
        EXPECT_FALSE(QFile::exists(state));
        EXPECT_EQ(rows("SELECT COUNT(*), COUNT(DISTINCT n), SUM(n), COUNT(old) FROM t"),
                  std::vector<QString>{c.table_});
        if (c.options.contains("--rejects")) {
            QFile listed(rejects);
            ASSERT_TRUE(listed.open(QIODevice::ReadOnly));
            EXPECT_EQ(listed.readAll().count("Duplicate entry"), 10);
        }
    }
}

// Emptying the table first leaves a merge nothing to update: refused before anything is
// deleted.
TEST_F(CliTest, AMergeThatWouldEmptyTheTableFirstIsRefused) {
    writeNumbersProfile(3);
    run("DROP TABLE IF EXISTS t");
    run("CREATE TABLE t (n INT PRIMARY KEY)");
    run("INSERT INTO t VALUES (1), (2), (3)");
    for (const char* action : {"merge", "bulk-merge"}) {
        const CliRun refused = runCli({"--action", action, "--match", "n", "--empty-target"});
        EXPECT_EQ(refused.exitCode, 2) << action;
        EXPECT_TRUE(refused.err.contains("--empty-target is not used with --action merge"))
            << refused.err.toStdString();
        EXPECT_EQ(rows("SELECT COUNT(*) FROM t"), std::vector<QString>{"3"});
    }
}

}  // namespace
