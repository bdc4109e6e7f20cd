#pragma once

#include <QObject>

#include "platform/dao/DataControl.h"
#include "shell/Profile.h"
#include "shell/ui/CaptionedGrid.h"
#include "shell/ui/RecordsetModel.h"
#include "shell/ui/Workspace.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace keldara::source {

// Page "Source Data": the source file, its tables and the loaded rows; and the sample record
// that the field mappings show. What happens here is announced by signals.
class SourcePanel : public QObject {
    Q_OBJECT
  public:
    SourcePanel(QWidget* page, shell::Workspace& workspace);

    // The texts the window shows after loading.
    void loadDefaults();

    // Switches the source controls between the open state (True) and the closed state.
    void SourceControlsEnable(bool bEnable);
    // Closes the source file and returns the source controls to their closed state. Every
    // step runs, whatever failed before it.
    void CloseSource();

    // Lists the tables of the file into the table list; silent when the file cannot be read.
    void LoadSourceTables(const QString& path);
    // Opens gSourceConnection and fills gSourceTables; false on any failure.
    bool ListSourceTables(const QString& path);
    // Loads one table into the data control, the grid, the counts and the mapping grid.
    void LoadDataSource(const QString& sFile, const QString& sTable);

    // Index 0 moves one record back, 1 one forward, anything else stays; then shows the
    // current record in the Preview column and sets the label and the buttons.
    void ShowSampleRecord(int index);
    void cmdSampleMove_Click(int index);

    // The password clause of the last "Open", used for every load of an Access table.
    const QString& sourcePasswordClause() const { return gSourcePasswordClause_; }

    // The file the last "Open" opened and the password typed for it; an empty path while no
    // file is open.
    struct OpenedFile {
        QString path;
        QString password;
    };
    const OpenedFile& openedFile() const { return openedFile_; }

    QTableView* grdSourceData() const { return grdSourceData_; }
    dao::DataControl* adoSourceData() const { return adoSourceData_; }

  signals:
    // A file was opened: its tables are listed.
    void opened();
    // A load has begun: the fields of the table loaded before are gone.
    void tableLoadStarted();
    // One field of the table being loaded, in record order, with its type's display name.
    void fieldLoaded(const QString& name, const QString& typeName);
    // The table is completely loaded (bSourceLoaded is set).
    void tableLoaded();
    // The source file was closed: no field is left.
    void closed();
    // The sample record now current: its label, which moves are possible, and the value text
    // of every field in field order.
    void sampleRecordShown(const QString& label, bool prevEnabled, bool nextEnabled,
                           const QStringList& values);
    // A move was asked for while no table is loaded: there is nothing to step through.
    void sampleUnavailable();

  private:
    void cmdSourceBrowse_Click();
    void cmdSourceConnect_Click();
    void cmdSourceClose_Click();
    void cboSourceTable_Click();
    // Asks before loading a table that would not fit in the memory left; true to go on.
    bool confirmLoadFits(const QString& sFile, const QString& sTable);

    shell::Workspace& ws_;
    QString gSourcePasswordClause_;
    OpenedFile openedFile_;
    QLineEdit* txtSourceFileName_;
    QPushButton* cmdSourceBrowse_;
    QPushButton* cmdSourceConnect_;
    QLineEdit* txtSourceFilePassword_;
    QComboBox* cboSourceTable_;
    QPushButton* cmdSourceClose_;
    QGroupBox* fraSource_;
    QLabel* lblSourceInfoData_[2];
    shell::CaptionedGrid* grdSourceData_;
    shell::RecordsetModel* sourceModel_;
    dao::DataControl* adoSourceData_;

  public:
    // The source file and table a profile keeps.
    void applyProfile(const shell::Profile& profile);
    void fillProfile(shell::Profile& profile) const;
};

}  // namespace keldara::source
