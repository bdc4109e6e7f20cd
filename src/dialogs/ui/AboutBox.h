#pragma once

#include <QDialog>

#include "platform/Platform.h"

class QPushButton;

namespace keldara::dialogs {

// frmAbout: fixed product information and a button that starts the system information tool.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    AboutBox(platform::Platform platform, QWidget* owner);

    // Starts the system information program, or says that it is unavailable.
    void StartSysInfo();

  private:
    void showUnavailable();
    bool start(const QString& program);

    platform::Platform platform_;
    QPushButton* cmdOK_;
    QPushButton* cmdSysInfo_;
};

}  // namespace keldara::dialogs
