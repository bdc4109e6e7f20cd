#pragma once

#include <QStringList>
#include <memory>
#include <string>

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

// A table as text: a line of its fields (name, type and any note in parentheses), then a line
// of SQL literals for each record.
inline std::string tableText(const dao::Recordset& records) {
    QStringList lines, fields;
    for (int f = 0; f < records.fieldCount(); ++f) {
        const QString note = records.fieldNote(f);
        fields << records.fieldInfo(f).name + u' ' + QString::number(records.fieldInfo(f).type) +
                      (note.isEmpty() ? QString() : QStringLiteral(" (") + note + u')');
    }
    lines << fields.join(QLatin1String(", "));
    for (long row = 0; row < records.recordCount(); ++row) {
        QStringList values;
        for (int f = 0; f < records.fieldCount(); ++f)
            values << records.valueAt(row, f).sqlLiteral();
        lines << values.join(QLatin1String(", "));
    }
    return lines.join(u'\n').toStdString();
}

}  // namespace keldara::test
