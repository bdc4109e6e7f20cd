#include "window/ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "dialogs/ui/AboutBox.h"
#include "mapping/ui/MappingPage.h"
#include "profiles/ui/ProfileCommands.h"
#include "shell/LayoutTwips.h"
#include "shell/ProcedureError.h"
#include "shell/ui/Controls.h"
#include "shell/ui/Logo.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "source/WholeSource.h"
#include "source/ui/SourcePanel.h"
#include "target/ui/TargetPanel.h"
#include "transfer/TableFacts.h"
#include "transfer/ui/ActionFooter.h"
#include "transfer/ui/MigrationDialog.h"

namespace keldara::shell {

namespace {
MainWindow* gInstance = nullptr;
constexpr int HeaderHeight = 1275;
constexpr int TabTop = 1320;
constexpr int TabBarHeight = 360;
constexpr int FooterHeight = 810;  // two rows: the action, then the run's options
constexpr int StatusHeight = 315;
// The footer and the status bar below the tab control, and a gap above them.
constexpr int BandsBelowTabs = FooterHeight + StatusHeight + 150;
constexpr int SampleButtonsTop = 360;

// Every table of the file at `path`, with its structure, as the migration dialog moves them.
// Throws DaoError when the file or its structure cannot be read.
transfer::MigrationSource wholeSourceOf(const QString& path, const QString& password) {
    auto whole = std::make_shared<source::WholeSource>(
        source::OpenWholeSource(path, password, transfer::StreamedBulkRows));
    transfer::MigrationSource tables;
    tables.path = path;
    tables.refused = source::ReadWholeSchema(*whole, tables.schema);
    tables.openTable = whole->open;
    tables.targetNames = whole->targetNames;
    tables.longestText = source::LongestTexts(*whole);
    return tables;
}
}  // namespace

MainWindow* MainWindow::instance() {
    return gInstance;
}

MainWindow::MainWindow(platform::Platform platform, QWidget* parent)
    : QMainWindow(parent), ws_{AppState{}, platform} {
    gInstance = this;
    ws_.window = this;
    setObjectName("frmMain");
    setWindowTitle("Tamrix Keldara");
    setWindowIcon(QIcon(productLogo(QSize(64, 64))));
    QFont small = font();  // the design sizes are made for an 8-point dialog font
    small.setPointSize(8);
    setFont(small);

    client_ = new QWidget(this);
    client_->setObjectName("frmMain_client");
    setCentralWidget(client_);
    client_->installEventFilter(this);

    buildHeader(client_);
    tabTabs_ = new QTabWidget(client_);
    tabTabs_->setObjectName("tabTabs");
    tabTabs_->tabBar()->setFixedHeight(toPixels(TabBarHeight));
    placeTw(tabTabs_, 0, TabTop, DesignWidth - 50, DesignHeight - TabTop - BandsBelowTabs);
    source_ = new source::SourcePanel(addPage("Source Data"), ws_);
    target_ = new target::TargetPanel(addPage("Target Data"), ws_);
    mapping_ = new mapping::MappingPage(addPage("Field Mappings"), ws_);

    picFooter_ = new QFrame(client_);
    picFooter_->setObjectName("picFooter");
    footer_ = new transfer::ActionFooter(picFooter_, ws_);
    ws_.SB = new StatusBar(client_);
    ws_.PB = new ProgressBar(client_);

    buildMenus();
    connectRooms();
    connect(tabTabs_, &QTabWidget::currentChanged, this, &MainWindow::tabTabs_Click);

    client_->resize(toPixels(DesignWidth), toPixels(DesignHeight));
    resize(client_->size() + QSize(0, menuBar()->sizeHint().height()));
    Form_Load();
}

MainWindow::~MainWindow() {
    if (gInstance == this) gInstance = nullptr;
}

void MainWindow::buildHeader(QWidget* client) {
    picHeader_ = new QFrame(client);
    picHeader_->setObjectName("picHeader");
    picHeader_->setAutoFillBackground(true);
    QPalette palette = picHeader_->palette();
    palette.setColor(QPalette::Window, QColor(0xee, 0xf3, 0xf8));
    picHeader_->setPalette(palette);
    auto* logo = makeLabel(picHeader_, "Image1", {}, 150, 150, 975, 975);
    logo->setPixmap(productLogo(logo->size()));
    makeLabel(picHeader_, "lblTitle2", "Tamrix Software", 1350, 120, 3000);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    makeLabel(picHeader_, "lblLabel_4", "Tamrix", 1350, 390, 4500, 390)->setFont(big);
    makeLabel(picHeader_, "lblLabel_5", "Keldara", 1350, 780, 4500, 390)->setFont(big);
    makeLabel(picHeader_, "lblLabel_13", "Version 1.1", 8300, 900, 1600);
}

QWidget* MainWindow::addPage(const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tabTabs_page_%1").arg(tabTabs_->count()));
    tabTabs_->addTab(page, caption);
    return page;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("mnuFile");
    profiles_ = new profiles::ProfileCommands(file, ws_);
    connectProfiles();
    file->addSeparator();
    mnuMigrate_ = file->addAction("Migrate Whole Source...");
    mnuMigrate_->setObjectName("mnuMigrate");
    mnuMigrate_->setEnabled(false);  // until a source file is open
    connect(mnuMigrate_, &QAction::triggered, this, &MainWindow::mnuMigrate_Click);
    file->addSeparator();
    QAction* exit = file->addAction("Exit");
    exit->setObjectName("mnuExit");
    connect(exit, &QAction::triggered, this, &MainWindow::mnuExit_Click);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("mnuHelp");
    QAction* about = help->addAction("About");
    about->setObjectName("mnuAbout");
    connect(about, &QAction::triggered, this, &MainWindow::mnuAbout_Click);
}

// What one room announces and what the others do about it.
void MainWindow::connectRooms() {
    using mapping::MappingPage;
    using source::SourcePanel;
    using target::TargetPanel;
    connect(source_, &SourcePanel::tableLoadStarted, mapping_, &MappingPage::clearSourceFields);
    connect(source_, &SourcePanel::fieldLoaded, mapping_, &MappingPage::addSourceField);
    connect(source_, &SourcePanel::sampleRecordShown, mapping_, &MappingPage::showSampleRecord);
    connect(source_, &SourcePanel::sampleUnavailable, mapping_, &MappingPage::disableSampleMoves);
    connect(source_, &SourcePanel::tableLoaded, mapping_, &MappingPage::sourceTableLoaded);
    connect(source_, &SourcePanel::closed, mapping_, &MappingPage::clearSourceFields);
    connect(source_, &SourcePanel::opened, mnuMigrate_, [this] { mnuMigrate_->setEnabled(true); });
    connect(source_, &SourcePanel::closed, mnuMigrate_, [this] { mnuMigrate_->setEnabled(false); });
    connect(mapping_, &MappingPage::sampleMoveRequested, source_,
            &SourcePanel::cmdSampleMove_Click);

    connect(target_, &TargetPanel::tableLoadStarted, mapping_, &MappingPage::clearTargetFields);
    connect(target_, &TargetPanel::tableLoaded, mapping_, &MappingPage::targetTableLoaded);
    connect(target_, &TargetPanel::tableLoaded, footer_,
            &transfer::ActionFooter::ActionControlsEnable);
    connect(target_, &TargetPanel::closed, mapping_, &MappingPage::targetClosed);
    // Without a loaded target table "Perform Action" waits for one.
    connect(target_, &TargetPanel::tableLoadStarted, footer_,
            &transfer::ActionFooter::ActionControlsEnable);
    connect(target_, &TargetPanel::closed, footer_, &transfer::ActionFooter::ActionControlsEnable);
    connect(target_, &TargetPanel::tableTextChanged, footer_,
            &transfer::ActionFooter::setTargetTableText);
    connectTransfer();
}

// A run reads the source table, the pairing and the MySQL connection until it ends, so the
// rooms that could close or reload them wait meanwhile.
void MainWindow::connectTransfer() {
    using transfer::ActionFooter;
    footer_->setTransferInputs({[this]() -> const dao::Recordset* {
                                    return ws_.state.bSourceLoaded
                                               ? source_->adoSourceData()->recordset()
                                               : nullptr;
                                },
                                [this] { return mapping_->pairing(); },
                                [this] {
                                    const dao::DataControl* data = source_->adoSourceData();
                                    return data->connectionString + QChar(0) + data->recordSource;
                                },
                                [this] { return target_->loadedTableSource(); }});
    connect(target_, &target::TargetPanel::newTableRequested, footer_,
            &ActionFooter::newTableDefinition);
    connect(footer_, &ActionFooter::scriptCreated, target_, &target::TargetPanel::showScript);
    connect(footer_, &ActionFooter::runStarted, this, [this] { setRoomsEnabled(false); });
    connect(footer_, &ActionFooter::runFinished, this, [this] {
        setRoomsEnabled(true);
        if (closeAfterRun_) close();
    });
}

void MainWindow::setRoomsEnabled(bool enabled) {
    tabTabs_->setEnabled(enabled);
    menuBar()->setEnabled(enabled);
}

void MainWindow::Form_Load() {
    for (QObject* child : findChildren<QObject*>()) {
        if (auto* combo = qobject_cast<QComboBox*>(child)) {
            combo->setEditText({});
        } else if (auto* box = qobject_cast<QLineEdit*>(child)) {
            if (!qobject_cast<QComboBox*>(box->parent())) box->clear();
        }
    }
    source_->loadDefaults();
    target_->loadDefaults();
    mapping_->loadDefaults();
    footer_->loadDefaults();
    tabTabs_->setCurrentIndex(0);
    profiles_->LoadRecentList();
}

void MainWindow::tabTabs_Click() {
    mapping_->hideEditor();
    mapping_->picSampleButtons()->setVisible(tabTabs_->currentIndex() == 2);
}

void MainWindow::mnuAbout_Click() {
    dialogs::AboutBox about(ws_.platform, this);
    about.exec();
}

// The dialog moves the open source file into a database of the connected server; the window
// waits behind it.
void MainWindow::mnuMigrate_Click() {
    const source::SourcePanel::OpenedFile& file = source_->openedFile();
    transfer::MigrationSource tables;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        tables = wholeSourceOf(file.path, file.password);
        QApplication::restoreOverrideCursor();
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        platform::MessageRequest request;
        request.title = QStringLiteral("Migrate Whole Source");
        request.text = QStringLiteral("The tables of \"%1\" cannot be read: %2")
                           .arg(file.path, errorDescription(error));
        request.icon = platform::MessageIcon::Critical;
        ws_.platform.messages.show(request);
        return;
    }
    transfer::MigrationServer server{
        target_->databaseNames(), target_->chosenDatabase(),
        [this](const QString& database) { return target_->sessionConnectionString(database); }};
    auto* dialog =
        new transfer::MigrationDialog(std::move(tables), std::move(server), ws_.platform, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::mnuExit_Click() {
    exiting_ = true;
    emit exitRequested();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (footer_->running()) {  // the window closes once the run has stopped
        closeAfterRun_ = true;
        footer_->requestStop();
        event->ignore();
        return;
    }
    if (!exiting_) {
        profiles_->SaveRecentList();
        source_->CloseSource();
        target_->CloseMySQL();
        ws_.state.gSchemaRecordset.reset();
        ws_.state.gSourceTables.clear();
        ws_.state.gSourceFieldTypes.clear();
        ws_.state.gTargetFieldTypes.clear();
    }
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        dockBands();
        ResizeMe();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::dockBands() {
    const int w = client_->width();
    const int h = client_->height();
    picHeader_->setGeometry(0, 0, w, toPixels(HeaderHeight));
    ws_.SB->setGeometry(0, h - toPixels(StatusHeight), w, toPixels(StatusHeight));
    picFooter_->setGeometry(0, h - toPixels(StatusHeight + FooterHeight), w,
                            toPixels(FooterHeight));
}

// Design tops are measured from the tab control's top; pages start below its tab bar.
float MainWindow::pageOffsetTw() const {
    return TabBarHeight;
}

void MainWindow::ResizeMe() {
    LayoutTw l;
    l.clientWidth = toTwips(client_->width());
    l.clientHeight = toTwips(client_->height());
    l.tabTabs = geometryTw(tabTabs_);
    l.tabTabs.top = TabTop;
    l.bandsBelowTabs = BandsBelowTabs;
    auto gridRect = [](const QWidget* grid, float designTop) {
        RectTw r = geometryTw(grid);
        r.top = designTop;
        return r;
    };
    l.grdSourceData = gridRect(source_->grdSourceData(), SourceGridTop);
    l.grdTargetData = gridRect(target_->grdTargetData(), TargetGridTop);
    l.grdFieldMappings = gridRect(mapping_->grdFieldMappings(), MappingGridTop);
    l.picSampleButtons = geometryTw(mapping_->picSampleButtons());
    ws_.SB->layoutPanels();
    l.statusBar = geometryTw(ws_.SB);
    l.panelLeft = toTwips(ws_.SB->panelLeft(2));
    l.panelWidth = toTwips(ws_.SB->panelWidth(2));
    l.progressBar = geometryTw(ws_.PB);
    ws_.PB->raise();
    applyLayout(resizeMe(l));
}

void MainWindow::applyLayout(const LayoutTw& l) {
    placeTw(tabTabs_, 0, TabTop, l.tabTabs.width, l.tabTabs.height);
    const float offset = pageOffsetTw();
    placeTw(source_->grdSourceData(), 75, SourceGridTop - offset, l.grdSourceData.width,
            l.grdSourceData.height);
    placeTw(target_->grdTargetData(), 75, TargetGridTop - offset, l.grdTargetData.width,
            l.grdTargetData.height);
    placeTw(mapping_->grdFieldMappings(), 75, MappingGridTop - offset, l.grdFieldMappings.width,
            l.grdFieldMappings.height);
    placeTw(mapping_->picSampleButtons(), l.picSampleButtons.left, SampleButtonsTop - offset,
            l.picSampleButtons.width, l.picSampleButtons.height);
    placeTw(ws_.PB, l.progressBar.left, l.progressBar.top, l.progressBar.width,
            l.progressBar.height);
}

// The profile commands reach the pages' fields only through the window.
void MainWindow::connectProfiles() {
    using profiles::ProfileCommands;
    connect(profiles_, &ProfileCommands::profileLoaded, source_,
            &source::SourcePanel::applyProfile);
    connect(profiles_, &ProfileCommands::profileLoaded, target_,
            &target::TargetPanel::applyProfile);
    connect(profiles_, &ProfileCommands::profileRequested, source_,
            &source::SourcePanel::fillProfile);
    connect(profiles_, &ProfileCommands::profileRequested, target_,
            &target::TargetPanel::fillProfile);
}

}  // namespace keldara::shell
