#include "transfer/ui/MigrationDialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/ProcedureError.h"
#include "transfer/migration/MigrationRun.h"

namespace keldara::transfer {

using namespace migration;

namespace {

enum Column { SourceColumn, TargetColumn, ProgressColumn };

// How long a run retries a lost server before the table fails, as "Perform Action" does.
constexpr int RetrySeconds = 60;

// What becomes of a table that exists already, in the order of IfExists.
const QStringList IfExistsCaptions{
    QStringLiteral("Stop before anything is written"), QStringLiteral("Leave it as it is"),
    QStringLiteral("Drop it and make it again"), QStringLiteral("Add the rows to it")};

// How a table ended, in a word or two, for its progress bar.
QString outcomeText(const TableReport& table) {
    if (!table.error.isEmpty()) return QStringLiteral("failed");
    if (table.stopped) return QStringLiteral("stopped");
    if (table.skipped) return QStringLiteral("exists, left as it was");
    return QStringLiteral("%1 rows").arg(table.rowsWritten);
}

}  // namespace

// A run's progress, handed from the threads that load to the dialog's thread.
class MigrationDialog::RowProgress : public MigrationProgress {
  public:
    RowProgress(MigrationDialog& dialog, QHash<QString, int> rowOfTarget)
        : dialog_(dialog), rowOfTarget_(std::move(rowOfTarget)) {}

    void tableStarted(const QString& target, long rows) override {
        const int row = rowOfTarget_.value(target, -1);
        dialog_.post([&dialog = dialog_, row, rows] { dialog.showTableStarted(row, rows); });
    }
    void tableProgress(const QString& target, long rowsDone) override {
        const int row = rowOfTarget_.value(target, -1);
        dialog_.post(
            [&dialog = dialog_, row, rowsDone] { dialog.showTableProgress(row, rowsDone); });
    }
    void tableDone(const TableReport& table) override {
        const int row = rowOfTarget_.value(table.target, -1);
        dialog_.post([&dialog = dialog_, row, table] { dialog.showTableOutcome(row, table); });
    }
    bool stopRequested() override { return dialog_.stop_; }

  private:
    MigrationDialog& dialog_;
    const QHash<QString, int> rowOfTarget_;
};

MigrationDialog::MigrationDialog(MigrationSource source, MigrationServer server,
                                 platform::Platform platform, QWidget* parent)
    : QDialog(parent), source_(std::move(source)), server_(std::move(server)), platform_(platform) {
    setObjectName("frmMigrate");
    setWindowTitle(QStringLiteral("Migrate Whole Source"));
    buildControls();
    listTables();
    setRunning(false);
    if (server_.connectionString({}).isEmpty()) {
        say(
            QStringLiteral("Connect to a MySQL server under Target Data first: the tables are "
                           "moved into one of its databases."));
        cmdMigrate_->setEnabled(false);
    }
}

MigrationDialog::~MigrationDialog() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

void MigrationDialog::buildControls() {
    buildTableList();
    buildOptionBoxes();
    buildProgressAndReport();
    buildButtons();
    layOutControls();
    connectButtons();
}

void MigrationDialog::buildTableList() {
    // The file's name alone: a long path would widen the dialog.
    lblSource_ =
        new QLabel(QStringLiteral("Tables of %1").arg(QFileInfo(source_.path).fileName()), this);
    lblSource_->setObjectName("lblMigrateSource");
    lblSource_->setToolTip(source_.path);

    grdTables_ = new QTableWidget(0, 3, this);
    grdTables_->setObjectName("grdMigrateTables");
    grdTables_->setHorizontalHeaderLabels(
        {QStringLiteral("Source Table"), QStringLiteral("Target Table"), QStringLiteral("Rows")});
    grdTables_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grdTables_->verticalHeader()->hide();
    grdTables_->setSelectionMode(QAbstractItemView::NoSelection);
}

void MigrationDialog::buildOptionBoxes() {
    cboDatabase_ = new QComboBox(this);
    cboDatabase_->setObjectName("cboMigrateDatabase");
    cboDatabase_->setEditable(true);
    cboDatabase_->addItems(server_.databases);
    cboDatabase_->setEditText(
        server_.database.isEmpty() ? QFileInfo(source_.path).completeBaseName() : server_.database);
    cboDatabase_->setToolTip(QStringLiteral("A name the server does not list makes a database"));
    cboIfExists_ = new QComboBox(this);
    cboIfExists_->setObjectName("cboMigrateIfExists");
    cboIfExists_->addItems(IfExistsCaptions);
    spnJobs_ = new QSpinBox(this);
    spnJobs_->setObjectName("spnMigrateJobs");
    spnJobs_->setRange(1, 16);
    spnJobs_->setValue(2);
}

void MigrationDialog::buildProgressAndReport() {
    barOverall_ = new QProgressBar(this);
    barOverall_->setObjectName("barMigrateOverall");
    barOverall_->setFormat(QStringLiteral("%v of %m tables"));
    barOverall_->setValue(0);
    lblStatus_ = new QLabel(this);
    lblStatus_->setObjectName("lblMigrateStatus");
    lblStatus_->setWordWrap(true);
    txtReport_ = new QPlainTextEdit(this);
    txtReport_->setObjectName("txtMigrateReport");
    txtReport_->setReadOnly(true);
    txtReport_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtReport_->setPlaceholderText(QStringLiteral("The report of the run comes here."));
}

void MigrationDialog::buildButtons() {
    cmdMigrate_ = new QPushButton(QStringLiteral("Migrate"), this);
    cmdMigrate_->setObjectName("cmdMigrate");
    cmdStop_ = new QPushButton(QStringLiteral("Stop"), this);
    cmdStop_->setObjectName("cmdMigrateStop");
    cmdSaveReport_ = new QPushButton(QStringLiteral("Save Report..."), this);
    cmdSaveReport_->setObjectName("cmdMigrateSaveReport");
    cmdSaveReport_->setEnabled(false);
    cmdClose_ = new QPushButton(QStringLiteral("Close"), this);
    cmdClose_->setObjectName("cmdMigrateClose");
    for (QPushButton* button : {cmdMigrate_, cmdStop_, cmdSaveReport_, cmdClose_})
        button->setAutoDefault(false);
}

void MigrationDialog::layOutControls() {
    auto* options = new QGridLayout;
    const auto addOption = [&](int row, const char* name, const QString& caption, QWidget* box) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setBuddy(box);
        options->addWidget(label, row, 0);
        options->addWidget(box, row, 1);
    };
    addOption(0, "lblMigrateDatabase", QStringLiteral("&Target database"), cboDatabase_);
    addOption(1, "lblMigrateIfExists", QStringLiteral("A table that &exists already"),
              cboIfExists_);
    addOption(2, "lblMigrateJobs", QStringLiteral("Tables loaded at &once"), spnJobs_);
    addOption(3, "lblMigrateOverall", QStringLiteral("All tables"), barOverall_);
    options->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdMigrate_);
    buttons->addWidget(cmdStop_);
    buttons->addStretch();
    buttons->addWidget(cmdSaveReport_);
    buttons->addWidget(cmdClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSource_);
    layout->addWidget(grdTables_, 3);
    layout->addLayout(options);
    layout->addWidget(lblStatus_);
    layout->addWidget(txtReport_, 2);
    layout->addLayout(buttons);
    resize(640, 560);
}

void MigrationDialog::connectButtons() {
    connect(cmdMigrate_, &QPushButton::clicked, this, &MigrationDialog::startMigration);
    connect(cmdStop_, &QPushButton::clicked, this, [this] {
        stop_ = true;
        cmdStop_->setEnabled(false);
        say(QStringLiteral("Stopping after the batches being sent..."));
    });
    connect(cmdSaveReport_, &QPushButton::clicked, this, &MigrationDialog::saveReport);
    connect(cmdClose_, &QPushButton::clicked, this, &MigrationDialog::reject);
}

// A row a table: ticked, its target name as the plan makes it, and its progress. A table the
// reader refused cannot be ticked; its row tells why.
void MigrationDialog::listTables() {
    QStringList sourceNames;
    for (const dao::TableSchema& table : source_.schema.tables) sourceNames << table.name;
    const MigrationPlan plan = PlanMigration(source_.schema, source_.targetNames);
    for (qsizetype index = 0; index < sourceNames.size(); ++index) {
        const int row = grdTables_->rowCount();
        grdTables_->insertRow(row);
        auto* source = new QTableWidgetItem(sourceNames[index]);
        source->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        source->setCheckState(Qt::Checked);
        grdTables_->setItem(row, SourceColumn, source);
        grdTables_->setItem(row, TargetColumn, new QTableWidgetItem(plan.tables[index].targetName));
        auto* bar = new QProgressBar;
        bar->setValue(0);
        bar->setFormat(QString());
        grdTables_->setCellWidget(row, ProgressColumn, bar);
    }
    for (const auto& [table, error] : source_.refused) {
        const int row = grdTables_->rowCount();
        grdTables_->insertRow(row);
        grdTables_->setItem(row, SourceColumn, new QTableWidgetItem(table));
        grdTables_->item(row, SourceColumn)->setFlags(Qt::NoItemFlags);
        auto* words = new QTableWidgetItem(QStringLiteral("cannot be read: ") + error);
        words->setFlags(Qt::ItemIsEnabled);
        words->setToolTip(error);
        grdTables_->setItem(row, ProgressColumn, words);
    }
}

void MigrationDialog::say(const QString& text) {
    lblStatus_->setText(text);
}

void MigrationDialog::setRunning(bool running) {
    cmdMigrate_->setEnabled(!running);
    cmdStop_->setEnabled(running);
    cmdSaveReport_->setEnabled(!running && !report_.tables.empty());
    cboDatabase_->setEnabled(!running);
    cboIfExists_->setEnabled(!running);
    spnJobs_->setEnabled(!running);
    // The list stays enabled, so that it can be scrolled; only its ticks and names are fixed.
    grdTables_->setEditTriggers(running ? QAbstractItemView::NoEditTriggers
                                        : QAbstractItemView::AllEditTriggers);
    for (int row = 0; row < grdTables_->rowCount(); ++row) {
        QTableWidgetItem* source = grdTables_->item(row, SourceColumn);
        if (source->flags() != Qt::NoItemFlags)
            source->setFlags(running ? Qt::ItemIsEnabled
                                     : Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    }
}

std::optional<MigrationDialog::Job> MigrationDialog::jobOfControls() {
    Job job;
    job.database = cboDatabase_->currentText().trimmed();
    if (job.database.isEmpty()) {
        say(QStringLiteral("Name the database the tables are to be moved into."));
        return std::nullopt;
    }
    for (int row = 0; row < static_cast<int>(source_.schema.tables.size()); ++row) {
        if (grdTables_->item(row, SourceColumn)->checkState() != Qt::Checked) continue;
        const dao::TableSchema& table = source_.schema.tables[static_cast<std::size_t>(row)];
        job.schema.tables.push_back(table);
        job.rows << row;
        const QString target = grdTables_->item(row, TargetColumn)->text().trimmed();
        if (!target.isEmpty()) job.targetNames.insert(table.name, target);
    }
    if (job.rows.isEmpty()) {
        say(QStringLiteral("Tick the tables to move."));
        return std::nullopt;
    }
    job.schema.relationships = source_.schema.relationships;
    job.serverConnection = server_.connectionString({});
    if (job.serverConnection.isEmpty()) {
        say(
            QStringLiteral("The connection to the MySQL server was closed: connect again under "
                           "Target Data."));
        return std::nullopt;
    }
    // A session that loads copies the tables as they are (see MySqlConnection).
    job.databaseConnection = server_.connectionString(job.database) + QStringLiteral(";COPY=1;");
    job.ifExists = cboIfExists_->currentIndex();
    job.jobs = spnJobs_->value();
    return job;
}

void MigrationDialog::startMigration() {
    if (running()) return;
    std::optional<Job> job = jobOfControls();
    if (!job) return;
    report_ = {};
    rowOfTarget_.clear();
    txtReport_->clear();
    for (int row = 0; row < static_cast<int>(source_.schema.tables.size()); ++row) {
        auto* bar = static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn));
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setFormat(job->rows.contains(row) ? QStringLiteral("waiting") : QString());
    }
    barOverall_->setRange(0, static_cast<int>(job->rows.size()));
    barOverall_->setValue(0);
    stop_ = false;
    setRunning(true);
    say(QStringLiteral("Moving %1 tables into \"%2\"...").arg(job->rows.size()).arg(job->database));
    worker_ = std::thread([this, job = std::move(*job)] { runMigration(job); });
}

void MigrationDialog::post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void MigrationDialog::runMigration(const Job& job) {
    try {
        const auto server = dao::openConnection(job.serverConnection);
        server->execute(QStringLiteral("CREATE DATABASE IF NOT EXISTS %1 CHARACTER SET utf8mb4")
                            .arg(dao::mysql::QuoteIdentifier(job.database)));
        server->close();
        const MigrationPlan plan = PlanMigration(job.schema, job.targetNames, source_.longestText);
        QHash<QString, int> rowOfTarget;
        QStringList targets;
        for (std::size_t i = 0; i < plan.tables.size(); ++i) {
            rowOfTarget.insert(plan.tables[i].targetName, job.rows[static_cast<qsizetype>(i)]);
            targets << plan.tables[i].targetName;
        }
        post([this, rows = job.rows, targets] { showPlannedNames(rows, targets); });
        MigrationEnds ends;
        ends.openTable = source_.openTable;
        ends.connect = [connection = job.databaseConnection] {
            return dao::openConnection(connection);
        };
        MigrationOptions options;
        options.ifExists = static_cast<IfExists>(job.ifExists);
        options.jobs = job.jobs;
        options.retryForSeconds = RetrySeconds;
        RowProgress progress(*this, rowOfTarget);
        MigrationReport report = Migrate(plan, ends, options, progress);
        for (const auto& [table, error] : source_.refused) {
            TableReport refused;
            refused.source = refused.target = table;
            refused.error = error;
            report.tables.push_back(refused);
        }
        post([this, report] { finish(report); });
    } catch (const MigrationRefused& refusal) {
        post([this, message = refusal.message] {
            fail(message + QStringLiteral("\nChoose what becomes of them under \"A table that "
                                          "exists already\"."));
        });
    } catch (const std::exception& e) {
        post([this, database = job.database, message = shell::errorDescription(e)] {
            fail(QStringLiteral("The migration into \"%1\" failed: %2").arg(database, message));
        });
    }
}

void MigrationDialog::showPlannedNames(const QList<int>& rows, const QStringList& targets) {
    for (qsizetype i = 0; i < rows.size(); ++i) {
        grdTables_->item(rows[i], TargetColumn)->setText(targets[i]);
        rowOfTarget_.insert(targets[i], rows[i]);
    }
}

void MigrationDialog::showTableStarted(int row, long rows) {
    if (row < 0) return;
    auto* bar = static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn));
    bar->setRange(0, static_cast<int>(std::min<long>(rows, INT_MAX)));
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%v of %m"));
}

void MigrationDialog::showTableProgress(int row, long rowsDone) {
    if (row < 0) return;
    auto* bar = static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn));
    bar->setValue(static_cast<int>(std::min<long>(rowsDone, bar->maximum())));
}

void MigrationDialog::showTableOutcome(int row, const TableReport& table) {
    if (row < 0) return;
    auto* bar = static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn));
    bar->setFormat(outcomeText(table));
    if (table.error.isEmpty() && !table.stopped) bar->setValue(bar->maximum());
    bar->setToolTip(table.error);
    barOverall_->setValue(barOverall_->value() + 1);
}

void MigrationDialog::finish(const MigrationReport& report) {
    if (worker_.joinable()) worker_.join();
    report_ = report;
    // Tables a stop left before they began were never done: they are told here.
    for (const TableReport& table : report.tables) {
        const int row = rowOfTarget_.value(table.target, -1);
        auto* bar = row < 0
                        ? nullptr
                        : static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn));
        if (bar && bar->format() == QLatin1String("waiting")) bar->setFormat(outcomeText(table));
    }
    txtReport_->setPlainText(report.text());
    qsizetype failed = 0;
    for (const TableReport& table : report.tables) failed += table.error.isEmpty() ? 0 : 1;
    if (report.stopped)
        say(QStringLiteral("Stopped: the report tells which tables were moved."));
    else if (failed > 0)
        say(QStringLiteral("%1 of the tables failed: the report tells why.").arg(failed));
    else
        say(QStringLiteral("Every table was moved into \"%1\" in %2 s.")
                .arg(report.database, QString::number(report.seconds, 'f', 1)));
    setRunning(false);
}

void MigrationDialog::fail(const QString& message) {
    if (worker_.joinable()) worker_.join();
    say(message);
    for (int row = 0; row < static_cast<int>(source_.schema.tables.size()); ++row)
        static_cast<QProgressBar*>(grdTables_->cellWidget(row, ProgressColumn))
            ->setFormat(QString());
    setRunning(false);
}

void MigrationDialog::reject() {
    if (running()) {
        platform::MessageRequest request;
        request.title = windowTitle();
        request.text = QStringLiteral("A migration is running. Stop it and close?");
        request.buttons = platform::MessageButtons::YesNo;
        request.icon = platform::MessageIcon::Question;
        if (platform_.messages.show(request) != platform::MessageAnswer::Yes) return;
        stop_ = true;
        worker_.join();
    }
    QDialog::reject();
}

// The report as text, or as JSON for a name ending in ".json".
void MigrationDialog::saveReport() {
    platform::FileDialogRequest request;
    request.title = QStringLiteral("Save Report");
    request.filter =
        QStringLiteral("Text Files (*.txt)|*.txt|JSON Files (*.json)|*.json|All Files (*.*)|*.*");
    const std::optional<QString> path = platform_.files.showSave(request);
    if (!path || path->isEmpty()) return;
    const QByteArray bytes = path->endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                                 ? report_.json()
                                 : report_.text().toUtf8();
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        say(QStringLiteral("The report could not be saved to \"%1\": %2")
                .arg(*path, file.errorString()));
        return;
    }
    say(QStringLiteral("Report saved: ") + *path);
}

}  // namespace keldara::transfer
