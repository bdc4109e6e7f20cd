#pragma once

#include <QObject>

#include "platform/dao/DataControl.h"
#include "platform/dao/mysql/TlsSettings.h"
#include "shell/Profile.h"
#include "shell/ui/CaptionedGrid.h"
#include "shell/ui/RecordsetModel.h"
#include "shell/ui/Workspace.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTableView;
class QTextEdit;

namespace keldara::target {

// Page "Target Data": the MySQL server, its databases and tables, and the loaded rows. What
// happens here is announced by signals.
class TargetPanel : public QObject {
    Q_OBJECT
  public:
    TargetPanel(QWidget* page, shell::Workspace& workspace);

    // The texts the window shows after loading.
    void loadDefaults();

    // Connects to the server of the four text boxes and fills the database list.
    void ConnectMySQL();
    // Switches the target controls between the connected and the disconnected layout.
    void TargetControlsEnable(bool bEnable);
    // Closes the MySQL connection and returns the target controls to the disconnected layout.
    void CloseMySQL();
    // Connect is enabled exactly when server, user name, password and port are all filled.
    void CheckTargetFields();
    // Loads "SELECT * FROM " + the quoted sTableName into the data control and builds the target
    // field lists; a failure is shown in a message box naming the last line reached.
    void LoadDataTarget(const QString& sTableName);

    QTableView* grdTargetData() const { return grdTargetData_; }
    QTextEdit* txtResult() const { return txtResult_; }
    dao::DataControl* adoMySQLData() const { return adoMySQLData_; }

    // The server (as typed, with its port) and the database the loaded table was loaded from;
    // empty while no table is loaded.
    QString loadedTableSource() const { return ws_.state.bTargetLoaded ? loadedFrom_ : QString(); }

    // The connected server's databases as it listed them; empty while no connection is open.
    QStringList databaseNames() const;
    // The database chosen in the list; empty when none is.
    QString chosenDatabase() const;
    // The connection string of a new session to the connected server, on `database` (at server
    // level when empty), encrypted as the connection is; empty while no connection is open.
    QString sessionConnectionString(const QString& database) const;

    // Shows a generated create-table script in the result box; "Save Script..." then saves
    // it byte for byte.
    void showScript(const QString& script);

  signals:
    // A table load has begun on an open connection: no target field is paired any more.
    void tableLoadStarted();
    // The table is completely loaded (bTargetLoaded is set, the field lists are filled).
    void tableLoaded();
    // The connection was closed (bTargetLoaded is cleared; the field lists stay).
    void closed();
    // The text of the table list changed.
    void tableTextChanged(const QString& text);
    // "New Table Definition" was pressed.
    void newTableRequested();

  private:
    void cboTargetDatabase_Click();
    void cboTargetTable_Click();
    void saveScript();
    void chooseTarget(const QString& database, const QString& table);
    void unloadTable();
    void tsMySQL_Click();

    shell::Workspace& ws_;
    QGroupBox* fraMySQL_;
    QLineEdit* txtTargetServer_;
    QLineEdit* txtTargetUsername_;
    QLineEdit* txtTargetPassword_;
    QLineEdit* txtTargetPort_;
    QPushButton* cmdTargetConnect_;
    QPushButton* cmdTargetClose_;
    QComboBox* cboTargetDatabase_;
    QLabel* lblMySQLTable_;
    QComboBox* cboTargetTable_;
    QPushButton* cmdNewTable_;
    QTabBar* tsMySQL_;
    QGroupBox* fraTarget_;
    QLabel* lblTargetInfoData_[2];
    shell::CaptionedGrid* grdTargetData_;
    shell::RecordsetModel* targetModel_;
    QPushButton* cmdSaveScript_;
    QTextEdit* txtResult_;
    QString script_;        // the script shown, as generated
    QString scriptFolder_;  // where the last script was saved
    QString loadedFrom_;    // see loadedTableSource
    dao::DataControl* adoMySQLData_;

  public:
    // The server, user name, password, database, table, port and TLS choice a profile keeps.
    // Applying one leaves loaded only the table it names. A profile without a password takes
    // it from the keyring; saved with "Remember password in the system keyring", the password
    // goes into the keyring and not into the profile.
    void applyProfile(const shell::Profile& profile);
    void fillProfile(shell::Profile& profile) const;

    // The TLS choice of the controls beside the target fields.
    dao::mysql::TlsSettings tlsSettings() const;

  private:
    // The height of the page's top part, above the grid.
    static constexpr int TopHeight = 2760;

    void buildSecurityFrame(QWidget* page);
    void showTlsSettings(const dao::mysql::TlsSettings& tls);
    void tlsChoiceChanged();
    void enableTlsControls(bool enable);
    // Puts the file the user picks in the platform's file dialog into `box`.
    void chooseTlsFile(QLineEdit* box, const QString& title, const QString& filter);
    // The account the password boxes' password belongs to, as the keyring knows it.
    platform::KeyringAccount keyringAccount() const;
    // Puts the keyring's password for the profile's account into the password box; says so
    // when no keyring is running.
    void takePasswordFromKeyring();
    // Stores the password box's text in the keyring; false (and the reason shown) when it
    // cannot, and the password then stays in the profile.
    bool storePasswordInKeyring() const;
    void showMessage(const QString& text, platform::MessageIcon icon) const;

    QGroupBox* fraTargetSecurity_;
    QComboBox* cboTargetTls_;
    // The TLS files' boxes and their choosers, in this order.
    enum TlsFile { CaFile, CertFile, KeyFile, TlsFileCount };
    QLineEdit* tlsFiles_[TlsFileCount];
    QPushButton* tlsFileButtons_[TlsFileCount];
    QCheckBox* chkShowPassword_;
    QCheckBox* chkRememberPassword_;
};

}  // namespace keldara::target
