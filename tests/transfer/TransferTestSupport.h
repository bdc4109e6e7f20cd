#pragma once

#include <QStringList>

#include "transfer/TransferProgress.h"

namespace keldara::test {

// Records what a run reports; asks to stop once `stopAfterRecords` records are done.
struct RecordingProgress : transfer::TransferProgress {
    QStringList statuses;
    long maximum = -1;
    long value = -1;
    long stopAfterRecords = -1;
    long recordsSeen = 0;

    void setStatusText(const QString& text) override { statuses << text; }
    void setProgressMaximum(long m) override { maximum = m; }
    void setProgressValue(long v) override { value = v; }
    bool stopRequested() override { return ++recordsSeen == stopAfterRecords; }
};

}  // namespace keldara::test
