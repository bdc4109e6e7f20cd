#include "shell/ui/RecordsetModel.h"

namespace keldara::shell {

void RecordsetModel::setRecordset(const dao::Recordset* recordset) {
    beginResetModel();
    recordset_ = recordset;
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !recordset_) return 0;
    return static_cast<int>(std::min<long>(recordset_->recordCount(), INT_MAX));
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !recordset_) return 0;
    return recordset_->fieldCount();
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!recordset_ || !index.isValid()) return {};
    if (role == Qt::DisplayRole) {
        return recordset_->valueAt(index.row(), index.column()).displayText();
    }
    if (role == Qt::TextAlignmentRole) {
        switch (recordset_->kindAt(index.row(), index.column())) {
            case dao::ValueKind::Integer:
            case dao::ValueKind::Double:
            case dao::ValueKind::Decimal:
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            default:
                return {};
        }
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (!recordset_ || section >= recordset_->fieldCount()) return {};
    return recordset_->fieldInfo(section).name;
}

}  // namespace keldara::shell
