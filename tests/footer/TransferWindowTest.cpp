// "Perform Action" and "New Table Definition" in the real window against the test server: the
// rows of a source file arrive in MySQL by script, insert and merge, and a failure or a stop
// keeps exactly the rows before it.
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>

#include "source/ui/SourcePanel.h"
#include "support/Files.h"
#include "support/TestServer.h"
#include "target/TargetWindowTest.h"
#include "transfer/ui/ActionFooter.h"

namespace keldara::test {
namespace {

const QString Merge = QStringLiteral("Merge Target Data to Source Table");
const QString Insert = QStringLiteral("Insert Target Data to Source Table");
const QString Script = QStringLiteral("Create Source Table From Target Data");
const QString Bulk = QStringLiteral("Bulk Insert into Target Table");
const QString KeyedTable = QStringLiteral(
    "CREATE TABLE Tester (`KEY` INT PRIMARY KEY, Name VARCHAR(40), Note VARCHAR(40))");

// Names a statement could trip over; the empty one is read as Null.
const QStringList Names{"O'Brien", "ends in \\", "two\nlines", "Zoë Ångström", ""};

// `records` records "KEY,Name,Note"; record `repeatAt` repeats key 2.
QByteArray sourceCsv(int records, const QString& nameSuffix = {}, int repeatAt = 0) {
    QString text = QStringLiteral("KEY,Name,Note\n");
    for (int r = 1; r <= records; ++r) {
        QString name = Names[r % Names.size()];
        if (!name.isEmpty()) name = '"' + name + nameSuffix + '"';
        text += QStringLiteral("%1,%2,n%3\n")
                    .arg(QString::number(r == repeatAt ? 2 : r), name, QString::number(r));
    }
    return text.toUtf8();
}

class TransferWindowTest : public TargetWindowTest {
  protected:
    void openSource(const QByteArray& csv) {
        textBox("txtSourceFileName")->setText(writeFile(folder.filePath("people.csv"), csv));
        button("cmdSourceConnect")->click();
        ASSERT_TRUE(ws().state.bSourceLoaded);
    }
    void connectTo(const QStringList& statements) {
        database = createDatabase(uniqueName("transfer"), statements);
        connectAsAdmin();
        choose("cboTargetDatabase", database);
        reader = dao::openConnection(target::ConnectionString(
            server.host, server.user, server.password, database, server.port));
    }
    void loadTester() {
        choose("cboTargetDatabase", database);  // lists the tables anew
        choose("cboTargetTable", "Tester");
    }
    void perform(const QString& action, const QString& matchField = {}) {
        choose("cboAction", action);
        if (!matchField.isEmpty()) choose("cboTargetMatch", matchField);
        clickButton("cmdActionGo");
    }
    QString runScript() {
        return runThroughClient({server.host, server.port, server.user, server.password}, database,
                                result());
    }
    std::vector<QString> sourceRows(long count = -1) {
        return rowsOf(*window->source()->adoSourceData()->recordset(), count);
    }
    std::vector<QString> targetRows() {
        return rowsOf(*reader->openRecordset("SELECT * FROM Tester"));
    }
    QString result() { return control<QTextEdit>("txtResult")->toPlainText(); }
    void expectIdle() {
        EXPECT_EQ(button("cmdActionGo")->text(), "Perform Action");
        EXPECT_TRUE(control<QTabWidget>("tabTabs")->isEnabled());
    }

    QTemporaryDir folder;
    QString database;
    std::unique_ptr<dao::Connection> reader;
};

TEST_F(TransferWindowTest, ScriptInsertAndMergeBringEveryRowOver) {
    openSource(sourceCsv(12));
    connectTo({});
    control<QTabBar>("tsMySQL")->setCurrentIndex(1);
    clickButton("cmdNewTable");
    EXPECT_TRUE(result().contains("\nindex IKEY (`KEY`))\n")) << result().toStdString();
    ASSERT_EQ(runScript(), "0");
    EXPECT_EQ(targetRows(), sourceRows());

    reader->execute("DELETE FROM Tester");
    control<QTabBar>("tsMySQL")->setCurrentIndex(0);
    loadTester();
    perform(Insert);
    EXPECT_EQ(statusText(), "Copied Record :12");
    EXPECT_EQ(targetRows(), sourceRows());

    openSource(sourceCsv(12, " changed"));
    loadTester();
    perform(Merge, "KEY");
    EXPECT_EQ(statusText(), "Copied Record :12");
    EXPECT_EQ(targetRows(), sourceRows());
    expectIdle();

    perform(Script);
    EXPECT_FALSE(result().contains("index ")) << result().toStdString();
}

// A run that cannot start writes nothing, one that fails halfway keeps the rows before the
// failure. Closing a side does not disable "Perform Action"; pressing it says what is missing.
TEST_F(TransferWindowTest, AFailedRunKeepsExactlyTheRowsBeforeIt) {
    openSource(sourceCsv(8, {}, 5));
    connectTo({KeyedTable});
    loadTester();
    perform(Merge);  // the empty match field
    EXPECT_TRUE(statusText().startsWith("ERROR MergeToTarget: ")) << statusText().toStdString();
    EXPECT_TRUE(targetRows().empty());
    const std::vector<QString> kept = sourceRows(4);
    for (const QString& action : {Insert, Bulk}) {
        reader->execute("DELETE FROM Tester");
        perform(action);
        EXPECT_TRUE(statusText().startsWith("ERROR MergeToTarget: Duplicate entry '2'") &&
                    statusText().endsWith(" Line: 160"))
            << statusText().toStdString();
        EXPECT_EQ(targetRows(), kept);
        expectIdle();
    }
    clickButton("cmdTargetClose");
    clickButton("cmdActionGo");
    EXPECT_EQ(statusText(), "ERROR MergeToTarget: No MySQL connection is open. Line: 100");
    clickButton("cmdSourceClose");
    clickButton("cmdActionGo");
    EXPECT_EQ(statusText(), "ERROR MergeToTarget: No source table is loaded. Line: 100");
    EXPECT_EQ(targetRows(), kept);
}

// Pressing Stop, or closing the window, while record 4 is sent.
TEST_F(TransferWindowTest, AStopHalfwayKeepsExactlyTheRowsBeforeIt) {
    openSource(sourceCsv(12));
    connectTo({KeyedTable});
    loadTester();
    choose("cboAction", Insert);
    for (bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing ? "closing the window" : "pressing Stop");
        reader->execute("DELETE FROM Tester");
        bool eventsRanDuringRun = false;
        QTimer::singleShot(0, window.get(),
                           [&] { eventsRanDuringRun = window->footer()->running(); });
        bool stopShownAndRoomsLocked = false;
        QMetaObject::Connection hook =
            QObject::connect(ws().PB, &QProgressBar::valueChanged, window.get(), [&] {
                if (ws().PB->currentValue() != 4 || stopShownAndRoomsLocked) return;
                stopShownAndRoomsLocked = button("cmdActionGo")->text() == "Stop" &&
                                          !control<QTabWidget>("tabTabs")->isEnabled();
                if (byClosing) {
                    EXPECT_FALSE(window->close());
                } else {
                    clickButton("cmdActionGo");
                }
            });
        clickButton("cmdActionGo");
        QObject::disconnect(hook);

        EXPECT_TRUE(eventsRanDuringRun);
        EXPECT_TRUE(stopShownAndRoomsLocked);
        EXPECT_EQ(statusText(), "Stopped at Record :5");
        EXPECT_EQ(targetRows(), sourceRows(4));
        expectIdle();
        EXPECT_EQ(window->isVisible(), !byClosing);
    }
}

}  // namespace
}  // namespace keldara::test
