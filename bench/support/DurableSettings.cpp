#include "DurableSettings.h"

namespace keldara::bench {

namespace {

QString valueOf(dao::Connection& connection, const QString& variable) {
    return connection.openRecordset("SELECT " + variable)->valueAt(0, 0).standardText();
}

}  // namespace

DurableSettings::DurableSettings(dao::Connection& connection)
    : connection_(connection),
      poolBefore_(valueOf(connection, "@@innodb_buffer_pool_size")),
      flushBefore_(valueOf(connection, "@@innodb_flush_log_at_trx_commit")) {
    connection_.execute("SET GLOBAL innodb_buffer_pool_size = 134217728");
    connection_.execute("SET GLOBAL innodb_flush_log_at_trx_commit = 1");
}

DurableSettings::~DurableSettings() {
    try {
        connection_.execute("SET GLOBAL innodb_buffer_pool_size = " + poolBefore_);
        connection_.execute("SET GLOBAL innodb_flush_log_at_trx_commit = " + flushBefore_);
    } catch (...) {
    }
}

}  // namespace keldara::bench
