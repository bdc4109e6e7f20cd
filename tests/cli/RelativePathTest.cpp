// Paths on the command line relative to the current folder, with or without a folder in them:
// keldara-dump's source file, keldara-cli's profile and the source file the profile names.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Process.h"
#include "support/TestServer.h"

namespace keldara::test {
namespace {

// Text and dBase files open their folder, workbooks themselves: each read from inside its
// folder by its bare name and by "./name", and from the folder above by "inner/name", prints
// what its absolute path prints.
TEST(RelativePaths, KeldaraDumpReadsASourceFileNamedWithOrWithoutAFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("inner"));
    const QString inner = dir.filePath("inner");
    writeFile(inner + "/orders.csv", "id,item\n1,pen\n");
    ASSERT_TRUE(QFile::copy(dataPath("dbf/olemb__dbfread/people.dbf"), inner + "/people.dbf"));
    ASSERT_TRUE(QFile::copy(dataPath("xlsx/tafia__calamine/no-header.xlsx"), inner + "/book.xlsx"));
    const std::pair<QString, QString> tables[] = {
        {"orders.csv", "orders.csv"}, {"people.dbf", "people.dbf"}, {"book.xlsx", "Feuille 1$"}};
    for (const auto& [file, table] : tables) {
        const ProcessResult absolute =
            runProcess(dumpToolPath(), {"--file", inner + '/' + file, table});
        ASSERT_EQ(absolute.exitCode, 0) << absolute.err.constData();
        const std::pair<QString, QString> relative[] = {
            {inner, file}, {inner, "./" + file}, {dir.path(), "inner/" + file}};
        for (const auto& [folder, path] : relative) {
            const ProcessResult dump =
                runProcess(dumpToolPath(), {"--file", path, table}, 120000, folder);
            EXPECT_EQ(dump.exitCode, 0) << path.toStdString() << ": " << dump.err.constData();
            EXPECT_EQ(dump.out, absolute.out) << path.toStdString();
        }
    }
}

using RelativeCliPaths = MySqlTest;

// keldara-cli run from the profile's folder by bare names, and from the folder above by
// "inner/...": the profile, and the source file that it names in the same way.
TEST_F(RelativeCliPaths, KeldaraCliRunsAProfileAndSourceFileNamedWithOrWithoutAFolder) {
    run({"CREATE TABLE t (id INT PRIMARY KEY, item VARCHAR(9))"});
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("inner"));
    const QString inner = dir.filePath("inner");
    writeFile(inner + "/orders.csv", "id,item\n1,pen\n2,ink\n");
    const Server& server = db_->server;
    for (const auto& [folder, prefix] : {std::pair{inner, QString()}, {dir.path(), "inner/"}}) {
        SCOPED_TRACE(prefix.toStdString());
        run({"DELETE FROM t"});
        const profiles::Profile profile{
            prefix + "orders.csv", "orders.csv", server.host, server.user,
            server.password,       db_->name,    "t",         server.port};
        const auto record = profiles::recordFromProfile(profile, QDateTime::currentDateTime());
        ASSERT_TRUE(record && profiles::WriteProfile(inner + "/job.pro", *record));
        const ProcessResult cli = runProcess(
            KELDARA_CLI_PATH, {"run", prefix + "job.pro", "--action", "insert"}, 120000, folder);
        EXPECT_EQ(cli.exitCode, 0) << cli.err.constData();
        EXPECT_EQ(tableRows("t"), std::vector<QString>({"1 | pen", "2 | ink"}));
    }
}

}  // namespace
}  // namespace keldara::test
