#include "target/ui/TargetPanel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <algorithm>
#include <cstdint>

#include "platform/dao/mysql/QuoteIdentifier.h"
#include "shell/DialogHost.h"
#include "shell/ProcedureError.h"
#include "shell/ui/Controls.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "target/DBBits.h"

namespace keldara::target {

using namespace shell;

namespace {

const QString SelectDatabase = QStringLiteral("{Select Database}");
const QString SelectTable = QStringLiteral("{Select Table}");
const QString CertificateFilter =
    QStringLiteral("Certificates (*.pem;*.crt)|*.pem;*.crt|All Files (*.*)|*.*");

// Adds the names of a list joined by "," to a choice list, the progress bar following the
// index of each name. The list's text box keeps the text it showed before.
void addNames(QComboBox* combo, ProgressBar* progress, const QString& list) {
    const QString shown = combo->currentText();
    const QStringList names = list.split(QLatin1Char(','));
    progress->setMaximumValue(static_cast<double>(names.size() - 1));
    for (qsizetype index = 0; index < names.size(); ++index) {
        progress->setCurrentValue(static_cast<double>(index));
        combo->addItem(names[index]);
    }
    // Adding to an empty list selects its first entry; no entry is chosen yet.
    combo->setCurrentIndex(-1);
    combo->setEditText(shown);
}

template <typename Step>
void ignoringFailure(Step step) {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

TargetPanel::TargetPanel(QWidget* page, Workspace& workspace) : QObject(page), ws_(workspace) {
    fraMySQL_ = makeFrame(page, "fraMySQL", 75, 0, 5500, TopHeight);
    makeLabel(fraMySQL_, "lblLabel_17", "Target MySQL Server Name", 100, 150, 2300);
    txtTargetServer_ = makeTextBox(fraMySQL_, "txtTargetServer", 2450, 120, 2900);
    makeLabel(fraMySQL_, "lblLabel_16", "UserName", 100, 450, 2300);
    txtTargetUsername_ = makeTextBox(fraMySQL_, "txtTargetUsername", 2450, 420, 2900);
    makeLabel(fraMySQL_, "lblLabel_15", "Password", 100, 750, 2300);
    txtTargetPassword_ = makeTextBox(fraMySQL_, "txtTargetPassword", 2450, 720, 2000);
    txtTargetPassword_->setEchoMode(QLineEdit::Password);
    chkShowPassword_ = makeCheckBox(fraMySQL_, "chkShowPassword", "Show", 4500, 720, 850, 300);
    makeLabel(fraMySQL_, "lblLabel_18", "Port", 100, 1050, 2300);
    txtTargetPort_ = makeTextBox(fraMySQL_, "txtTargetPort", 2450, 1020, 900);
    cmdTargetConnect_ = makeButton(fraMySQL_, "cmdTargetConnect", "Connect", 3450, 1020, 900);
    cmdTargetConnect_->setEnabled(false);
    cmdTargetClose_ = makeButton(fraMySQL_, "cmdTargetClose", "Close", 4450, 1020, 900);
    cmdTargetClose_->setEnabled(false);
    makeLabel(fraMySQL_, "lblLabel_2", "Target Database", 100, 1350, 2300);
    cboTargetDatabase_ = makeComboBox(fraMySQL_, "cboTargetDatabase", 2450, 1320, 2900, 300);
    cboTargetDatabase_->setEnabled(false);
    suppressKeys(cboTargetDatabase_);

    tsMySQL_ = new QTabBar(page);
    tsMySQL_->setObjectName("tsMySQL");
    tsMySQL_->addTab("Existing mySQL Table");
    tsMySQL_->addTab("Create New Table");
    tsMySQL_->setDrawBase(true);
    placeTw(tsMySQL_, 175, 1650, 5300, 300);  // over the table row of the connection frame

    lblMySQLTable_ = makeLabel(fraMySQL_, "lblMySQLTable", "Target Table", 100, 1980, 2300);
    cboTargetTable_ = makeComboBox(fraMySQL_, "cboTargetTable", 2450, 1950, 2900, 300);
    cboTargetTable_->setEnabled(false);
    suppressKeys(cboTargetTable_);
    cmdNewTable_ = makeButton(fraMySQL_, "cmdNewTable", "New Table Definition", 2450, 1950, 2900);
    cmdNewTable_->setToolTip("Defint the New Table ");
    cmdNewTable_->setEnabled(false);
    cmdNewTable_->hide();

    tsMySQL_->raise();

    const CountsFrame counts = makeCountsFrame(page, "Target", 5650);
    fraTarget_ = counts.frame;
    lblTargetInfoData_[0] = counts.values[0];
    lblTargetInfoData_[1] = counts.values[1];

    // Under the counts: the button, then the script it saves.
    cmdSaveScript_ = makeButton(page, "cmdSaveScript", "Save Script...", 5650, 1020, 2150);
    cmdSaveScript_->setToolTip("Save the script shown below to a file, exactly as generated");
    cmdSaveScript_->setEnabled(false);

    txtResult_ = new QTextEdit(page);
    txtResult_->setObjectName("txtResult");
    txtResult_->setPlainText("Temporary View for Table Creation Code");
    txtResult_->setLineWrapMode(QTextEdit::NoWrap);
    placeTw(txtResult_, 5650, 1380, 2150, TopHeight - 1380);

    grdTargetData_ = makeDataGrid(page, "grdTargetData");
    targetModel_ = new RecordsetModel(grdTargetData_);
    grdTargetData_->setModel(targetModel_);
    adoMySQLData_ = new dao::DataControl("adoMySQLData", ws_.window);
    connect(adoMySQLData_, &dao::DataControl::recordsetChanged, targetModel_,
            &RecordsetModel::setRecordset);

    for (QLineEdit* box :
         {txtTargetServer_, txtTargetUsername_, txtTargetPassword_, txtTargetPort_}) {
        connect(box, &QLineEdit::textChanged, this, &TargetPanel::CheckTargetFields);
    }
    connect(cmdTargetConnect_, &QPushButton::clicked, this, &TargetPanel::ConnectMySQL);
    connect(cmdTargetClose_, &QPushButton::clicked, this, &TargetPanel::CloseMySQL);
    connect(cboTargetDatabase_, &QComboBox::activated, this, &TargetPanel::cboTargetDatabase_Click);
    connect(cboTargetTable_, &QComboBox::activated, this, &TargetPanel::cboTargetTable_Click);
    connect(tsMySQL_, &QTabBar::currentChanged, this, &TargetPanel::tsMySQL_Click);
    connect(cmdNewTable_, &QPushButton::clicked, this, &TargetPanel::newTableRequested);
    connect(cmdSaveScript_, &QPushButton::clicked, this, &TargetPanel::saveScript);
    connect(cboTargetTable_, &QComboBox::currentTextChanged, this, &TargetPanel::tableTextChanged);
    buildSecurityFrame(page);
}

void TargetPanel::loadDefaults() {
    cboTargetTable_->setEditText(QStringLiteral("Select Target Profile"));
    txtTargetPort_->setText(QStringLiteral("3306"));
}

QStringList TargetPanel::databaseNames() const {
    QStringList names;
    if (!MySQLConnectionIsOpen(ws_.state)) return names;
    for (int index = 0; index < cboTargetDatabase_->count(); ++index)
        names << cboTargetDatabase_->itemText(index);
    return names;
}

QString TargetPanel::chosenDatabase() const {
    const int index = cboTargetDatabase_->findText(cboTargetDatabase_->currentText(),
                                                   Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index < 0 ? QString() : cboTargetDatabase_->itemText(index);
}

QString TargetPanel::sessionConnectionString(const QString& database) const {
    if (!MySQLConnectionIsOpen(ws_.state)) return {};
    return ConnectionString(txtTargetServer_->text(), txtTargetUsername_->text(),
                            txtTargetPassword_->text(), database, txtTargetPort_->text()) +
           ws_.state.sMySQLTlsKeys;
}

void TargetPanel::showScript(const QString& script) {
    script_ = script;
    txtResult_->setPlainText(script);
    cmdSaveScript_->setEnabled(true);
}

// The script as generated, in UTF-8: a text box's copy would turn some characters (such as
// the non-breaking space) into others.
void TargetPanel::saveScript() {
    shell::DialogHost::CommonDialog settings;
    settings.DialogTitle = QStringLiteral("Save Script");
    settings.InitDir = scriptFolder_.isEmpty() ? QDir::homePath() : scriptFolder_;
    settings.Filter = QStringLiteral("MySQL Script Files|*.sql|All Files (*.*)|*.*");
    settings.CancelError = true;
    QString path =
        shell::askForFile(ws_.platform.files, shell::FileDialogKind::Save, settings, 0, 0);
    if (path.isEmpty() || path == shell::DialogHost::CancelResult) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".sql");
    QSaveFile file(path);
    const QByteArray bytes = script_.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        platform::MessageRequest request;
        request.text = QStringLiteral("The script could not be saved to \"%1\": %2")
                           .arg(path, file.errorString());
        request.title = QStringLiteral("Keldara");
        request.icon = platform::MessageIcon::Critical;
        ws_.platform.messages.show(request);
        return;
    }
    scriptFolder_ = QFileInfo(path).absolutePath();
    ws_.SetStatusText(QStringLiteral("Script Saved: ") + path);
}

void TargetPanel::ConnectMySQL() {
    // The database and table named before connecting (by a profile or by hand) are chosen
    // again once the server lists them.
    const QString wantedDatabase = cboTargetDatabase_->currentText();
    const QString wantedTable = cboTargetTable_->currentText();
    ws_.SetStatusText(QStringLiteral("Connecting to ") + txtTargetServer_->text());
    TargetControlsEnable(true);
    cmdTargetConnect_->setText(QStringLiteral("Connecting"));
    cboTargetDatabase_->setEditText(QStringLiteral("Fetching Databases"));
    cboTargetDatabase_->repaint();

    if (!MySQL_Connect_Server(ws_.state, txtTargetServer_->text(), txtTargetUsername_->text(),
                              txtTargetPassword_->text(), txtTargetPort_->text())) {
        TargetControlsEnable(false);
        if (!ws_.state.sMySQLTlsKeys.isEmpty()) {
            showMessage(QStringLiteral("Cannot connect to the target server: ") +
                            ws_.state.sMySQLConnectError,
                        platform::MessageIcon::Critical);
        }
        return;
    }

    ws_.SetStatusText(QStringLiteral("Fetching Database List"));
    const QString databases = LoadDatabases(ws_.state);
    cboTargetDatabase_->clear();
    cboTargetDatabase_->setEditText(SelectDatabase);
    cboTargetTable_->setEditText(SelectDatabase);
    if (!databases.isEmpty()) addNames(cboTargetDatabase_, ws_.PB, databases);

    cmdTargetConnect_->setText(QStringLiteral("Connect"));
    const QString encryption = ConnectionEncryption(ws_.state);
    ws_.SetStatusText(
        QStringLiteral("Connected To Target Server") +
        (encryption.isEmpty() ? QString() : QStringLiteral(" (encrypted: %1)").arg(encryption)));
    chooseTarget(wantedDatabase, wantedTable);
}

// Chooses the database and then the table as a user's picks in the lists would, each only
// when the server lists it.
void TargetPanel::chooseTarget(const QString& database, const QString& table) {
    const int databaseIndex =
        cboTargetDatabase_->findText(database, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (database.isEmpty() || databaseIndex < 0) return;
    cboTargetDatabase_->setCurrentIndex(databaseIndex);
    cboTargetDatabase_Click();
    const int tableIndex =
        cboTargetTable_->findText(table, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (table.isEmpty() || tableIndex < 0) return;
    cboTargetTable_->setCurrentIndex(tableIndex);
    cboTargetTable_Click();
}

// No table is loaded any more: nothing can be written until one is.
void TargetPanel::unloadTable() {
    if (!ws_.state.bTargetLoaded) return;
    ws_.state.bTargetLoaded = false;
    ws_.state.gTargetTableName.clear();
    emit tableLoadStarted();
    targetModel_->setRecordset(nullptr);
    adoMySQLData_->recordSource = QString();
    grdTargetData_->setCaption(QString());
}

void TargetPanel::TargetControlsEnable(bool bEnable) {
    cmdTargetClose_->setEnabled(bEnable);
    cmdTargetConnect_->setEnabled(!bEnable);
    cmdTargetConnect_->setText(bEnable ? QStringLiteral("Connected") : QStringLiteral("Connect"));
    for (QLineEdit* box :
         {txtTargetServer_, txtTargetPort_, txtTargetUsername_, txtTargetPassword_}) {
        box->setEnabled(!bEnable);
    }
    cboTargetDatabase_->setEnabled(bEnable);
    cboTargetTable_->setEnabled(false);
    if (!bEnable) cmdNewTable_->setEnabled(false);
    enableTlsControls(!bEnable);
    // The new layout paints before a connect that blocks the window.
    QCoreApplication::processEvents();
}

void TargetPanel::CloseMySQL() {
    ignoringFailure([&] { MySQL_Close(ws_.state); });
    ws_.state.gMySQLConnection.reset();

    cmdTargetClose_->setEnabled(false);
    cmdTargetConnect_->setEnabled(true);
    cmdTargetConnect_->setText(QStringLiteral("Connect"));
    for (QLineEdit* box :
         {txtTargetServer_, txtTargetPort_, txtTargetUsername_, txtTargetPassword_}) {
        box->setEnabled(true);
    }
    cboTargetDatabase_->setEnabled(false);
    cboTargetTable_->setEnabled(false);
    enableTlsControls(true);

    ws_.state.gMySQLConnection.reset();
    ws_.state.gMySQLRecordset.reset();
    ws_.state.bTargetLoaded = false;
    ws_.state.gTargetTableName.clear();

    cmdNewTable_->setEnabled(false);
    emit closed();
}

void TargetPanel::CheckTargetFields() {
    cmdTargetConnect_->setEnabled(
        !txtTargetServer_->text().isEmpty() && !txtTargetUsername_->text().isEmpty() &&
        !txtTargetPassword_->text().isEmpty() && !txtTargetPort_->text().isEmpty());
}

void TargetPanel::cboTargetDatabase_Click() {
    const QString database = cboTargetDatabase_->currentText();
    if (database == SelectDatabase) return;
    ws_.SetStatusText(QStringLiteral("Loading Tables for ") + database);
    const QString tables =
        LoadTables(ws_.state, txtTargetServer_->text(), txtTargetUsername_->text(),
                   txtTargetPassword_->text(), database, txtTargetPort_->text());
    cboTargetTable_->clear();
    cboTargetTable_->setEditText(SelectTable);
    if (!tables.isEmpty()) addNames(cboTargetTable_, ws_.PB, tables);
    cboTargetTable_->setEnabled(true);
    cmdNewTable_->setEnabled(true);
    ws_.SetStatusText(QStringLiteral("Loaded Tables List for ") + database);
}

void TargetPanel::cboTargetTable_Click() {
    const QString table = cboTargetTable_->currentText();
    if (table != SelectTable) LoadDataTarget(table);
}

// The statements carry line numbers from 100 in steps of 10; a failure names the last one
// reached.
void TargetPanel::LoadDataTarget(const QString& sTableName) {
    AppState& state = ws_.state;
    int line = 0;
    try {
        line = 100;
        state.bTargetLoaded = false;
        state.gTargetTableName.clear();
        line = 110;
        if (!MySQLConnectionIsOpen(state)) return;
        line = 120;
        emit tableLoadStarted();
        line = 130;
        targetModel_->setRecordset(nullptr);
        line = 140;
        adoMySQLData_->recordSource = QString();
        line = 150;
        const QString server = txtTargetServer_->text();
        line = 160;
        const QString user = txtTargetUsername_->text();
        line = 170;
        const QString password = txtTargetPassword_->text();
        line = 180;
        const QString database = cboTargetDatabase_->currentText();
        line = 190;
        const QString port = txtTargetPort_->text();
        line = 200;
        adoMySQLData_->connectionString =
            ConnectionString(server, user, password, database, port) + state.sMySQLTlsKeys;
        line = 210;
        adoMySQLData_->commandType = 1;
        line = 220;
        adoMySQLData_->recordSource =
            QStringLiteral("SELECT * FROM ") + dao::mysql::QuoteIdentifier(sTableName);
        line = 230;
        adoMySQLData_->refresh();
        line = 240;
        const QString caption = server + QStringLiteral("-> ") + database + QStringLiteral("-> ") +
                                cboTargetTable_->currentText();
        grdTargetData_->setCaption(caption);
        line = 250;
        grdTargetData_->setEnabled(true);
        line = 260;
        state.gTargetFieldTypes = {0};
        state.gTargetFieldNames = {QString()};
        dao::Recordset& recordset = *adoMySQLData_->recordset();
        for (int index = 0; index < recordset.fieldCount(); ++index) {
            line = 270;
            state.gTargetFieldTypes.append(
                static_cast<std::int16_t>(recordset.fieldInfo(index).type));
            line = 280;
            state.gTargetFieldNames.append(recordset.fieldInfo(index).name);
        }
        line = 290;
        targetModel_->setRecordset(recordset.fieldCount() == 0 ? nullptr : &recordset);
        line = 300;
        lblTargetInfoData_[0]->setText(QString::number(recordset.recordCount()));
        line = 310;
        lblTargetInfoData_[1]->setText(QString::number(recordset.fieldCount()));
        line = 320;
        if (!recordset.eof()) recordset.moveFirst();
        line = 330;
        state.bTargetLoaded = true;
        state.gTargetTableName = sTableName;
        loadedFrom_ = server + QLatin1Char(':') + port + QLatin1Char('/') + database;
        line = 340;
        // Automatic matching, "Match Now" and the action controls follow the load.
        emit tableLoaded();
    } catch (const std::exception& error) {
        showProcedureError(ws_.platform.messages, QStringLiteral("LoadDataTarget"), line,
                           errorDescription(error));
    }
}

void TargetPanel::tsMySQL_Click() {
    switch (tsMySQL_->currentIndex() + 1) {
        case 1:
            lblMySQLTable_->show();
            cboTargetTable_->show();
            cmdNewTable_->hide();
            break;
        case 2:
            lblMySQLTable_->hide();
            cboTargetTable_->hide();
            cmdNewTable_->setGeometry(cboTargetTable_->x(), cboTargetTable_->y(),
                                      cboTargetTable_->width(), cmdNewTable_->height());
            cmdNewTable_->show();
            break;
        default:
            break;
    }
}

// A profile never leaves a table loaded that it does not name: on the same server its
// database and table are chosen as a user would choose them; on another server the
// connection is closed, and "Connect" then chooses them.
void TargetPanel::applyProfile(const shell::Profile& profile) {
    const bool connected = MySQLConnectionIsOpen(ws_.state);
    // The same account on the same server, reached the same way (its password may come from
    // the keyring rather than the profile).
    const bool sameServer = txtTargetServer_->text() == profile.server &&
                            txtTargetUsername_->text() == profile.user &&
                            txtTargetPort_->text() == profile.port && tlsSettings() == profile.tls;
    const bool sameTable = cboTargetDatabase_->currentText() == profile.database &&
                           ws_.state.gTargetTableName == profile.targetTable;
    if (connected && !sameServer) CloseMySQL();
    if (!sameTable) unloadTable();
    txtTargetServer_->setText(profile.server);
    txtTargetUsername_->setText(profile.user);
    txtTargetPassword_->setText(profile.password);
    cboTargetDatabase_->setEditText(profile.database);
    cboTargetTable_->setEditText(profile.targetTable);
    txtTargetPort_->setText(profile.port);
    showTlsSettings(profile.tls);
    // A profile that keeps its own (coded) password loads as it always has.
    chkRememberPassword_->setChecked(profile.password.isEmpty());
    if (profile.password.isEmpty() && !profile.server.isEmpty() && !profile.user.isEmpty()) {
        takePasswordFromKeyring();
    }
    if (connected && sameServer && !sameTable) chooseTarget(profile.database, profile.targetTable);
}

void TargetPanel::fillProfile(shell::Profile& profile) const {
    profile.server = txtTargetServer_->text();
    profile.user = txtTargetUsername_->text();
    profile.password = txtTargetPassword_->text();
    profile.database = cboTargetDatabase_->currentText();
    profile.targetTable = cboTargetTable_->currentText();
    profile.port = txtTargetPort_->text();
    profile.tls = tlsSettings();
    if (chkRememberPassword_->isChecked() && !profile.password.isEmpty() &&
        storePasswordInKeyring()) {
        profile.password.clear();
    }
}

// The TLS choice and its files, each with a file chooser, in a frame of their own right of
// the counts; the keyring choice at the foot of the connection frame.
void TargetPanel::buildSecurityFrame(QWidget* page) {
    chkRememberPassword_ =
        makeCheckBox(fraMySQL_, "chkRememberPassword", "Remember password in the system keyring",
                     100, 2340, 5250, 300);
    chkRememberPassword_->setChecked(true);

    fraTargetSecurity_ = makeFrame(page, "fraTargetSecurity", 7875, 0, 2025, TopHeight);
    makeLabel(fraTargetSecurity_, "lblTargetTls", "TLS", 100, 130, 1800);
    cboTargetTls_ = makeComboBox(fraTargetSecurity_, "cboTargetTls", 100, 400, 1825, 300);
    cboTargetTls_->addItems(
        {QStringLiteral("Off"), QStringLiteral("Required, no certificate check"),
         QStringLiteral("Verify CA"), QStringLiteral("Verify CA and host name")});
    cboTargetTls_->setEditable(false);
    const struct {
        const char* name;
        const char* caption;
        QString title;
        QString filter;
    } files[] = {
        {"CaFile", "CA File", QStringLiteral("CA File"), CertificateFilter},
        {"CertFile", "Client Certificate", QStringLiteral("Client Certificate"), CertificateFilter},
        {"KeyFile", "Client Key", QStringLiteral("Client Key"),
         QStringLiteral("Keys (*.pem;*.key)|*.pem;*.key|All Files (*.*)|*.*")},
    };
    for (int row = 0; row < 3; ++row) {
        const double top = 1000 + 600 * row;
        const QString name = QString::fromLatin1(files[row].name);
        makeLabel(fraTargetSecurity_, "lblTarget" + name, files[row].caption, 100, top - 270, 1800);
        tlsFiles_[row] = makeTextBox(fraTargetSecurity_, "txtTarget" + name, 100, top, 1400);
        tlsFileButtons_[row] =
            makeButton(fraTargetSecurity_, "cmdTarget" + name, "...", 1550, top, 375);
        connect(tlsFiles_[row], &QLineEdit::textChanged, this, &TargetPanel::tlsChoiceChanged);
        connect(tlsFileButtons_[row], &QPushButton::clicked, this,
                [this, row, title = files[row].title, filter = files[row].filter] {
                    chooseTlsFile(tlsFiles_[row], title, filter);
                });
    }
    connect(cboTargetTls_, &QComboBox::currentIndexChanged, this, &TargetPanel::tlsChoiceChanged);
    connect(chkShowPassword_, &QCheckBox::toggled, this, [this](bool show) {
        txtTargetPassword_->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    });
    tlsChoiceChanged();
}

dao::mysql::TlsSettings TargetPanel::tlsSettings() const {
    dao::mysql::TlsSettings tls;
    tls.mode = static_cast<dao::mysql::TlsMode>(std::max(0, cboTargetTls_->currentIndex()));
    if (tls.mode != dao::mysql::TlsMode::Disabled) {
        tls.caFile = tlsFiles_[CaFile]->text();
        tls.certFile = tlsFiles_[CertFile]->text();
        tls.keyFile = tlsFiles_[KeyFile]->text();
    }
    return tls;
}

void TargetPanel::showTlsSettings(const dao::mysql::TlsSettings& tls) {
    tlsFiles_[CaFile]->setText(tls.caFile);
    tlsFiles_[CertFile]->setText(tls.certFile);
    tlsFiles_[KeyFile]->setText(tls.keyFile);
    cboTargetTls_->setCurrentIndex(static_cast<int>(tls.mode));
}

void TargetPanel::tlsChoiceChanged() {
    enableTlsControls(cboTargetTls_->isEnabled());
    ws_.state.sMySQLTlsKeys = dao::mysql::tlsConnectionStringClause(tlsSettings());
}

// Like the server boxes, the TLS choice is fixed while connected; its files only count with
// TLS.
void TargetPanel::enableTlsControls(bool enable) {
    cboTargetTls_->setEnabled(enable);
    const bool files = enable && cboTargetTls_->currentIndex() > 0;
    for (int file = 0; file < TlsFileCount; ++file) {
        tlsFiles_[file]->setEnabled(files);
        tlsFileButtons_[file]->setEnabled(files);
    }
}

void TargetPanel::chooseTlsFile(QLineEdit* box, const QString& title, const QString& filter) {
    platform::FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.flags = platform::FileDialogRequest::FileMustExist;
    if (const auto file = ws_.platform.files.showOpen(request)) box->setText(*file);
}

platform::KeyringAccount TargetPanel::keyringAccount() const {
    return {txtTargetServer_->text(), txtTargetPort_->text(), txtTargetUsername_->text()};
}

void TargetPanel::takePasswordFromKeyring() {
    platform::PasswordKeyring& keyring = ws_.platform.keyring;
    const platform::KeyringAccount account = keyringAccount();
    if (!keyring.isAvailable()) {
        showMessage(QStringLiteral("No system keyring is running, so the MySQL password of "
                                   "this profile cannot be read from it. Type the password for "
                                   "user '%1' on server '%2' into the Password box.")
                        .arg(account.user, account.server),
                    platform::MessageIcon::Information);
    } else if (const auto password = keyring.findPassword(account)) {
        txtTargetPassword_->setText(*password);
    }
}

bool TargetPanel::storePasswordInKeyring() const {
    platform::PasswordKeyring& keyring = ws_.platform.keyring;
    if (!keyring.isAvailable()) {
        showMessage(QStringLiteral("No system keyring is running: the MySQL password is kept in "
                                   "the profile file."),
                    platform::MessageIcon::Warning);
        return false;
    }
    if (!keyring.storePassword(keyringAccount(), txtTargetPassword_->text())) {
        showMessage(keyring.errorString() +
                        QStringLiteral(" The MySQL password is kept in the profile file."),
                    platform::MessageIcon::Warning);
        return false;
    }
    return true;
}

void TargetPanel::showMessage(const QString& text, platform::MessageIcon icon) const {
    platform::MessageRequest request;
    request.text = text;
    request.title = QStringLiteral("Keldara");
    request.icon = icon;
    ws_.platform.messages.show(request);
}

}  // namespace keldara::target
