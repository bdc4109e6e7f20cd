#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/Paths.h"
#include "support/Process.h"

using namespace keldara::test;

namespace {

QString textFolderConnection(const QString& folder) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder +
           "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"";
}

class DumpTool : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        QFile file(QDir(folder.path()).filePath("orders.csv"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "id,note,when\r\n"
            "1,\"tab\there\",2024-02-29\r\n"
            "2,,\r\n"
            "3,\"it's \"\"quoted\"\"\nover lines\",1999-12-31 23:59:58\r\n");
    }
    QTemporaryDir folder;
};

TEST_F(DumpTool, PrintsTheCatalogueOneNamePerLine) {
    QFile other(QDir(folder.path()).filePath("zebra.txt"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("a\n1\n");
    other.close();
    const ProcessResult result = runProcess(dumpToolPath(), {textFolderConnection(folder.path())});
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out, "orders.csv\nzebra.txt\n");
}

TEST_F(DumpTool, PrintsNamesTypesSizesAndOneLiteralLinePerRecord) {
    const ProcessResult result =
        runProcess(dumpToolPath(), {textFolderConnection(folder.path()), "orders.csv"});
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    const QStringList lines = QString::fromUtf8(result.out).split('\n');
    ASSERT_EQ(lines.size(), 7) << result.out.constData();
    EXPECT_EQ(lines[0], "id\tnote\twhen");
    EXPECT_EQ(lines[1], "3\t202\t7");
    EXPECT_EQ(lines[2].split('\t').size(), 3);
    EXPECT_EQ(lines[3], "'1'\t'tab\\there'\t'2024-02-29'");
    EXPECT_EQ(lines[4], "'2'\tNULL\tNULL");
    EXPECT_EQ(lines[5], "'3'\t'it\\'s \\\"quoted\\\"\\nover lines'\t'1999-12-31 23:59:58'");
    EXPECT_EQ(lines[6], "");
}

TEST_F(DumpTool, ReportsErrorsOnStandardErrorWithAFailingExit) {
    const ProcessResult missing =
        runProcess(dumpToolPath(), {textFolderConnection(folder.path()), "absent.csv"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("absent.csv")) << missing.err.constData();

    const ProcessResult noProvider = runProcess(dumpToolPath(), {"Provider=Nothing;"});
    EXPECT_NE(noProvider.exitCode, 0);
    EXPECT_FALSE(noProvider.err.isEmpty());

    EXPECT_EQ(runProcess(dumpToolPath(), {}).exitCode, 2);
}

}  // namespace
