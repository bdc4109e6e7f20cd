// "Migrate Whole Source..." in the real window against the test server: the ticked tables of the
// open file arrive under their names, an existing table is refused, and a run can be stopped or
// closed.
#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include "source/SourceFiles.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/window/ControlLayout.h"
#include "target/TargetWindowTest.h"
#include "transfer/ui/MigrationDialog.h"

namespace keldara::test {
namespace {

const QString Workbook = QStringLiteral("xls/tidyverse__readxl/datasets.xls");

class MigrationDialogTest : public TargetWindowTest {
  protected:
    void TearDown() override {
        delete dialog.data();
        for (const QString& database : made)
            connection_->execute("DROP DATABASE IF EXISTS `" + database + "`");
        TargetWindowTest::TearDown();
    }

    void openSource(const QString& path) {
        textBox("txtSourceFileName")->setText(path);
        clickButton("cmdSourceConnect");
    }
    void openDialog() {
        control<QAction>("mnuMigrate")->trigger();
        dialog = window->findChild<transfer::MigrationDialog*>();
        ASSERT_TRUE(dialog && dialog->isVisible());
    }
    template <typename T>
    T* part(const char* name) const {
        T* found = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTableWidget* tables() const { return part<QTableWidget>("grdMigrateTables"); }
    QString status() const { return part<QLabel>("lblMigrateStatus")->text(); }
    QString report() const { return part<QPlainTextEdit>("txtMigrateReport")->toPlainText(); }
    // A database the dialog is to make, dropped after the test.
    QString newDatabase() {
        made << uniqueName("migrated");
        return made.last();
    }
    void startInto(const QString& database) {
        part<QComboBox>("cboMigrateDatabase")->setEditText(database);
        QTest::mouseClick(part<QPushButton>("cmdMigrate"), Qt::LeftButton);
    }
    void migrateInto(const QString& database) {
        startInto(database);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 120000));
    }
    std::vector<QString> rows(const QString& sql) {
        return rowsOf(*connection_->openRecordset(sql));
    }
    long long count(const QString& sql) {
        return connection_->openRecordset(sql)->valueAt(0, 0).standardText().toLongLong();
    }
    std::vector<QString> tablesOf(const QString& database) {
        return rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" +
                    database + "' ORDER BY TABLE_NAME");
    }

    void expectRowsAsSource(const QString& file, const QString& table, const QString& target) {
        const auto source = source::OpenSourceConnection(file, {});
        EXPECT_EQ(rows("SELECT * FROM `" + target + "`"),
                  rowsOf(*source->openRecordset("SELECT * FROM [" + table + "]")))
            << target.toStdString();
    }

    QPointer<transfer::MigrationDialog> dialog;
    QStringList made;
    QTemporaryDir folder;
};

// The menu item waits for an open file; without a MySQL connection the dialog says so and
// cannot start. Every control shows whole at the dialog's first size.
TEST_F(MigrationDialogTest, WaitsForASourceFileAndAServer) {
    EXPECT_FALSE(control<QAction>("mnuMigrate")->isEnabled());
    openSource(dataPath(Workbook));
    ASSERT_TRUE(control<QAction>("mnuMigrate")->isEnabled());
    openDialog();
    expectEveryControlVisibleAndUncovered(dialog, "first size");
    EXPECT_FALSE(part<QPushButton>("cmdMigrate")->isEnabled());
    EXPECT_TRUE(status().startsWith("Connect to a MySQL server under Target Data first"))
        << status().toStdString();
    dialog->close();
    clickButton("cmdSourceClose");
    EXPECT_FALSE(control<QAction>("mnuMigrate")->isEnabled());
}

// Unticked, a sheet stays behind; renamed, it arrives under the new name; every row as the
// source has it. The report is shown and saved as text or as JSON.
TEST_F(MigrationDialogTest, MovesTheTickedTablesUnderTheirNames) {
    openSource(dataPath(Workbook));
    connectAsAdmin();
    openDialog();
    ASSERT_EQ(tables()->rowCount(), 3);
    QStringList sources;
    for (int row = 0; row < 3; ++row) sources << tables()->item(row, 0)->text();
    EXPECT_EQ(sources, ws().state.gSourceTables);
    tables()->item(1, 0)->setCheckState(Qt::Unchecked);
    tables()->item(0, 1)->setText("Motor Cars");
    const QString database = newDatabase();
    migrateInto(database);

    const QString kept = tables()->item(2, 1)->text();
    EXPECT_EQ(tablesOf(database), (std::vector<QString>{"Motor Cars", kept}));
    for (const auto& [sheet, table] :
         {std::pair{sources[0], QString("Motor Cars")}, std::pair{sources[2], kept}}) {
        expectRowsAsSource(dataPath(Workbook), sheet, database + "`.`" + table);
        const QString line = (sheet == table ? table : sheet + " -> " + table) + ": ";
        EXPECT_TRUE(report().contains(line)) << report().toStdString();
    }
    EXPECT_TRUE(status().startsWith("Every table was moved")) << status().toStdString();
    for (int row : {0, 2}) {
        auto* bar = static_cast<QProgressBar*>(tables()->cellWidget(row, 2));
        EXPECT_EQ(bar->value(), bar->maximum());
    }
    if (const QString shot = qEnvironmentVariable("KELDARA_DIALOG_SCREENSHOT"); !shot.isEmpty())
        dialog->grab().save(shot);

    doubles.files.queueAnswer(folder.filePath("report.txt"));
    QTest::mouseClick(part<QPushButton>("cmdMigrateSaveReport"), Qt::LeftButton);
    QFile text(folder.filePath("report.txt"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(text.readAll()), report());
    doubles.files.queueAnswer(folder.filePath("report.json"));
    QTest::mouseClick(part<QPushButton>("cmdMigrateSaveReport"), Qt::LeftButton);
    QFile json(folder.filePath("report.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(json.readAll()).object();
    EXPECT_EQ(saved.value("database").toString(), database);
    EXPECT_EQ(saved.value("tables").toArray().size(), 2);
}

// A whole Access database arrives with its relationships as foreign keys, every row as the
// source has it.
TEST_F(MigrationDialogTest, MovesAnAccessDatabaseWithItsRelationships) {
    const QString northwind = fixturePath("mdb/statdata__Northwind-Databse/Northwind.mdb");
    KELDARA_SKIP_WITHOUT_FIXTURE(northwind);
    openSource(northwind);
    connectAsAdmin();
    openDialog();
    const QString database = newDatabase();
    migrateInto(database);
    EXPECT_TRUE(status().startsWith("Every table was moved")) << status().toStdString();
    for (int row = 0; row < tables()->rowCount(); ++row) {
        expectRowsAsSource(northwind, tables()->item(row, 0)->text(),
                           database + "`.`" + tables()->item(row, 1)->text());
    }
    const long long keys = count(
        "SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS "
        "WHERE CONSTRAINT_SCHEMA = '" +
        database + "'");
    EXPECT_GT(keys, 0);
    EXPECT_TRUE(report().contains(QStringLiteral("\n%1 relationships made\n").arg(keys)))
        << report().toStdString();
}

// With "Stop before anything is written", a table of the name in the database refuses the
// whole run: it is named, and nothing is written. So does a server that refuses to make the
// database.
TEST_F(MigrationDialogTest, AnExistingTableOrARefusedDatabaseStopsTheRun) {
    openSource(dataPath(Workbook));
    connectAsAdmin();
    openDialog();
    const QString existing = tables()->item(1, 1)->text();
    const QString database = createDatabase(
        uniqueName("existing"),
        {"CREATE TABLE `" + existing + "` (n INT)", "INSERT INTO `" + existing + "` VALUES (7)"});
    migrateInto(database);
    EXPECT_TRUE(status().contains(existing) && status().contains("nothing was changed"))
        << status().toStdString();
    EXPECT_EQ(tablesOf(database), std::vector<QString>{existing});
    EXPECT_EQ(count("SELECT SUM(n) * COUNT(*) FROM `" + database + "`.`" + existing + "`"), 7);
    EXPECT_TRUE(report().isEmpty());

    dialog->close();
    clickButton("cmdTargetClose");
    typeServer(createUser({database}, "secret"), "secret", server.port);
    clickButton("cmdTargetConnect");
    openDialog();
    const QString refused = newDatabase();
    migrateInto(refused);
    EXPECT_TRUE(status().startsWith("The migration into \"" + refused + "\" failed: Access denied"))
        << status().toStdString();
    EXPECT_TRUE(tablesOf(refused).empty());
}

// "Stop" ends a run after the batches being sent, and the report says so; closing the dialog
// while a run goes on asks first, and a yes stops the run and waits for its end.
TEST_F(MigrationDialogTest, AStoppedOrClosedRunEndsAtOnce) {
    QByteArray csv = "id,name,amount\n";
    for (int row = 1; row <= 400000; ++row)
        csv += QByteArray::number(row) + ",name " + QByteArray::number(row % 977) + "," +
               QByteArray::number(row * 0.25) + "\n";
    openSource(writeFile(folder.filePath("large.csv"), csv));
    connectAsAdmin();
    openDialog();
    auto* bar = static_cast<QProgressBar*>(tables()->cellWidget(0, 2));
    const QString database = newDatabase();
    startInto(database);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() > 0; }, 60000));
    QTest::mouseClick(part<QPushButton>("cmdMigrateStop"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));
    EXPECT_TRUE(report().contains("stopped before every table was moved"))
        << report().toStdString();
    EXPECT_EQ(bar->format(), "stopped");
    const QString table = tables()->item(0, 1)->text();
    EXPECT_LT(count("SELECT COUNT(*) FROM `" + database + "`.`" + table + "`"), 400000);

    part<QComboBox>("cboMigrateIfExists")->setCurrentIndex(2);  // made again
    startInto(database);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() > 0; }, 60000));
    doubles.messages.queueAnswer(platform::MessageAnswer::No);
    dialog->close();
    EXPECT_TRUE(dialog->isVisible() && dialog->running());
    doubles.messages.queueAnswer(platform::MessageAnswer::Yes);
    dialog->close();
    EXPECT_TRUE(!dialog || (!dialog->isVisible() && !dialog->running()));
    ASSERT_EQ(doubles.messages.shown.size(), 2);
    EXPECT_EQ(doubles.messages.shown[0].text, "A migration is running. Stop it and close?");
}

}  // namespace
}  // namespace keldara::test
