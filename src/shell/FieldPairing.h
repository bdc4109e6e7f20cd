#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace keldara::shell {

// One paired row of the field mappings: a source field and the target field its values are
// written to.
struct FieldPair {
    QString sourceName;
    QString targetName;
    // The source field's position among the source's fields, which tells it apart where two
    // fields share a name (a dBase file may repeat one); -1: the first field of that name.
    int sourceIndex = -1;
};

// What the transfer writes by: the paired rows in source field order. Rows whose target
// field name is empty are not in it.
using FieldPairing = std::vector<FieldPair>;

// How a pair's field is found among a table's field names: the lowest index whose element
// equals `name` once both are upper-cased, as MySQL compares column names; -1 when there is
// none (an empty list included).
int FindNameIndex(const QStringList& list, const QString& name);

}  // namespace keldara::shell
