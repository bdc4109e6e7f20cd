#pragma once

#include <QDeadlineTimer>
#include <limits>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// How a run meets a transient error (a lost connection, a deadlock, a lock wait, a node not
// ready): the connection is opened again, trying again and again with growing pauses until the
// time for retrying at the failing record is up. That time starts at the first error at a
// record and is shared by every error there, however many tries it takes: only a record
// written since starts it again. The window's Stop (the progress's stop request) ends the
// waiting.
class RetryPolicy {
  public:
    RetryPolicy(dao::Connection& connection, TransferProgress& progress, int seconds);

    // Whether `error` is retried at all.
    bool retries(const dao::DaoError& error) const { return seconds_ > 0 && error.transient(); }
    // Opens the connection again after a pause, `error` having met the record of
    // `failingRow`; throws `error` when no try succeeded in the time for retrying at that
    // record or a stop was asked for. After an error the server undid a transaction for
    // (a lock wait timeout, a deadlock), the new session waits for a lock no longer than the
    // time left, so that a lock another session keeps holding ends the retrying in time.
    void reconnect(const dao::DaoError& error, long failingRow);
    // The last reconnect gave up because a stop was asked for.
    bool stopped() const { return stopped_; }
    int count() const { return count_; }
    // The server the connection is open to.
    QString serverName() const { return connection_.serverName(); }

  private:
    QDeadlineTimer deadlineAt(long failingRow);
    bool pausedWithoutStop(int milliseconds, const QDeadlineTimer& deadline);
    void limitLockWait(const QDeadlineTimer& deadline);

    dao::Connection& connection_;
    TransferProgress& progress_;
    int seconds_;
    int count_ = 0;
    bool stopped_ = false;
    long failingRow_ = std::numeric_limits<long>::min();
    QDeadlineTimer failingDeadline_;
};

}  // namespace keldara::transfer
