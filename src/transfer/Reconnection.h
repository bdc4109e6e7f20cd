#pragma once

#include <QDeadlineTimer>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// Opens a run's connection again after a transient error, trying again and again with
// growing pauses until the run's time for retrying is up. The window's Stop (the progress's
// stop request) ends the waiting.
class Reconnection {
  public:
    Reconnection(dao::Connection& connection, TransferProgress& progress, int seconds);

    bool enabled() const { return seconds_ > 0; }
    // A deadline `seconds` from now, shared by the tries after one error.
    QDeadlineTimer deadline() const;
    // Opens the connection again after a pause; throws `error` when no try succeeded before
    // `deadline` or a stop was asked for. After an error the server undid a transaction for
    // (a lock wait timeout, a deadlock), the new session waits for a lock no longer than the
    // time left, so that a lock another session keeps holding ends the retrying in time.
    void reconnect(const dao::DaoError& error, const QDeadlineTimer& deadline);
    // The last reconnect gave up because a stop was asked for.
    bool stopped() const { return stopped_; }
    int count() const { return count_; }
    // The server the connection is open to.
    QString serverName() const { return connection_.serverName(); }

  private:
    bool pausedWithoutStop(int milliseconds, const QDeadlineTimer& deadline);
    void limitLockWait(const QDeadlineTimer& deadline);

    dao::Connection& connection_;
    TransferProgress& progress_;
    int seconds_;
    int count_ = 0;
    bool stopped_ = false;
};

}  // namespace keldara::transfer
