#include "transfer/TransferRun.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "shell/ProcedureError.h"

namespace keldara::transfer {

namespace {

// The records of a run sent one at a time by a function.
class EachRecord : public Sender {
  public:
    explicit EachRecord(const std::function<void(long row)>& perRecord) : perRecord_(perRecord) {}
    long send(long first, long /*count*/) override {
        perRecord_(first);
        return 1;
    }

  private:
    const std::function<void(long row)>& perRecord_;
};

}  // namespace

TransferRun::TransferRun(TransferProgress& progress, QString recordDoneText,
                         const RunChoices& choices)
    : progress_(progress),
      choices_(choices),
      recordDoneText_(std::move(recordDoneText)),
      ledger_(progress, choices_) {}

void TransferRun::status(const QString& text) {
    result_.message = text;
    progress_.setStatusText(text);
}

PairedFields TransferRun::merging(const dao::Recordset& source,
                                  const shell::FieldPairing& pairing) {
    reach(100);
    status(QStringLiteral("Merging"));
    reach(110);
    return PairedFields(source, pairing);
}

TransferResult TransferRun::run(const std::function<void()>& body) {
    for (;;) {
        ledger_.restart();
        undone_ = false;
        try {
            body();
            break;
        } catch (const dao::DaoError& e) {
            if (!restartable(e)) {
                fail(e);
                break;
            }
            try {
                retry_->reconnect(e, firstInFlight_);
            } catch (const dao::DaoError& lost) {
                fail(lost);
                break;
            }
            note(QStringLiteral("the connection was opened again (to %1) after \"%2\"; the "
                                "run started again from its first record")
                     .arg(retry_->serverName(), e.description()));
            result_ = {};
            currentRecord_ = inFlightLast_ = firstInFlight_ = 0;
            whole_ = false;
        } catch (const std::exception& e) {
            fail(e);
            break;
        }
    }
    ledger_.into(result_);
    if (undone_) {
        result_.undone = true;
        result_.recordsDone = 0;
        result_.recordsUpdated = result_.recordsInserted = result_.recordsUnmatched = 0;
    }
    result_.reconnects = retry_ ? retry_->count() : 0;
    result_.resumeNotes = notes_;
    ledger_.ended(result_);
    return result_;
}

void TransferRun::fail(const std::exception& e) {
    result_.outcome = TransferResult::Outcome::Failed;
    result_.endedAtRecord = currentRecord_;
    result_.errorDescription = shell::errorDescription(e);
    const auto* dao = dynamic_cast<const dao::DaoError*>(&e);
    if (dao && dao->connectionLost() && currentRecord_ > 0) {
        // A batch's records before the one being sent are not known kept either.
        result_.endedAtRecord = firstInFlight_ + 1;
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

void TransferRun::retryOn(dao::Connection& connection) {
    if (!retry_) retry_.emplace(connection, progress_, choices_.retryForSeconds);
}

void TransferRun::holdWhole(bool whole) {
    whole_ = whole;
    ledger_.holdUntilKept(whole);
}

void TransferRun::note(const QString& text) {
    notes_ << text;
    progress_.setStatusText(text);
}

bool TransferRun::restartable(const dao::DaoError& error) const {
    const bool beforeFirstRecord = currentRecord_ == 0 && result_.recordsDone == 0;
    return retry_ && retry_->retries(error) && (whole_ || beforeFirstRecord);
}

// Opens the connection again and asks the sender where to go on; an error meanwhile that may
// pass is retried within the same time.
long TransferRun::resumed(const dao::DaoError& error, Sender& sender) {
    const long first = firstInFlight_;
    const long end = std::max(inFlightLast_, currentRecord_);
    dao::DaoError last = error;
    for (;;) {
        retry_->reconnect(last, first);
        try {
            const Sender::Resumed resumed = sender.resume(first, end, last);
            const QString sent =
                end - first == 1 ? QStringLiteral("record %1 was").arg(end)
                                 : QStringLiteral("records %1 to %2 were").arg(first + 1).arg(end);
            note(
                QStringLiteral("the connection was opened again (to %1) after \"%2\" while %3 "
                               "being sent; %4the run went on at record %5")
                    .arg(retry_->serverName(), error.description(), sent,
                         resumed.found.isEmpty() ? QString() : resumed.found + QStringLiteral("; "))
                    .arg(resumed.row + 1));
            return resumed.row;
        } catch (const dao::DaoError& again) {
            if (!again.transient()) throw;
            last = again;
        }
    }
}

void TransferRun::forEachRecord(long count, int firstLine,
                                const std::function<void(long row)>& perRecord) {
    EachRecord sender(perRecord);
    forEachBatch(count, firstLine, sender);
}

void TransferRun::sendingRows(long first, long end) {
    firstInFlight_ = first;
    currentRecord_ = first + 1;
    inFlightLast_ = end;
    result_.recordsDone = first;
}

void TransferRun::sendingWithin(long row) {
    currentRecord_ = inFlightLast_ = row + 1;
    progress_.setProgressValue(currentRecord_);
}

void TransferRun::forEachBatch(long count, int firstLine, Sender& sender) {
    for (long row = startRow_; row < count;) {
        sendingRow(row);
        reach(firstLine);
        progress_.setProgressValue(currentRecord_);
        long sent = 0;
        try {
            sent = sender.send(row, count);
        } catch (const dao::DaoError& e) {
            if (whole_ || !retry_ || !retry_->retries(e)) throw;
            try {
                row = resumed(e, sender);
            } catch (const dao::DaoError&) {
                // The server undid the records in flight itself: a stop asked for meanwhile
                // ends the run before them, as between records.
                if (!retry_->stopped() || e.connectionLost()) throw;
                stopBefore(row);
                return;
            }
            continue;
        }
        row += sent;
        batchDone(row, sent);
        if (row < count && (std::exchange(stopAsked_, false) || progress_.stopRequested())) {
            stopBefore(row);
            return;
        }
    }
    currentRecord_ = 0;
}

void TransferRun::batchDone(long row, long sent) {
    result_.recordsDone = row;
    ledger_.confirm(row);
    if (sent > 1) progress_.setProgressValue(row);
    status(recordDoneText_ + QString::number(row));
}

void TransferRun::stopBefore(long row) {
    result_.outcome = TransferResult::Outcome::Stopped;
    result_.recordsDone = row;
    result_.endedAtRecord = row + 1;
    currentRecord_ = 0;
    status(QStringLiteral("Stopped at Record :") + QString::number(result_.endedAtRecord));
}

}  // namespace keldara::transfer
