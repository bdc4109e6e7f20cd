#include "transfer/RecordLoop.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/dao/DaoError.h"

namespace keldara::transfer {

namespace {

QString descriptionOf(const std::exception& e) {
    if (const auto* dao = dynamic_cast<const dao::DaoError*>(&e)) return dao->description();
    return QString::fromUtf8(e.what());
}

}  // namespace

RecordLoop::RecordLoop(TransferProgress& progress, QString recordDoneText)
    : progress_(progress), recordDoneText_(std::move(recordDoneText)) {}

void RecordLoop::status(const QString& text) {
    result_.message = text;
    progress_.setStatusText(text);
}

TransferResult RecordLoop::run(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        result_.outcome = TransferResult::Outcome::Failed;
        result_.endedAtRecord = currentRecord_;
        result_.errorDescription = descriptionOf(e);
        const auto* dao = dynamic_cast<const dao::DaoError*>(&e);
        if (dao && dao->connectionLost() && currentRecord_ > 0) {
            result_.connectionLost = true;
            result_.inFlightLast = std::max(inFlightLast_, currentRecord_);
        } else if (dao && dao->connectionLost() && result_.recordsDone > 0) {
            // Every record was sent; what was lost is what followed them, the run's commit.
            result_.connectionLost = result_.lostAfterLastRecord = true;
            result_.endedAtRecord = 1;
            result_.inFlightLast = result_.recordsDone;
        }
        status(QStringLiteral("ERROR MergeToTarget: ") + result_.errorDescription +
               QStringLiteral(" Line: ") + QString::number(line_));
    }
    return result_;
}

void RecordLoop::forEachRecord(long count, int firstLine,
                               const std::function<void(long row)>& perRecord) {
    forEachBatch(count, firstLine, [&](long row) {
        perRecord(row);
        return 1L;
    });
}

void RecordLoop::sendingRow(long row) {
    sendingRows(row, row + 1);
}

void RecordLoop::sendingRows(long first, long end) {
    currentRecord_ = first + 1;
    inFlightLast_ = end;
    result_.recordsDone = first;
}

void RecordLoop::forEachBatch(long count, int firstLine,
                              const std::function<long(long firstRow)>& sendBatch) {
    for (long row = 0; row < count;) {
        sendingRow(row);
        reach(firstLine);
        progress_.setProgressValue(currentRecord_);
        const long sent = sendBatch(row);
        row += sent;
        result_.recordsDone = row;
        if (sent > 1) progress_.setProgressValue(row);
        status(recordDoneText_ + QString::number(row));
        if (row < count && progress_.stopRequested()) {
            result_.outcome = TransferResult::Outcome::Stopped;
            result_.endedAtRecord = row + 1;
            status(QStringLiteral("Stopped at Record :") + QString::number(result_.endedAtRecord));
            return;
        }
    }
    currentRecord_ = 0;
}

}  // namespace keldara::transfer
