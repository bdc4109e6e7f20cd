#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"

namespace keldara::dao {

// A data control: runs its record source on a connection of its own and holds the result
// for the grid bound to it. Not visible.
class DataControl : public QObject {
    Q_OBJECT
  public:
    explicit DataControl(const QString& name, QObject* parent = nullptr);

    QString connectionString;
    int commandType = 1;  // text
    QString recordSource;

    // Opens a fresh connection and runs the record source; throws DaoError.
    void refresh();
    // Drops the recordset and the connection.
    void clear();
    Recordset* recordset() const { return recordset_.get(); }

  signals:
    void recordsetChanged(keldara::dao::Recordset* recordset);

  private:
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Recordset> recordset_;
};

}  // namespace keldara::dao
