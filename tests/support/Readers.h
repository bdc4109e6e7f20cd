#pragma once

#include <QStringList>
#include <memory>

#include "platform/dao/Connection.h"

namespace keldara::test {

// The tables a connection's catalogue lists.
inline QStringList tableNames(dao::Connection& connection) {
    const auto catalogue = connection.openTableCatalogue();
    QStringList names;
    for (long row = 0; row < catalogue->recordCount(); ++row)
        names << catalogue->valueAt(row, 0).toText();
    return names;
}

inline std::unique_ptr<dao::Recordset> selectAll(dao::Connection& connection,
                                                 const QString& table) {
    return connection.openRecordset(QStringLiteral("SELECT * FROM [") + table + u']');
}

inline QStringList fieldNames(const dao::Recordset& records) {
    QStringList names;
    for (int i = 0; i < records.fieldCount(); ++i) names << records.fieldInfo(i).name;
    return names;
}

}  // namespace keldara::test
