#pragma once

#include <QStringList>

#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
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

// Records k, v, n from 1 to `count`: k, "v" + k, and k * 7.
inline dao::Recordset numberedRecords(long count) {
    dao::Recordset rs(
        {{"k", dao::adType::Integer}, {"v", dao::adType::VarWChar}, {"n", dao::adType::Integer}});
    for (long k = 1; k <= count; ++k) {
        rs.appendRow(std::vector<dao::Value>{dao::Value::integer(k),
                                             dao::Value::text(QStringLiteral("v%1").arg(k)),
                                             dao::Value::integer(k * 7)});
    }
    return rs;
}

}  // namespace keldara::test
