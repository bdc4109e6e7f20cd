#pragma once

#include <QString>

#include "platform/dao/Connection.h"

namespace keldara::bench {

// MariaDB's defaults for the InnoDB buffer pool (128 MB) and log flushing (each commit on disk)
// on the server of `connection`, for as long as this lives; the settings before are put back
// after (a server that cannot be reached then is left as it is).
class DurableSettings {
  public:
    explicit DurableSettings(dao::Connection& connection);
    ~DurableSettings();
    DurableSettings(const DurableSettings&) = delete;
    DurableSettings& operator=(const DurableSettings&) = delete;

  private:
    dao::Connection& connection_;
    QString poolBefore_;
    QString flushBefore_;
};

}  // namespace keldara::bench
