// "Perform Action" and "New Table Definition" in the real window against the test server: the
// rows of a source file arrive in MySQL by script, insert and merge, and a failure or a stop
// keeps exactly the rows before it.
#include <QCheckBox>
#include <QMouseEvent>
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>

#include "mapping/ui/MappingPage.h"
#include "source/ui/SourcePanel.h"
#include "support/Damage.h"
#include "support/Files.h"
#include "support/TestServer.h"
#include "target/TargetWindowTest.h"
#include "transfer/CreateTableScript.h"
#include "transfer/TransferTestSupport.h"
#include "transfer/ui/ActionFooter.h"

namespace keldara::test {
namespace {

const QString Merge = QStringLiteral("Merge Target Data to Source Table");
const QString Insert = QStringLiteral("Insert Target Data to Source Table");
const QString Script = QStringLiteral("Create Source Table From Target Data");
const QString Bulk = QStringLiteral("Bulk Insert into Target Table");
const QString Upsert = QStringLiteral("Update or Insert into Target Table");
const QString BulkMerge = QStringLiteral("Bulk Merge into Target Table");
const QString BulkUpsert = QStringLiteral("Bulk Update or Insert into Target Table");
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
    void openSource(const QByteArray& csv, const QString& fileName = QStringLiteral("people.csv")) {
        if (button("cmdSourceClose")->isEnabled()) clickButton("cmdSourceClose");
        textBox("txtSourceFileName")->setText(writeFile(folder.filePath(fileName), csv));
        clickButton("cmdSourceConnect");
        ASSERT_TRUE(ws().state.bSourceLoaded);
    }
    void connectTo(const QStringList& statements) {
        database = createDatabase(uniqueName("transfer"), statements);
        connectAsAdmin();
        choose("cboTargetDatabase", database);
        reader = dao::openConnection(target::ConnectionString(
            server.host, server.user, server.password, database, server.port));
    }
    void loadTester(const QString& table = QStringLiteral("Tester")) { loadTable(database, table); }
    void loadTable(const QString& inDatabase, const QString& table) {
        choose("cboTargetDatabase", inDatabase);  // lists the tables anew
        choose("cboTargetTable", table);
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
    std::vector<QString> targetRows(const QString& table = QStringLiteral("`Tester`")) {
        return rowsOf(*reader->openRecordset("SELECT * FROM " + table));
    }
    QString lastMessage() const {
        return doubles.messages.shown.isEmpty() ? QString() : doubles.messages.shown.last().text;
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

// The script's table renamed as Northwind names one: insert and merge quote it, and the merge
// tells how many records found no row.
TEST_F(TransferWindowTest, ScriptInsertAndMergeBringEveryRowOver) {
    openSource(sourceCsv(12));
    connectTo({});
    control<QTabBar>("tsMySQL")->setCurrentIndex(1);
    clickButton("cmdNewTable");
    EXPECT_TRUE(result().contains("\nindex IKEY (`KEY`))\n")) << result().toStdString();
    ASSERT_EQ(runScript(), "0");
    EXPECT_EQ(targetRows(), sourceRows());

    reader->execute("DELETE FROM Tester");
    reader->execute("RENAME TABLE Tester TO `Order Details`");
    control<QTabBar>("tsMySQL")->setCurrentIndex(0);
    loadTester("Order Details");
    perform(Insert);
    EXPECT_EQ(statusText(), "Copied Record :12");
    EXPECT_EQ(targetRows("`Order Details`"), sourceRows());
    EXPECT_TRUE(doubles.messages.shown.isEmpty());

    openSource(sourceCsv(14, " changed"));
    loadTester("Order Details");
    perform(Merge, "KEY");
    EXPECT_EQ(statusText(), "Copied Record :14");
    EXPECT_EQ(lastMessage(),
              "2 of the 14 records sent matched no row of the target table by "
              "\"KEY\"; nothing was written for them.");
    EXPECT_EQ(targetRows("`Order Details`"), sourceRows(12));
    expectIdle();

    perform(Script);
    EXPECT_FALSE(result().contains("index ")) << result().toStdString();
}

// A run that cannot start writes nothing, one that fails halfway keeps the rows before the
// failure. Closing the source does not disable "Perform Action": pressing it says what is
// missing. Closing the target does: nothing can be written until a table is loaded.
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
    clickButton("cmdSourceClose");
    clickButton("cmdActionGo");
    EXPECT_EQ(statusText(), "ERROR MergeToTarget: No source table is loaded. Line: 100");
    clickButton("cmdTargetClose");
    EXPECT_FALSE(button("cmdActionGo")->isEnabled());
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
        // The second run is offered to resume after the first one's stop: it starts anew.
        if (byClosing) doubles.messages.queueAnswer(platform::MessageAnswer::No);
        clickButton("cmdActionGo");
        QObject::disconnect(hook);

        EXPECT_EQ(lastMessage().startsWith("Resume at record 5"), byClosing);
        EXPECT_TRUE(eventsRanDuringRun);
        EXPECT_TRUE(stopShownAndRoomsLocked);
        EXPECT_EQ(statusText(), "Stopped at Record :5");
        EXPECT_EQ(targetRows(), sourceRows(4));
        expectIdle();
        EXPECT_EQ(window->isVisible(), !byClosing);
    }
}

// Run again after a stop, the insert offers to resume where it stopped, and only when the
// same run is asked for again: the same source file and table, the same target database and
// table, action and match field. Another source table (loaded where the first one lay) or
// another database's table of the same name starts a run of its own. Taken up, every record
// arrives once.
TEST_F(TransferWindowTest, OnlyTheSameRunIsOfferedToResumeWhereItStopped) {
    const QByteArray other = "KEY,Name,Note\n101,Ann,a\n102,Bo,b\n103,Cy,c\n";
    const QString otherDatabase = createDatabase(uniqueName("other"), {KeyedTable});
    connectTo({KeyedTable});
    enum Change { Nothing, OtherSource, OtherDatabase };
    for (const Change change : {OtherSource, OtherDatabase, Nothing}) {
        SCOPED_TRACE(change);
        openSource(sourceCsv(12));
        loadTester();
        reader->execute("DELETE FROM Tester");
        QMetaObject::Connection hook =
            QObject::connect(ws().PB, &QProgressBar::valueChanged, window.get(), [&] {
                if (ws().PB->currentValue() == 4 && button("cmdActionGo")->text() == "Stop")
                    clickButton("cmdActionGo");
            });
        perform(Insert);
        QObject::disconnect(hook);
        const std::vector<QString> stoppedAt = sourceRows(4);
        ASSERT_EQ(targetRows(), stoppedAt);

        if (change == OtherSource) openSource(other, "other.csv");
        if (change == OtherDatabase) loadTable(otherDatabase, "Tester");
        if (change == Nothing) openSource(sourceCsv(12));  // the same file loaded again
        doubles.messages.shown.clear();
        perform(Insert);  // an offer would be answered Yes
        EXPECT_EQ(lastMessage() ==
                      "Resume at record 5? The run before stopped there. No starts "
                      "again at record 1.",
                  change == Nothing)
            << lastMessage().toStdString();
        // The source now loaded arrives whole, beside the rows of the stopped run when they
        // share the table.
        std::vector<QString> expected = sourceRows();
        if (change == OtherSource)
            expected.insert(expected.end(), stoppedAt.begin(), stoppedAt.end());
        std::vector<QString> written =
            targetRows(change == OtherDatabase ? "`" + otherDatabase + "`.`Tester`" : "`Tester`");
        std::sort(expected.begin(), expected.end());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, expected);
        EXPECT_EQ(statusText(), QStringLiteral("Copied Record :%1").arg(sourceRows().size()));
    }
}

// With "Empty the target table first", a merge would find no row to update: either merge is
// refused before the emptying is asked for, and the rows stay. An update or insert may empty
// the table first (see below).
TEST_F(TransferWindowTest, EmptyingFirstIsRefusedForEitherMerge) {
    openSource(sourceCsv(3));
    connectTo({KeyedTable, "INSERT INTO Tester VALUES (1, 'old', NULL), (2, 'old', NULL)"});
    loadTester();
    control<QCheckBox>("chkEmptyTarget")->setChecked(true);
    const std::vector<QString> before = targetRows();
    const QString refusal = QStringLiteral(
        "\"Empty the target table first\" cannot go with a merge: a merge only updates rows the "
        "table already holds, and an emptied table holds none. Untick it or choose another "
        "action; nothing was deleted.");
    for (const QString& action : {Merge, BulkMerge}) {
        SCOPED_TRACE(action.toStdString());
        doubles.messages.shown.clear();
        perform(action, "KEY");  // a question would be answered Yes
        ASSERT_EQ(doubles.messages.shown.size(), 1);
        EXPECT_EQ(lastMessage(), refusal);
        EXPECT_EQ(statusText(), "ERROR MergeToTarget: " + refusal + " Line: 100");
        EXPECT_EQ(targetRows(), before);
        expectIdle();
    }
}

// Pairings the server would refuse, or that leave a merge nothing to write, are refused with
// a message before any statement.
TEST_F(TransferWindowTest, AnUnsoundPairingIsRefusedBeforeAnyStatement) {
    openSource(sourceCsv(3));
    connectTo({KeyedTable});
    loadTester();
    window->mapping()->setTextMatrix(3, 2, "name");  // Note -> name, beside Name -> Name
    perform(Insert);
    EXPECT_TRUE(
        lastMessage().startsWith("Nothing was sent: The source fields \"Name\" and "
                                 "\"Note\" are both paired with the target field"))
        << lastMessage().toStdString();
    for (int row : {2, 3}) window->mapping()->setTextMatrix(row, 2, {});
    perform(Merge, "KEY");
    EXPECT_EQ(lastMessage(),
              "Nothing was sent: The match field \"KEY\" is the only paired "
              "field: a merge would have nothing to write.");
    EXPECT_TRUE(targetRows().empty());
}

// The second click of a double-click reaches the button while it reads "Stop"; the run goes
// on. The script saved from the window is the script as generated, byte for byte.
TEST_F(TransferWindowTest, ADoubleClickRunsToTheEndAndTheSavedScriptIsExact) {
    QByteArray csv = sourceCsv(12);
    csv.replace("n3",
                "n\xc2\xa0"
                "3");  // a non-breaking space, which a text box's copy loses
    openSource(csv);
    connectTo({KeyedTable});
    loadTester();
    choose("cboAction", Insert);
    QMetaObject::Connection hook =
        QObject::connect(ws().PB, &QProgressBar::valueChanged, window.get(), [&] {
            if (ws().PB->currentValue() != 4) return;
            const QPointF at = button("cmdActionGo")->rect().center();
            QMouseEvent second(QEvent::MouseButtonDblClick, at,
                               button("cmdActionGo")->mapToGlobal(at), Qt::LeftButton,
                               Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, at,
                                button("cmdActionGo")->mapToGlobal(at), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(button("cmdActionGo"), &second);
            QApplication::sendEvent(button("cmdActionGo"), &release);
        });
    QTest::mouseClick(button("cmdActionGo"), Qt::LeftButton);
    QObject::disconnect(hook);
    EXPECT_EQ(statusText(), "Copied Record :12");
    EXPECT_EQ(targetRows(), sourceRows());

    perform(Script);
    const QString saved = folder.filePath("tester");
    doubles.files.queueAnswer(saved);
    clickButton("cmdSaveScript");
    test::RecordingProgress progress;
    const QByteArray expected =
        transfer::CreateTableScript("Tester", *window->source()->adoSourceData()->recordset(),
                                    progress)
            .script.toUtf8();
    EXPECT_TRUE(
        expected.contains("n\xc2\xa0"
                          "3"));
    EXPECT_EQ(readAll(saved + ".sql"), expected);
}

// The target emptied first once the user confirms, the refused record skipped into the file
// the user chose, which the window then offers to open; an update or insert tells its counts.
TEST_F(TransferWindowTest, EmptyingSkippingAndUpdateOrInsertAskAndTell) {
    openSource(sourceCsv(8, {}, 5));  // record 5 repeats key 2
    connectTo({KeyedTable, "INSERT INTO Tester VALUES (20, 'old', NULL)"});
    loadTester();
    control<QCheckBox>("chkEmptyTarget")->setChecked(true);
    control<QCheckBox>("chkSkipRefused")->setChecked(true);
    const QString rejects = folder.filePath("refused.csv");
    for (const QString& action : {Bulk, BulkUpsert}) {
        SCOPED_TRACE(action.toStdString());
        reader->execute("DELETE FROM Tester");
        reader->execute("INSERT INTO Tester VALUES (20, 'old', NULL)");
        doubles.files.queueAnswer(rejects);
        doubles.messages.queueAnswer(platform::MessageAnswer::No);  // keep the rows
        perform(action, "KEY");
        EXPECT_EQ(lastMessage(),
                  "Delete all 1 rows of the target table \"Tester\" before the run?");
        EXPECT_EQ(targetRows(), std::vector<QString>{"20 | old | <NULL>"});

        doubles.files.queueAnswer(rejects);
        doubles.messages.queueAnswer(platform::MessageAnswer::Yes);
        doubles.messages.queueAnswer(platform::MessageAnswer::Yes);  // open the file
        perform(action, "KEY");
        if (action == BulkUpsert) {  // record 5 updates the row of record 2
            EXPECT_EQ(lastMessage(), "1 updated, 7 inserted.");
            EXPECT_EQ(targetRows().size(), 7u);
            break;
        }
        EXPECT_EQ(lastMessage(), QStringLiteral("7 records were written and 1 refused; the "
                                                "refused records are listed in \"%1\".\n\nOpen "
                                                "that file now?")
                                     .arg(rejects));
        EXPECT_EQ(doubles.processes.started.last(), "xdg-open " + rejects);
        std::vector<QString> expected = sourceRows();
        expected.erase(std::find(expected.begin(), expected.end(), "2 | O'Brien | n5"));
        EXPECT_EQ(targetRows(), expected);
    }
}

TEST_F(TransferWindowTest, UpdateOrInsertAndBulkMergeCountTheirRecords) {
    openSource(sourceCsv(6));
    connectTo({KeyedTable, "INSERT INTO Tester VALUES (1, 'old', NULL), (3, 'old', NULL)"});
    loadTester();
    perform(Upsert, "KEY");
    EXPECT_EQ(lastMessage(), "2 updated, 4 inserted.");
    EXPECT_EQ(targetRows(), sourceRows());

    openSource(sourceCsv(8, " changed"));
    loadTester();
    perform(BulkMerge, "KEY");
    EXPECT_EQ(statusText(), "Copied Record :8");
    EXPECT_EQ(lastMessage(),
              "2 of the 8 records sent matched no row of the target table by "
              "\"KEY\"; nothing was written for them.");
    EXPECT_EQ(targetRows(), sourceRows(6));
}

}  // namespace
}  // namespace keldara::test
