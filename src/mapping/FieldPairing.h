#pragma once

#include <QString>
#include <vector>

namespace keldara::mapping {

// One paired row of the field mappings: a source field and the target field its values are
// written to.
struct FieldPair {
    QString sourceName;
    QString targetName;
};

// What the transfer writes by: the paired rows in source field order. Rows whose target
// field name is empty are not in it.
using FieldPairing = std::vector<FieldPair>;

}  // namespace keldara::mapping
