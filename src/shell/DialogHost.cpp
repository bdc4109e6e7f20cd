#include "shell/DialogHost.h"

namespace keldara::shell {

bool InitCommonControlsVB() {
    return true;
}

DialogHost::DialogHost(platform::FileDialogs& dialogs) : dialogs_(dialogs) {
    InitCommonControlsVB();
}

platform::FileDialogRequest DialogHost::request() const {
    platform::FileDialogRequest r;
    r.title = CD.DialogTitle;
    r.initialFolder = CD.InitDir;
    r.filter = CD.Filter;
    r.filterIndex = CD.FilterIndex;
    r.flags = CD.Flags;
    r.left = Left;
    r.top = Top;
    return r;
}

void DialogHost::ShowOpen() {
    CD.CancelError = true;
    Tag = dialogs_.showOpen(request()).value_or(CancelResult);
}

void DialogHost::ShowSave() {
    CD.CancelError = true;
    Tag = dialogs_.showSave(request()).value_or(CancelResult);
}

void DialogHost::ShowFont() {
    CD.CancelError = true;
    CD.Flags = 1;  // screen fonts only
    Tag = dialogs_.showFont(request()).value_or(CancelResult);
}

QString askForFile(platform::FileDialogs& dialogs, FileDialogKind kind,
                   const DialogHost::CommonDialog& settings, int left, int top) {
    DialogHost host(dialogs);
    host.CD = settings;
    host.Left = left;
    host.Top = top;
    if (kind == FileDialogKind::Open) {
        host.ShowOpen();
    } else {
        host.ShowSave();
    }
    return host.Tag;
}

}  // namespace keldara::shell
