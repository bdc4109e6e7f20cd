#include "transfer/RetryPolicy.h"

#include <QThread>
#include <algorithm>

namespace keldara::transfer {

namespace {

constexpr int kFirstPauseMs = 250;
constexpr int kLongestPauseMs = 8000;
constexpr int kStopCheckMs = 100;

}  // namespace

RetryPolicy::RetryPolicy(dao::Connection& connection, TransferProgress& progress, int seconds)
    : connection_(connection), progress_(progress), seconds_(seconds) {}

QDeadlineTimer RetryPolicy::deadlineAt(long failingRow) {
    if (failingRow != failingRow_) {
        failingRow_ = failingRow;
        failingDeadline_ = QDeadlineTimer(std::chrono::seconds(seconds_));
    }
    return failingDeadline_;
}

void RetryPolicy::reconnect(const dao::DaoError& error, long failingRow) {
    const QDeadlineTimer deadline = deadlineAt(failingRow);
    int pause = kFirstPauseMs;
    stopped_ = false;
    for (int attempt = 1;; ++attempt) {
        if (!pausedWithoutStop(pause, deadline)) throw error;
        progress_.setStatusText(QStringLiteral("Reconnecting after \"%1\" (try %2)")
                                    .arg(error.description(), QString::number(attempt)));
        try {
            connection_.reconnect();
            ++count_;
            if (!error.connectionLost()) limitLockWait(deadline);
            return;
        } catch (const dao::DaoError&) {
            if (deadline.hasExpired()) throw error;
        }
        pause = std::clamp(pause * 2, kFirstPauseMs, kLongestPauseMs);
    }
}

// Waits up to `milliseconds` (no longer than the deadline), asking for a stop meanwhile; false
// when a stop was asked for or the deadline passed.
bool RetryPolicy::pausedWithoutStop(int milliseconds, const QDeadlineTimer& deadline) {
    const QDeadlineTimer pause(std::min<qint64>(milliseconds, deadline.remainingTime()));
    while (!pause.hasExpired()) {
        if (progress_.stopRequested()) {
            stopped_ = true;
            return false;
        }
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(kStopCheckMs, pause.remainingTime())));
    }
    return !deadline.hasExpired() || milliseconds == 0;
}

void RetryPolicy::limitLockWait(const QDeadlineTimer& deadline) {
    const qint64 seconds = std::max<qint64>(1, (deadline.remainingTime() + 999) / 1000);
    try {
        connection_.execute(
            QStringLiteral("SET SESSION innodb_lock_wait_timeout = %1").arg(seconds));
    } catch (const dao::DaoError&) {  // a server without it; the statement that follows tells
    }
}

}  // namespace keldara::transfer
