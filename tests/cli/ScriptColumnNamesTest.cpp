// keldara-cli's script renames the fields a MySQL column cannot be named after; pairing by name
// then finds each field's column in the table the script made.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Process.h"
#include "support/TestServer.h"

namespace keldara::test {
namespace {

using ScriptColumnNames = MySqlTest;

// Trailing blanks dropped, long names cut, a clash given "_2": the script creates the table, and
// an insert into it fills every column of every row with the source's values, a line break in
// quotes as the file holds it.
TEST_F(ScriptColumnNames, AnInsertIntoTheScriptsTableFillsEveryColumn) {
    QTemporaryDir dir;
    const QByteArray cut(64, 'n');
    const QString csv =
        writeFile(dir.filePath("renamed.csv"), "id,\"name  \"," + cut + "_first," + cut +
                                                   "_second,a ,A,story\r\n"
                                                   "1,Ann,10,20,x,y,\"Once upon \r\na time\"\r\n"
                                                   "2,Bob,11,21,z,w,\"cr\ronly, lf\nonly\"\r\n");
    const Server& server = db_->server;
    const profiles::Profile profile{csv,         "renamed.csv",   server.host,
                                    server.user, server.password, db_->name,
                                    "Tester",    server.port};
    const auto record = profiles::recordFromProfile(profile, QDateTime::currentDateTime());
    const QString profilePath = dir.filePath("job.pro");
    ASSERT_TRUE(record && profiles::WriteProfile(profilePath, *record));

    const ProcessResult script =
        runProcess(KELDARA_CLI_PATH, {"run", profilePath, "--action", "script"});
    ASSERT_EQ(script.exitCode, 0) << script.err.constData();
    ASSERT_EQ(runThroughClient(server, db_->name, QString::fromUtf8(script.out)), "0");
    run({"DELETE FROM Tester"});
    const ProcessResult insert =
        runProcess(KELDARA_CLI_PATH, {"run", profilePath, "--action", "insert"});
    EXPECT_EQ(insert.exitCode, 0) << insert.err.constData();
    const auto source = source::OpenSourceConnection(csv, {})->openRecordset(
        QStringLiteral("SELECT * FROM [renamed.csv]"));
    EXPECT_EQ(tableRows("Tester"), rowsOf(*source));
    EXPECT_EQ(connection_->openRecordset("SELECT story FROM Tester WHERE id = 1")->valueAt(0, 0),
              dao::Value::text("Once upon \r\na time"));
}

}  // namespace
}  // namespace keldara::test
