#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

#include "transfer/TransferProgress.h"

namespace keldara::cli {

// Seconds as people read them: "4.2 s" below a minute, else "m:ss" or "h:mm:ss".
QString durationText(double seconds);

// The engine's progress on standard error. On a terminal a bar with the records done, records
// per second and the time left, redrawn in place; otherwise a plain line of the same facts
// every `lineSeconds` seconds (none when 0). A stop is asked for once SIGINT or SIGTERM
// arrives; a second one ends the program at once.
class ProgressReporter : public transfer::TransferProgress {
  public:
    ProgressReporter(std::FILE* out, bool terminal, double lineSeconds);

    void setStatusText(const QString&) override {}
    void setProgressMaximum(long maximum) override;
    void setProgressValue(long value) override;
    bool stopRequested() override;
    // A line of its own: "keldara-cli: " + text.
    void notice(const QString& text) override;

    // Ends the bar's line, so that what follows starts on a line of its own.
    void finish();

  private:
    void report();

    std::FILE* out_;
    bool terminal_;
    qint64 intervalMs_;  // between reports; -1: none
    long maximum_ = 0;
    long value_ = 0;
    QElapsedTimer started_;
    qint64 lastReportMs_ = 0;
    bool barShown_ = false;
};

}  // namespace keldara::cli
