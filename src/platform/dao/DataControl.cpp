#include "platform/dao/DataControl.h"

namespace keldara::dao {

DataControl::DataControl(const QString& name, QObject* parent) : QObject(parent) {
    setObjectName(name);
}

void DataControl::refresh() {
    clear();
    auto connection = openConnection(connectionString);
    recordset_ = connection->openRecordset(recordSource);
    connection_ = std::move(connection);
    emit recordsetChanged(recordset_.get());
}

void DataControl::clear() {
    const bool had = recordset_ != nullptr;
    recordset_.reset();
    connection_.reset();
    if (had) emit recordsetChanged(nullptr);
}

}  // namespace keldara::dao
