#include <QCoreApplication>

#include "shell/ui/StatusBar.h"
#include "source/SourceFiles.h"
#include "source/SourceWindow.h"
#include "support/Process.h"

namespace keldara::test {
namespace {

const QByteArray OrdersCsv =
    "id,when,name,price\n1,2024-01-15,Anna,1.5\n2,,Bert,\n3,2024-03-01,,2.25\n";

// A workbook whose first date and time cells are empty (a refined type looks past them), and
// sheets named "database" in some case, which are not listed.
const char* const DatesWorkbook = R"(
import sys, xlwt, datetime
wb = xlwt.Workbook()
d = xlwt.easyxf(num_format_str='YYYY-MM-DD')
t = xlwt.easyxf(num_format_str='HH:MM:SS')
s = wb.add_sheet('Dates')
for c, h in enumerate(['When', 'AtTime', 'Num']): s.write(0, c, h)
s.write(1, 0, None, d); s.write(1, 1, None, t); s.write(1, 2, 1.5)
s.write(2, 0, datetime.date(2024, 1, 15), d); s.write(2, 1, datetime.time(8, 15), t)
s.write(3, 0, datetime.date(2024, 2, 1), d); s.write(3, 1, datetime.time(12, 30, 45), t)
for name in ['Database', 'old database', 'My Databases']: wb.add_sheet(name).write(0, 0, 'x')
wb.save(sys.argv[1])
)";

class SourcePanelTest : public SourceWindow {
  protected:
    QString writeWorkbook(const QString& name, const QString& script) {
        const QString path = folder.filePath(name);
        const ProcessResult r = runProcess("/usr/bin/python3", {"-c", script, path});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return path;
    }
};

// One file of each kind: its tables are listed, a file of one table loads at once, others wait
// for a choice, and the chosen table's fields ("name:type"), their type codes and its records
// reach the window.
TEST_F(SourcePanelTest, EachKindListsItsTablesAndLoadsTheChosenOne) {
    const auto expectKind = [&](const QString& path, const QStringList& tables,
                                const QString& fieldList, const QList<int>& codes, int records) {
        SCOPED_TRACE(path.toStdString());
        if (button("cmdSourceClose")->isEnabled()) button("cmdSourceClose")->click();
        open("  " + path + "   ");  // blanks around the path do not count
        expectNoMessage();
        expectOpen(true);
        EXPECT_EQ(items("cboSourceTable"), tables);
        if (tables.size() > 1) {
            EXPECT_EQ(combo("cboSourceTable")->currentText(), "{Select Table}");
            EXPECT_EQ(mappingRows(), 1);
            emit combo("cboSourceTable")->activated(-1);  // the prompt loads nothing
            EXPECT_FALSE(ws().state.bSourceLoaded);
            choose("cboSourceTable", tables.first());
        }
        ASSERT_TRUE(ws().state.bSourceLoaded);
        EXPECT_TRUE(control("grdSourceData")->isEnabled());
        EXPECT_EQ(combo("cboSourceTable")->currentText(), tables.first());
        EXPECT_EQ(window->source()->adoSourceData()->recordSource,
                  "SELECT * FROM [" + tables.first() + "]");
        EXPECT_EQ(label("grdSourceData_caption"), source::SourceGridCaption(path));
        EXPECT_EQ(shownRecords(), records);
        EXPECT_EQ(label("lblSourceInfoData_0"), QString::number(records));
        const QStringList fields = fieldList.split('|');
        EXPECT_EQ(label("lblSourceInfoData_1"), QString::number(fields.size()));
        QStringList shown;
        for (int row = 0; row < fields.size(); ++row)
            shown << column(0)[row] + ':' + column(1)[row];
        EXPECT_EQ(shown, fields);
        EXPECT_EQ(column(2) + column(3), QStringList(2 * fields.size(), ""));
        EXPECT_EQ(ws().state.gSourceFieldNames, QStringList{""} + column(0));
        EXPECT_EQ(ws().state.gSourceFieldTypes, QList<int>{0} + codes);
        EXPECT_EQ(ws().PB->maximumValue(), fields.size());
        EXPECT_EQ(ws().PB->currentValue(), fields.size());
    };
    expectKind(writeFile("orders.csv", OrdersCsv), {"orders.csv"},
               "id:Integer|when:Date|name:Text|price:Double", {3, 122, 202, 5}, 3);
    expectKind(fixturePath("dbf/olemb__dbfread/people.dbf"), {"people.dbf"},
               "NAME:Char|BIRTHDATE:DB Date", {129, 133}, 2);
    expectKind(writeWorkbook("dates.xls", DatesWorkbook), {"Dates$", "'old database$'"},
               "When:Date|AtTime:Time|Num:Double", {122, 123, 5}, 3);
    expectKind(fixturePath("mdb/jahlborn__jackcess/testV1997.mdb"),
               {"Table1", "Table2", "Table3", "Table4"},
               "A:Text|B:Text|C:Byte|D:Small Integer|E:Integer|F:Double|G:Date|H:Currency|I:Yes/No",
               {202, 202, 17, 2, 3, 5, 122, 6, 11}, 2);
    // Another table of the open database replaces the first completely, even an empty one.
    choose("cboSourceTable", "Table3");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "0");
    EXPECT_EQ(column(0), (QStringList{"a", "b"}));
    EXPECT_EQ(shownRecords(), 0);
    EXPECT_EQ(column(4), (QStringList{"", ""}));
    for (int press = 0; press < 2; ++press) {
        EXPECT_EQ(label("lblSample"), "Current Record:0 of 0");
        EXPECT_FALSE(prevEnabled() || nextEnabled());
        next();
    }
    expectNoMessage();
}

TEST_F(SourcePanelTest, OpenFailsSilentlyOnMissingOrUnsupportedFiles) {
    for (const QString& path :
         {folder.filePath("missing.mdb"), folder.filePath("no such folder/orders.csv"),
          writeFile("book.xlsx", "PK\x03\x04 not a workbook this reader knows"),
          writeFile("notes.mdb", "plain text, not a database"),
          fixturePath("xls/okfn__messytables/encrypted_no_password.xls")}) {
        SCOPED_TRACE(path.toStdString());
        open(path);
        expectNoMessage();
        expectOpen(false);
        EXPECT_FALSE(ws().state.bSourceLoaded);
        EXPECT_EQ(mappingRows(), 1);
    }
}

// A text file is only read when its table loads: gone, or broken under the open source, it
// fails there with the message; repaired, the same table loads again.
TEST_F(SourcePanelTest, AFailingLoadShowsItsLineAndLeavesTheSourceNotLoaded) {
    open(folder.filePath("gone.csv"));
    expectOpen(true);
    EXPECT_EQ(items("cboSourceTable"), QStringList{"gone.csv"});
    expectLoadError("gone.csv");

    doubles.messages.shown.clear();
    writeFile("gone.csv", OrdersCsv);
    choose("cboSourceTable", "gone.csv");
    ASSERT_TRUE(ws().state.bSourceLoaded);
    writeFile("gone.csv", OrdersCsv + "4,2024-04-01,Cleo,3,surplus\n");
    choose("cboSourceTable", "gone.csv");
    expectLoadError();
    EXPECT_EQ(mappingRows() + shownRecords(), 1);

    writeFile("gone.csv", OrdersCsv);
    choose("cboSourceTable", "gone.csv");
    EXPECT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(ws().state.bSourceLoaded);
}

// Blank, the password is not sent; padded, it goes out with its blanks.
TEST_F(SourcePanelTest, TheDatabasePasswordIsSentOnlyWhenOneIsTyped) {
    const QString locked = fixturePath("mdb/andipaetzold__mdb-reader/V2000_with-password.mdb");
    for (const QString wrong : {"wrong", "   ", " password "}) {
        open(locked, wrong);
        expectOpen(false);
    }
    EXPECT_EQ(window->source()->sourcePasswordClause(),
              "Persist Security Info=False;Jet OLEDB:Database Password={ password }");
    open(locked, "password");
    expectOpen(true);
    EXPECT_EQ(items("cboSourceTable"), QStringList{"Table1"});
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(window->source()->adoSourceData()->connectionString,
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + locked +
                  ";Persist Security Info=False;Jet OLEDB:Database Password=password");
    expectNoMessage();
}

TEST_F(SourcePanelTest, BrowsingAsksForAnExistingFileAndCancelKeepsThePath) {
    textBox("txtSourceFileName")->setText("/earlier/choice.mdb");
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/earlier/choice.mdb");
    doubles.files.queueAnswer(QStringLiteral("/data/shop.mdb"));
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/data/shop.mdb");
    expectOpen(false);  // browsing opens nothing
    ASSERT_EQ(doubles.files.calls.size(), 2);
    const auto& call = doubles.files.calls.last();
    EXPECT_EQ(call.kind, "open");
    EXPECT_EQ(call.request.title, "Select your Target File");
    EXPECT_EQ(call.request.initialFolder, QCoreApplication::applicationDirPath());
}

TEST_F(SourcePanelTest, CloseReturnsToTheClosedStateAndTheFileCanBeReopened) {
    const QString path = writeFile("orders.csv", OrdersCsv);
    open(path, "kept");
    ASSERT_TRUE(ws().state.bSourceLoaded);
    button("cmdSourceClose")->click();
    expectOpen(false);
    EXPECT_FALSE(control("grdSourceData")->isEnabled());
    EXPECT_EQ(shownRecords() + mappingGrid()->rowCount(), 0);
    EXPECT_FALSE(ws().state.bSourceLoaded);
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    EXPECT_EQ(QStringList({textBox("txtSourceFileName")->text(),
                           textBox("txtSourceFilePassword")->text(), label("lblSourceInfoData_0")}),
              QStringList({path, "kept", "3"}));  // kept until the next load
    button("cmdSourceConnect")->click();
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(mappingRows(), 5);

    // Closing twice, or with nothing open, completes as well; so does closing the window.
    button("cmdSourceClose")->click();
    window->source()->CloseSource();
    expectOpen(false);
    open(path);
    ASSERT_NE(ws().state.gSourceConnection, nullptr);
    window->close();
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    EXPECT_FALSE(ws().state.bSourceLoaded);
}

}  // namespace
}  // namespace keldara::test
