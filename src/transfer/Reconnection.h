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
    // Opens the connection again; throws `error` when no try succeeded before `deadline` or a
    // stop was asked for.
    void reconnect(const dao::DaoError& error, const QDeadlineTimer& deadline);
    int count() const { return count_; }
    // The server the connection is open to.
    QString serverName() const { return connection_.serverName(); }

  private:
    bool pausedWithoutStop(int milliseconds, const QDeadlineTimer& deadline);

    dao::Connection& connection_;
    TransferProgress& progress_;
    int seconds_;
    int count_ = 0;
};

}  // namespace keldara::transfer
