#pragma once

#include <QElapsedTimer>
#include <QStringList>

#include "platform/dao/Connection.h"
#include "shell/ui/Workspace.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// A run's progress in the window: the status text in the status bar, the record count in the
// progress bar. Between records the window's events run every few milliseconds, so that it
// repaints and its Stop button can be pressed; `stopPressed` is what that button sets. A run
// that writes to a server names it after each status text, as it may change when a lost
// server is replaced by the next of its list.
class WindowProgress : public TransferProgress {
  public:
    WindowProgress(shell::Workspace& workspace, const bool& stopPressed,
                   const dao::Connection* target = nullptr);

    void setStatusText(const QString& text) override;
    void setProgressMaximum(long maximum) override;
    void setProgressValue(long value) override;
    bool stopRequested() override;
    // Shown in the status bar, and kept: the next status text replaces it there.
    void notice(const QString& text) override;
    const QStringList& notices() const { return notices_; }

  private:
    static constexpr int EventIntervalMs = 50;

    shell::Workspace& ws_;
    const bool& stopPressed_;
    const dao::Connection* target_;
    QElapsedTimer sinceEvents_;
    QStringList notices_;
};

}  // namespace keldara::transfer
