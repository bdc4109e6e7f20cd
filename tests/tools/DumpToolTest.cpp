#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Process.h"

using namespace keldara::test;

namespace {

class DumpTool : public ::testing::Test {
  protected:
    // The dump of the text folder with orders.csv, with `arguments` after its connection string.
    ProcessResult dump(const QStringList& arguments = {}) {
        const QString orders =
            writeFile(folder.filePath("orders.csv"),
                      "id,note,when\r\n"
                      "1,\"tab\there\",2024-02-29\r\n"
                      "2,,\r\n"
                      "3,\"it's \"\"quoted\"\"\nover lines\",1999-12-31 23:59:58\r\n");
        return runProcess(
            dumpToolPath(),
            QStringList{keldara::source::SourceConnectionString(orders, {})} + arguments);
    }
    QTemporaryDir folder;
};

TEST_F(DumpTool, PrintsTheCatalogueOneNamePerLine) {
    writeFile(folder.filePath("zebra.txt"), "a\n1\n");
    const ProcessResult result = dump();
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out, "orders.csv\nzebra.txt\n");
}

TEST_F(DumpTool, PrintsNamesTypesSizesAndOneLiteralLinePerRecord) {
    const ProcessResult result = dump({"orders.csv"});
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    const QStringList lines = QString::fromUtf8(result.out).split('\n');
    ASSERT_EQ(lines.size(), 7) << result.out.constData();
    EXPECT_EQ(lines[0], "id\tnote\twhen");
    EXPECT_EQ(lines[1], "3\t202\t7");
    EXPECT_EQ(lines[2].split('\t').size(), 3);
    EXPECT_EQ(
        lines.mid(3),
        QStringList({"'1'\t'tab\\there'\t'2024-02-29'", "'2'\tNULL\tNULL",
                     "'3'\t'it\\'s \\\"quoted\\\"\\nover lines'\t'1999-12-31 23:59:58'", ""}));
}

TEST_F(DumpTool, ReportsErrorsOnStandardErrorWithAFailingExit) {
    const ProcessResult missing = dump({"absent.csv"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("absent.csv")) << missing.err.constData();
    const ProcessResult noProvider = runProcess(dumpToolPath(), {"Provider=Nothing;"});
    EXPECT_NE(noProvider.exitCode, 0);
    EXPECT_FALSE(noProvider.err.isEmpty());
    EXPECT_EQ(runProcess(dumpToolPath(), {}).exitCode, 2);
}

}  // namespace
