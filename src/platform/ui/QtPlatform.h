#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Platform.h"

namespace keldara::platform {

class QtMessageBoxes : public MessageBoxes {
  public:
    MessageAnswer show(const MessageRequest& request) override;
    void setOwner(QWidget* owner) { owner_ = owner; }

  private:
    QPointer<QWidget> owner_;
};

// The platform's own file dialogs. The font dialog lists the screen fonts.
class QtFileDialogs : public FileDialogs {
  public:
    std::optional<QString> showOpen(const FileDialogRequest& request) override;
    std::optional<QString> showSave(const FileDialogRequest& request) override;
    std::optional<QString> showFont(const FileDialogRequest& request) override;
    void setOwner(QWidget* owner) { owner_ = owner; }

  private:
    QPointer<QWidget> owner_;
};

// Turns "Text|*.txt;*.csv|All|*.*" into Qt's "Text (*.txt *.csv);;All (*.*)" list.
QStringList qtNameFilters(const QString& filter);

// The production facilities of this platform.
struct QtPlatform {
    QtMessageBoxes messages;
    QtFileDialogs files;
    QSettingsStore settings;
    EmptyKeyStore keys;
    QtProcessStarter processes;
    SecretServiceKeyring keyring;
    SystemMemoryGauge memory;

    Platform platform() {
        return Platform{messages, files, settings, keys, processes, keyring, memory};
    }
    void setOwner(QWidget* owner) {
        messages.setOwner(owner);
        files.setOwner(owner);
    }
};

}  // namespace keldara::platform
