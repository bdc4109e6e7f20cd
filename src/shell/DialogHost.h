#pragma once

#include <QString>

#include "platform/FileDialogs.h"

namespace keldara::shell {

// frmDialog: hosts one file dialog and turns its outcome into one text, the chosen path or
// "Cancel". A host serves a single dialog: callers create a fresh one for every use.
class DialogHost {
  public:
    static inline const QString CancelResult = QStringLiteral("Cancel");

    // The common-dialog settings a caller fills in before showing a dialog.
    struct CommonDialog {
        QString DialogTitle;
        QString InitDir;
        QString Filter;
        int FilterIndex = 0;
        int Flags = 0;
        bool CancelError = true;
    };

    explicit DialogHost(platform::FileDialogs& dialogs);

    CommonDialog CD;
    int Left = 0;
    int Top = 0;
    QString Tag;  // the result of the last dialog

    void ShowOpen();
    void ShowSave();
    void ShowFont();

  private:
    platform::FileDialogRequest request() const;
    platform::FileDialogs& dialogs_;
};

// Prepares the platform's common controls; there is nothing to prepare here.
bool InitCommonControlsVB();

enum class FileDialogKind { Open, Save };

// The whole calling protocol: a fresh host, the settings, the dialog, the result text.
QString askForFile(platform::FileDialogs& dialogs, FileDialogKind kind,
                   const DialogHost::CommonDialog& settings, int left, int top);

}  // namespace keldara::shell
