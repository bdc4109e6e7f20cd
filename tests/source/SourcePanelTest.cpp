#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>

#include "platform/dao/Value.h"
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

// Writes a workbook with /usr/bin/python3 and xlwt; the script gets the path as argv[1].
QString writeWorkbook(const QString& path, const QString& script) {
    const ProcessResult r =
        runProcess(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return path;
}

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

class SourcePanelTest : public SourceWindow {};

TEST_F(SourcePanelTest, ATextFileIsListedByItsOwnNameAndLoadedAtOnce) {
    const QString path = writeFile("orders.csv", OrdersCsv);
    open(path);

    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    expectOpenControls();
    EXPECT_EQ(tableList(), QStringList{"orders.csv"});
    EXPECT_EQ(combo("cboSourceTable")->currentText(), "orders.csv");
    EXPECT_EQ(window->source()->adoSourceData()->recordSource, "SELECT * FROM [orders.csv]");
    EXPECT_TRUE(ws().state.bSourceLoaded);

    EXPECT_EQ(shownRecords(), 3);
    EXPECT_TRUE(control<QTableView>("grdSourceData")->isEnabled());
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(label("lblSourceInfoData_1"), "4");
    EXPECT_EQ(caption(), path);

    EXPECT_EQ(mappingRows(), 5);
    EXPECT_EQ(column(0), (QStringList{"id", "when", "name", "price"}));
    EXPECT_EQ(column(1), (QStringList{"Integer", "Date", "Text", "Double"}));
    EXPECT_EQ(column(2), (QStringList{"", "", "", ""}));
    EXPECT_EQ(column(3), (QStringList{"", "", "", ""}));
    EXPECT_EQ(ws().state.gSourceFieldNames, (QStringList{"", "id", "when", "name", "price"}));
    EXPECT_EQ(ws().state.gSourceFieldTypes, (QList<int>{0, 3, 122, 202, 5}));
    EXPECT_EQ(ws().PB->maximumValue(), 4);
    EXPECT_EQ(ws().PB->currentValue(), 4);
}

TEST_F(SourcePanelTest, ADbaseTableIsLoadedAtOnce) {
    open(fixturePath("dbf/olemb__dbfread/people.dbf"));
    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(tableList(), QStringList{"people.dbf"});
    EXPECT_EQ(window->source()->adoSourceData()->recordSource, "SELECT * FROM [people.dbf]");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "2");
    EXPECT_EQ(column(0), (QStringList{"NAME", "BIRTHDATE"}));
    EXPECT_EQ(column(1), (QStringList{"Char", "DB Date"}));
}

TEST_F(SourcePanelTest, AnAccessDatabaseListsItsTablesAndLoadsTheChosenOne) {
    KELDARA_SKIP_WITHOUT_FIXTURE(fixturePath("mdb/mdbtools__mdbtestdata/nwind.mdb"));
    open(fixturePath("mdb/mdbtools__mdbtestdata/nwind.mdb"));
    expectOpenControls();
    EXPECT_EQ(tableList(),
              (QStringList{"Categories", "Customers", "Employees", "Order Details", "Orders",
                           "Products", "Shippers", "Suppliers", QString::fromUtf8("Umsätze")}));
    EXPECT_EQ(combo("cboSourceTable")->currentText(), "{Select Table}");
    EXPECT_FALSE(ws().state.bSourceLoaded);
    EXPECT_EQ(mappingRows(), 1);

    // A click while the list still shows its prompt loads nothing.
    emit combo("cboSourceTable")->activated(-1);
    EXPECT_FALSE(ws().state.bSourceLoaded);

    choose("Shippers");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(shownRecords(), 3);
    EXPECT_EQ(column(0), (QStringList{"ShipperID", "CompanyName", "Phone"}));
    EXPECT_EQ(column(1), (QStringList{"Integer", "Text", "Text"}));

    // Another table replaces the first completely.
    choose("Order Details");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "2155");
    EXPECT_EQ(column(0),
              (QStringList{"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
    EXPECT_EQ(column(1),
              (QStringList{"Integer", "Integer", "Currency", "Small Integer", "Single"}));
    EXPECT_EQ(shownRecords(), 2155);
    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
}

TEST_F(SourcePanelTest, AOneSheetWorkbookLoadsAtOnceWithItsDateFieldsRefined) {
    open(writeWorkbook(folder.filePath("dates.xls"), DatesWorkbook));
    ASSERT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(tableList(), QStringList{"Dates$"});
    ASSERT_TRUE(ws().state.bSourceLoaded);
    // Nulls before the first value are skipped; a time of day only is told from a date.
    EXPECT_EQ(column(0), (QStringList{"When", "AtTime", "Num"}));
    EXPECT_EQ(column(1), (QStringList{"Date", "Time", "Double"}));
    EXPECT_EQ(ws().state.gSourceFieldTypes, (QList<int>{0, 122, 123, 5}));
    // The first record is shown again after the scan.
    EXPECT_EQ(label("lblSample"), "Current Record:1 of 3");
    EXPECT_EQ(column(4), (QStringList{"", "", dao::Value::floating(1.5).displayText()}));
}

TEST_F(SourcePanelTest, WorkbookSheetsNamedWithDatabaseInThatCaseAreNotOffered) {
    const QString path = writeWorkbook(folder.filePath("book.xls"), R"(
import sys, xlwt
wb = xlwt.Workbook()
for name in ['Data', 'Database', 'old database', 'My Databases']: wb.add_sheet(name).write(0, 0, 'x')
wb.save(sys.argv[1])
)");
    open(path);
    EXPECT_EQ(tableList(), (QStringList{"Data$", "'old database$'"}));
    EXPECT_EQ(combo("cboSourceTable")->currentText(), "{Select Table}");
    EXPECT_FALSE(ws().state.bSourceLoaded);
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
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        open(path);
        EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
        expectClosedControls();
        EXPECT_FALSE(ws().state.bSourceLoaded);
        EXPECT_EQ(mappingRows(), 1);
    }
}

TEST_F(SourcePanelTest, AMissingTextFileInAnExistingFolderFailsWhenItsTableIsLoaded) {
    open(folder.filePath("gone.csv"));
    expectOpenControls();
    EXPECT_EQ(tableList(), QStringList{"gone.csv"});
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    const auto& message = doubles.messages.shown.first();
    EXPECT_EQ(message.title, "Vostrel");
    EXPECT_EQ(message.buttons, platform::MessageButtons::Ok);
    EXPECT_TRUE(
        message.text.startsWith("An Error occured in [frmMain] (Sub) LoadDataSource : Line 180 - "))
        << message.text.toStdString();
    EXPECT_TRUE(message.text.contains("gone.csv")) << message.text.toStdString();
    EXPECT_FALSE(ws().state.bSourceLoaded);
}

TEST_F(SourcePanelTest, AFailingLoadShowsItsLineAndLeavesTheSourceNotLoaded) {
    const QString path = writeFile("orders.csv", OrdersCsv);
    open(path);
    ASSERT_TRUE(ws().state.bSourceLoaded);

    // The file changes under the open source: a record with more fields than the header.
    writeFile("orders.csv", OrdersCsv + "4,2024-04-01,Cleo,3,surplus\n");
    choose("orders.csv");
    ASSERT_EQ(doubles.messages.shown.size(), 1);
    const QString text = doubles.messages.shown.first().text;
    EXPECT_TRUE(text.startsWith("An Error occured in [frmMain] (Sub) LoadDataSource : Line 180 - "))
        << text.toStdString();
    EXPECT_FALSE(ws().state.bSourceLoaded);
    EXPECT_EQ(mappingRows(), 1);
    EXPECT_EQ(shownRecords(), 0);

    // Repaired, the same table loads again.
    writeFile("orders.csv", OrdersCsv);
    choose("orders.csv");
    EXPECT_EQ(doubles.messages.shown.size(), 1);
    EXPECT_TRUE(ws().state.bSourceLoaded);
}

TEST_F(SourcePanelTest, TheDatabasePasswordIsSentOnlyWhenOneIsTyped) {
    const QString locked = fixturePath("mdb/andipaetzold__mdb-reader/V2000_with-password.mdb");
    open(locked, "wrong");
    expectClosedControls();
    open(locked, "   ");
    expectClosedControls();
    open(locked, "password");
    expectOpenControls();
    EXPECT_EQ(tableList(), QStringList{"Table1"});
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(window->source()->adoSourceData()->connectionString,
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + locked +
                  ";Persist Security Info=False;Jet OLEDB:Database Password=password");
    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();

    // Padded, the password goes out with its blanks, and so is wrong.
    button("cmdSourceClose")->click();
    open(locked, " password ");
    EXPECT_EQ(window->source()->sourcePasswordClause(),
              "Persist Security Info=False;Jet OLEDB:Database Password={ password }");
    expectClosedControls();

    // A workbook ignores the password box.
    button("cmdSourceClose")->click();
    open(writeWorkbook(folder.filePath("dates.xls"), DatesWorkbook), "anything");
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_FALSE(window->source()->adoSourceData()->connectionString.contains("Password"));
}

TEST_F(SourcePanelTest, TheGridCaptionShowsFiftyCharactersAndShortensLongerPaths) {
    QDir dir(folder.path());
    const int room = 50 - static_cast<int>(folder.path().size()) - 1;
    ASSERT_GE(room, 6) << "temporary folder path too long for this test";
    const QString name50 = QString(room - 4, 'a') + ".csv";
    const QString path50 = writeFile(name50, OrdersCsv);
    ASSERT_EQ(path50.size(), 50);
    open(path50);
    EXPECT_EQ(caption(), path50);

    button("cmdSourceClose")->click();
    const QString path51 = writeFile("b" + name50, OrdersCsv);
    ASSERT_EQ(path51.size(), 51);
    open(path51);
    EXPECT_EQ(caption(), "..." + path51.right(50));
    EXPECT_EQ(control<QLabel>("grdSourceData_caption")->text(), "..." + path51.right(50));
}

TEST_F(SourcePanelTest, BlanksAroundThePathDoNotStopTheTableFromLoading) {
    const QString path = writeFile("orders.csv", OrdersCsv);
    open("  " + path + "   ");
    EXPECT_TRUE(doubles.messages.shown.isEmpty()) << messageTexts().join('\n').toStdString();
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "  " + path + "   ");
    EXPECT_EQ(caption(), path);
    EXPECT_EQ(window->source()->adoSourceData()->connectionString,
              source::SourceConnectionString(path, {}));
}

TEST_F(SourcePanelTest, BrowsingAsksForAnExistingFileAndCancelKeepsThePath) {
    textBox("txtSourceFileName")->setText("/earlier/choice.mdb");
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/earlier/choice.mdb");

    doubles.files.queueAnswer(QStringLiteral("/data/shop.mdb"));
    button("cmdSourceBrowse")->click();
    EXPECT_EQ(textBox("txtSourceFileName")->text(), "/data/shop.mdb");
    expectClosedControls();  // browsing opens nothing

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

    expectClosedControls();
    EXPECT_FALSE(control<QTableView>("grdSourceData")->isEnabled());
    EXPECT_EQ(shownRecords(), 0);
    EXPECT_EQ(mappingRows(), 1);
    EXPECT_FALSE(ws().state.bSourceLoaded);
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    // Kept until the next load.
    EXPECT_EQ(textBox("txtSourceFileName")->text(), path);
    EXPECT_EQ(textBox("txtSourceFilePassword")->text(), "kept");
    EXPECT_EQ(label("lblSourceInfoData_0"), "3");
    EXPECT_EQ(label("lblSample"), "Current Record:1 of 3");
    ASSERT_NE(window->source()->adoSourceData()->recordset(), nullptr);

    button("cmdSourceConnect")->click();
    EXPECT_TRUE(ws().state.bSourceLoaded);
    EXPECT_EQ(mappingRows(), 5);

    // Closing twice, or with nothing open, completes as well.
    button("cmdSourceClose")->click();
    window->source()->CloseSource();
    expectClosedControls();
}

TEST_F(SourcePanelTest, ClosingTheWindowClosesTheSource) {
    open(writeFile("orders.csv", OrdersCsv));
    ASSERT_NE(ws().state.gSourceConnection, nullptr);
    window->close();
    EXPECT_EQ(ws().state.gSourceConnection, nullptr);
    EXPECT_FALSE(ws().state.bSourceLoaded);
}

// Every sample file opens, and every one of its tables loads or says clearly why not.
TEST_F(SourcePanelTest, EveryFixtureFileCanBeOpenedAndEveryTableBrowsed) {
    QStringList unopened;
    QStringList failedLoads;
    int loaded = 0;
    QDirIterator it(fixturePath(""), {"*.mdb", "*.xls", "*.csv", "*.txt", "*.dbf"}, QDir::Files,
                    QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) files.append(it.next());
    files.sort();
    for (const QString& file : files) {
        const QString relative = QDir(fixturePath("")).relativeFilePath(file);
        SCOPED_TRACE(relative.toStdString());
        if (button("cmdSourceClose")->isEnabled()) button("cmdSourceClose")->click();
        doubles.messages.shown.clear();
        open(file);
        if (!button("cmdSourceClose")->isEnabled()) {
            unopened.append(relative);
            continue;
        }
        const QStringList tables = tableList();
        for (const QString& table : tables) {
            if (tables.size() > 1) choose(table);
            if (ws().state.bSourceLoaded) {
                ++loaded;
                const auto* records = window->source()->adoSourceData()->recordset();
                EXPECT_EQ(mappingRows(), records->fieldCount() + 1) << table.toStdString();
                EXPECT_EQ(label("lblSourceInfoData_0"), QString::number(records->recordCount()));
                EXPECT_EQ(shownRecords(), records->recordCount());
                EXPECT_EQ(column(1).count("Not Defined"), 0) << table.toStdString();
            } else {
                ASSERT_FALSE(doubles.messages.shown.isEmpty()) << table.toStdString();
                failedLoads.append(relative + ": " + doubles.messages.shown.last().text);
            }
        }
    }
    EXPECT_GT(loaded, 60);
    // No user tables, a password, encryption: these cannot be listed.
    EXPECT_EQ(unopened, (QStringList{"mdb/andipaetzold__mdb-reader/V2000_with-password.mdb",
                                     "mdb/spannm__ucanaccess/password.mdb",
                                     "xls/okfn__messytables/encrypted_no_password.xls"}));
    ASSERT_EQ(failedLoads.size(), 1) << failedLoads.join('\n').toStdString();
    EXPECT_TRUE(failedLoads.first().startsWith(
        "dbf/olemb__dbfread/no_memofile.dbf: An Error occured in [frmMain] (Sub) LoadDataSource "
        ": Line 180 - "))
        << failedLoads.first().toStdString();
}

}  // namespace
}  // namespace keldara::test
