#pragma once

#include <QAbstractTableModel>

#include "platform/dao/Recordset.h"

namespace keldara::shell {

// Shows a recordset in a table view without copying it: cells are read on demand.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit RecordsetModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setRecordset(const dao::Recordset* recordset);
    const dao::Recordset* recordset() const { return recordset_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const dao::Recordset* recordset_ = nullptr;
};

}  // namespace keldara::shell
