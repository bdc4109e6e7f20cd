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
    for (;;) {
        try {
            body();
            break;
        } catch (const dao::DaoError& e) {
            if (!restartable(e)) {
                fail(e);
                break;
            }
            try {
                reconnect(e, retryDeadline(currentRecord_));
            } catch (const dao::DaoError& lost) {
                fail(lost);
                break;
            }
            note(QStringLiteral("the connection was opened again (to %1) after \"%2\"; the "
                                "run started again from its first record")
                     .arg(reconnection_->serverName(), e.description()));
            result_ = {};
            currentRecord_ = inFlightLast_ = 0;
            restartsWhole_ = false;
        } catch (const std::exception& e) {
            fail(e);
            break;
        }
    }
    result_.reconnects = reconnection_ ? reconnection_->count() : 0;
    result_.resumeNotes = notes_;
    return result_;
}

void RecordLoop::fail(const std::exception& e) {
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

void RecordLoop::retryOn(dao::Connection& connection, int seconds, Resume resume) {
    if (!reconnection_) reconnection_.emplace(connection, progress_, seconds);
    resume_ = std::move(resume);
}

void RecordLoop::note(const QString& text) {
    notes_ << text;
    progress_.setStatusText(text);
}

bool RecordLoop::restartable(const dao::DaoError& error) const {
    const bool beforeFirstRecord = currentRecord_ == 0 && result_.recordsDone == 0;
    return reconnection_ && reconnection_->enabled() && error.transient() &&
           (restartsWhole_ || beforeFirstRecord);
}

void RecordLoop::reconnect(const dao::DaoError& error, const QDeadlineTimer& deadline) {
    reconnection_->reconnect(error, deadline);
}

// The time for retrying starts at the first error at a record and is not renewed by the
// errors that follow there (a lock held by another session, a node that stays not ready):
// only a record written since starts it again.
QDeadlineTimer RecordLoop::retryDeadline(long failingRow) {
    if (failingRow != failingRow_) {
        failingRow_ = failingRow;
        failingDeadline_ = reconnection_->deadline();
    }
    return failingDeadline_;
}

// Opens the connection again and asks the run where to go on; an error meanwhile that may
// pass is retried within the same time.
long RecordLoop::resumed(const dao::DaoError& error) {
    const long first = currentRecord_ - 1;
    const long end = std::max(inFlightLast_, currentRecord_);
    const QDeadlineTimer deadline = retryDeadline(first);
    dao::DaoError last = error;
    for (;;) {
        reconnect(last, deadline);
        try {
            const Resumed resumed = resume_(first, end, last);
            const QString sent =
                end - first == 1 ? QStringLiteral("record %1 was").arg(end)
                                 : QStringLiteral("records %1 to %2 were").arg(first + 1).arg(end);
            note(
                QStringLiteral("the connection was opened again (to %1) after \"%2\" while %3 "
                               "being sent; %4the run went on at record %5")
                    .arg(reconnection_->serverName(), error.description(), sent,
                         resumed.found.isEmpty() ? QString() : resumed.found + QStringLiteral("; "))
                    .arg(resumed.row + 1));
            return resumed.row;
        } catch (const dao::DaoError& again) {
            if (!again.transient()) throw;
            last = again;
        }
    }
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
    for (long row = startRow_; row < count;) {
        sendingRow(row);
        reach(firstLine);
        progress_.setProgressValue(currentRecord_);
        long sent = 0;
        try {
            sent = sendBatch(row);
        } catch (const dao::DaoError& e) {
            if (restartsWhole_ || !reconnection_ || !reconnection_->enabled() || !e.transient()) {
                throw;
            }
            try {
                row = resumed(e);
            } catch (const dao::DaoError&) {
                // The server undid the records in flight itself: a stop asked for meanwhile
                // ends the run before them, as between records.
                if (!reconnection_->stopped() || e.connectionLost()) throw;
                stopBefore(row);
                return;
            }
            continue;
        }
        row += sent;
        result_.recordsDone = row;
        if (!restartsWhole_) progress_.recordsConfirmed(row);
        if (sent > 1) progress_.setProgressValue(row);
        status(recordDoneText_ + QString::number(row));
        if (row < count && progress_.stopRequested()) {
            stopBefore(row);
            return;
        }
    }
    currentRecord_ = 0;
}

void RecordLoop::stopBefore(long row) {
    result_.outcome = TransferResult::Outcome::Stopped;
    result_.recordsDone = row;
    result_.endedAtRecord = row + 1;
    currentRecord_ = 0;
    status(QStringLiteral("Stopped at Record :") + QString::number(result_.endedAtRecord));
}

}  // namespace keldara::transfer
