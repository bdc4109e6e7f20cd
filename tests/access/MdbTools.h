// Debian's mdbtools as the oracle of the Access provider's tests.
#pragma once

#include <gtest/gtest.h>

#include <QJsonValue>
#include <QStringList>
#include <QTime>
#include <cmath>
#include <map>

#include "platform/dao/Connection.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"
#include "support/Paths.h"

namespace keldara::test {

using namespace keldara::dao;

inline std::unique_ptr<Connection> openAccess(const QString& path, const QString& password = {}) {
    return openConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                          ";Jet OLEDB:Database Password=" + password);
}

// A table as its fields' values and notes, by field name.
struct Table {
    std::map<QString, std::vector<Value>> values;
    std::map<QString, QString> notes;
    std::map<QString, FieldInfo> fields;
};

inline Table readTable(const QString& path, const QString& table) {
    const auto records = selectAll(*openAccess(path), table);
    Table read;
    for (int f = 0; f < records->fieldCount(); ++f) {
        const QString name = records->fieldInfo(f).name;
        read.fields[name] = records->fieldInfo(f);
        read.notes[name] = records->fieldNote(f);
        for (long row = 0; row < records->recordCount(); ++row)
            read.values[name].push_back(records->valueAt(row, f));
    }
    return read;
}

// Debian's mdbtools through mdb_export.py (which says what it prints): the tables mdb-tables
// lists and the given ones (none: every listed table) as mdb-export reads them.
inline QJsonObject mdbExport(const QString& file, const QStringList& tables = {},
                             const QStringList& options = {}) {
    return oracleOutput(QStringList{sourceDir() + QStringLiteral("/tests/access/mdb_export.py")} +
                        options + QStringList{file} + tables)
        .object();
}

// mdb-export's cell in the form Oracle.h compares. mdb-export prints a zero-length text as
// NULL too, dates outside 1900..9999 as "1900-01-00" (the value tests assert those), every
// date with its time of day, doubles to 15 digits or so and singles to 8.
inline QJsonValue oracleCell(int type, const Value& mine, const QJsonValue& theirCell) {
    if (theirCell.isNull())
        return mine == Value::text(QString()) ? QJsonValue(QString()) : QJsonValue();
    const QString theirs = theirCell.toString();
    const bool same = [&] {
        if (mine.isDateLike()) {
            const DateTime& dt = mine.toDateTime();
            return theirs.startsWith(QLatin1String("1900-01-00 ")) ||
                   isoDateText(dt) + QTime(dt.hour, dt.minute, dt.second).toString(u" HH:mm:ss") ==
                       theirs;
        }
        if (mine.kind() == ValueKind::Double) {
            const double a = mine.toDouble(), b = theirs.toDouble();
            return type == adType::Single
                       ? float(a) == theirs.toFloat()
                       : std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
        }
        return mine.kind() == ValueKind::Bytes && mine.standardText() == theirs.toUpper();
    }();
    return same ? mine.standardText() : theirs;
}

}  // namespace keldara::test
