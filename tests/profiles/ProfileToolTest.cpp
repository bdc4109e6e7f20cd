#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "support/Paths.h"
#include "support/Process.h"

using namespace keldara;

namespace {

// The tool that scripts/run.sh writes the sample profile with, built beside keldara-dump.
QString profileToolPath() {
    return QFileInfo(test::dumpToolPath()).dir().filePath("keldara-profile");
}

TEST(ProfileTool, WritesAProfileTheWindowReads) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sample.pro");
    const auto result = test::runProcess(
        profileToolPath(),
        {path, "--source-file", "/s/customers.csv", "--source-table", "customers.csv", "--server",
         "127.0.0.1", "--port", "3399", "--user", "keldara", "--password", "s\u00e9cret",
         "--database", "keldara_sample", "--table", "customers"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const auto profile = profiles::readProfileFile(path);
    ASSERT_TRUE(profile);
    EXPECT_EQ(
        QStringList({profile->sourceFile, profile->sourceTable, profile->server, profile->port,
                     profile->user, profile->password, profile->database, profile->targetTable}),
        QStringList({"/s/customers.csv", "customers.csv", "127.0.0.1", "3399", "keldara",
                     "s\u00e9cret", "keldara_sample", "customers"}));

    EXPECT_EQ(
        test::runProcess(profileToolPath(), {dir.filePath("bad.pro"), "--port", "x"}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("bad.pro")));
}

}  // namespace
