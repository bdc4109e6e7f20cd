#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/Process.h"

using namespace keldara::test;

namespace {

// keldara-dump on a text folder: the catalogue one name a line; a table's names, types, sizes
// and one literal line per record; errors on standard error with a failing exit.
TEST(DumpTool, PrintsTheCatalogueOrATableAndReportsErrors) {
    QTemporaryDir folder;
    writeFile(folder.filePath("zebra.txt"), "a\n1\n");
    const QString orders =
        writeFile(folder.filePath("orders.csv"),
                  "id,note,when\r\n1,\"tab\there\",2024-02-29\r\n2,,\r\n"
                  "3,\"it's \"\"quoted\"\"\nover lines\",1999-12-31 23:59:58\r\n");
    const QString connection = keldara::source::SourceConnectionString(orders, {});
    EXPECT_EQ(runProcess(dumpToolPath(), {connection}).out, "orders.csv\nzebra.txt\n");

    const ProcessResult table = runProcess(dumpToolPath(), {connection, "orders.csv"});
    ASSERT_EQ(table.exitCode, 0) << table.err.constData();
    QStringList lines = QString::fromUtf8(table.out).split('\n');
    lines[2] = QString::number(lines[2].split('\t').size());  // the sizes, one a field
    EXPECT_EQ(lines, QStringList(
                         {"'id'\t'note'\t'when'", "3\t202\t7", "3",
                          "'1'\t'tab\\there'\t'2024-02-29'", "'2'\tNULL\tNULL",
                          "'3'\t'it\\'s \\\"quoted\\\"\\nover lines'\t'1999-12-31 23:59:58'", ""}));

    const ProcessResult missing = runProcess(dumpToolPath(), {connection, "absent.csv"});
    EXPECT_TRUE(missing.exitCode != 0 && missing.out.isEmpty() &&
                missing.err.contains("absent.csv"))
        << missing.err.constData();
    EXPECT_FALSE(runProcess(dumpToolPath(), {"Provider=Nothing;"}).err.isEmpty());
    EXPECT_EQ(runProcess(dumpToolPath(), {}).exitCode, 2);
}

// --file builds the connection string as the window does and lists the tables it lists; field
// names are escaped as values are, so a line break or tab in a header keeps one line a record.
TEST(DumpTool, ReadsAFileByItsKindAsTheWindowDoes) {
    QTemporaryDir folder;
    const QString csv = writeFile(folder.filePath("notes.csv"), "\"line\nbreak\",\"a\tb\"\n1,2\n");
    writeFile(folder.filePath("other.csv"), "x\n");
    EXPECT_EQ(runProcess(dumpToolPath(), {"--file", csv}).out, "notes.csv\n");
    EXPECT_EQ(QString::fromUtf8(runProcess(dumpToolPath(), {"--file", csv, "notes.csv"}).out)
                  .split('\n')
                  .first(),
              "'line\\nbreak'\t'a\\tb'");
    const std::pair<const char*, const char*> workbooks[] = {
        {"xls/tidyverse__readxl/datasets.xls", "mtcars$"},
        {"xlsx/tafia__calamine/any_sheets.xlsx", "Visible$"},
        {"xlsx/tafia__calamine/vba.xlsm", "Sheet1$"},
        {"ods/tafia__calamine/any_sheets.ods", "Visible$"},
    };
    for (const auto& [file, firstTable] : workbooks) {
        const ProcessResult tables = runProcess(dumpToolPath(), {"--file", fixturePath(file)});
        EXPECT_TRUE(tables.exitCode == 0 && tables.out.startsWith(QByteArray(firstTable) + '\n'))
            << file << ": " << tables.out.constData() << tables.err.constData();
    }
    const ProcessResult missing = runProcess(dumpToolPath(), {"--file", folder.filePath("no.ods")});
    EXPECT_TRUE(missing.exitCode == 1 && missing.err.contains("no.ods")) << missing.err.constData();
}

}  // namespace
