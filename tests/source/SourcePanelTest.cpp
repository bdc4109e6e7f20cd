#include <QCoreApplication>

#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "source/SourceFiles.h"
#include "source/SourceWindow.h"
#include "support/Process.h"

namespace keldara::test {
namespace {

const QByteArray OrdersCsv =
    "id,when,name,price\n"
    "1,2024-01-15,Anna,1.5\n"
    "2,,Bert,\n"
    "3,2024-03-01,,2.25\n";

// A workbook whose first date and time cells are empty: a refined type looks past them.
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
wb.save(sys.argv[1])
)";

class SourcePanelTest : public SourceWindow {
  protected:
    // Writes a workbook with /usr/bin/python3 and xlwt; the script gets the path as argv[1].
    QString writeWorkbook(const QString& name, const QString& script) {
        const QString path = folder.filePath(name);
        const ProcessResult r = runProcess("/usr/bin/python3", {"-c", script, path});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return path;
    }
};

// One file of each kind: its tables are listed (no sheet named "database" in that case), a file
// of one table loads at once, others wait for a choice, and the chosen table's fields
// ("name:type"), their type codes and its records reach the window.
TEST_F(SourcePanelTest, EachKindListsItsTablesAndLoadsTheChosenOne) {
    const auto expectKind = [&](const QString& path, const QStringList& tables,
                                const QString& fieldList, const QList<int>& codes, int records) {
        SCOPED_TRACE(path.toStdString());
        if (button("cmdSourceClose")->isEnabled()) button("cmdSourceClose")->click();
        open("  " + path + "   ");  // blanks around the path do not count
        expectNoMessage();
        expectOpen(true);
        EXPECT_EQ(tableList(), tables);
        if (tables.size() > 1) {
            EXPECT_EQ(combo("cboSourceTable")->currentText(), "{Select Table}");
            EXPECT_EQ(mappingRows(), 1);
            emit combo("cboSourceTable")->activated(-1);  // the prompt loads nothing
            EXPECT_FALSE(ws().state.bSourceLoaded);
            choose(tables.first());
        }
        ASSERT_TRUE(ws().state.bSourceLoaded);
        EXPECT_TRUE(control("grdSourceData")->isEnabled());
        EXPECT_EQ(combo("cboSourceTable")->currentText(), tables.first());
        EXPECT_EQ(window->source()->adoSourceData()->recordSource,
                  "SELECT * FROM [" + tables.first() + "]");
        EXPECT_EQ(caption(), source::SourceGridCaption(path));
        EXPECT_EQ(window->source()->adoSourceData()->connectionString,
                  source::SourceConnectionString(path, {}));
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
    expectKind(writeWorkbook("dates.xls", DatesWorkbook), {"Dates$"},
               "When:Date|AtTime:Time|Num:Double", {122, 123, 5}, 3);
    expectKind(writeWorkbook("book.xls", R"(
import sys, xlwt
wb = xlwt.Workbook()
for name in ['Data', 'Database', 'old database', 'My Databases']: wb.add_sheet(name).write(0, 0, 'x')
wb.save(sys.argv[1])
)"),
               {"Data$", "'old database$'"}, "x:Text", {202}, 0);
    expectKind(fixturePath("mdb/jahlborn__jackcess/testV1997.mdb"),
               {"Table1", "Table2", "Table3", "Table4"},
               "A:Text|B:Text|C:Byte|D:Small Integer|E:Integer|F:Double|G:Date|H:Currency|I:Yes/No",
               {202, 202, 17, 2, 3, 5, 122, 6, 11}, 2);
    // Another table of the open database replaces the first completely, even an empty one.
    choose("Table3");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "0");
    EXPECT_EQ(column(0), (QStringList{"a", "b"}));
    EXPECT_EQ(shownRecords(), 0);
    EXPECT_EQ(column(4), (QStringList{"", ""}));
    for (int press = 0; press < 2; ++press) {
        EXPECT_EQ(label("lblSample"), "Current Record:0 of 0");
        EXPECT_FALSE(prevEnabled());
        EXPECT_FALSE(nextEnabled());
        next();
    }
    expectNoMessage();
}

TEST_F(SourcePanelTest, OpenFailsSilentlyOnMissingOrUnsupportedFiles) {
    const QStringList paths{
        folder.filePath("missing.mdb"),
        folder.filePath("missing.xls"),
        folder.filePath("no such folder/orders.csv"),
        folder.filePath("no such folder/people.dbf"),
        writeFile("book.xlsx", "PK\x03\x04 not a workbook this reader knows"),
        writeFile("shop.accdb", QByteArray(4096, '\0')),
        writeFile("notes.mdb", "plain text, not a database"),
        writeFile("sheet.xls", "plain text, not a workbook"),
        fixturePath("xls/okfn__messytables/encrypted_no_password.xls"),
    };
    for (const QString& path : paths) {
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
    EXPECT_EQ(tableList(), QStringList{"gone.csv"});
    expectLoadError("gone.csv");

    doubles.messages.shown.clear();
    writeFile("gone.csv", OrdersCsv);
    choose("gone.csv");
    ASSERT_TRUE(ws().state.bSourceLoaded);
    writeFile("gone.csv", OrdersCsv + "4,2024-04-01,Cleo,3,surplus\n");
    choose("gone.csv");
    expectLoadError();
    EXPECT_EQ(mappingRows(), 1);
    EXPECT_EQ(shownRecords(), 0);

    writeFile("gone.csv", OrdersCsv);
    choose("gone.csv");
    EXPECT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(ws().state.bSourceLoaded);
}

TEST_F(SourcePanelTest, TheDatabasePasswordIsSentOnlyWhenOneIsTyped) {
    const QString locked = fixturePath("mdb/andipaetzold__mdb-reader/V2000_with-password.mdb");
    for (const QString wrong : {"wrong", "   ", " password "}) {
        open(locked, wrong);  // padded, the password goes out with its blanks
        expectOpen(false);
    }
    EXPECT_EQ(window->source()->sourcePasswordClause(),
              "Persist Security Info=False;Jet OLEDB:Database Password={ password }");
    open(locked, "password");
    expectOpen(true);
    EXPECT_EQ(tableList(), QStringList{"Table1"});
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(window->source()->adoSourceData()->connectionString,
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + locked +
                  ";Persist Security Info=False;Jet OLEDB:Database Password=password");
    expectNoMessage();

    // A workbook ignores the password box.
    button("cmdSourceClose")->click();
    open(writeWorkbook("dates.xls", DatesWorkbook), "anything");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_FALSE(window->source()->adoSourceData()->connectionString.contains("Password"));
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
    EXPECT_EQ(call.request.filter,
              "All Supported Databases (*.mdb;*.xls;*.csv;*.dbf;*.txt;*.csv)|*.mdb;*.xls;*.csv;"
              "*.dbf;*.txt;*.csv|Microsoft Access (*.mdb)|*.mdb|Microsoft Excel (*.xls)|*.xls|"
              "Comma Delimited (*.csv)|*.csv|Tab Delimited (*.txt)|*.txt|Dbase Files (*.dbf)|"
              "*.dbf|All Files (*.*)|*.*");
    EXPECT_EQ(call.request.filterIndex, 0);
    EXPECT_EQ(call.request.flags, 4096);
    const QRect frame = window->frameGeometry();
    EXPECT_NEAR(call.request.left, shell::toTwips(frame.x()), 1);
    EXPECT_NEAR(call.request.top, 2 * shell::toTwips(frame.y()), 2);
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
