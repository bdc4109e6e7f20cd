#pragma once

#include <QStringList>
#include <vector>

#include "platform/dao/TableSchema.h"
#include "transfer/migration/MigrationPlan.h"

namespace keldara::transfer::migration {

// A planned table as a relationship sees it: its plan, and the columns (by position, in key
// order) of each primary or unique key made over whole values.
struct KeyedTable {
    const TablePlan* plan = nullptr;
    std::vector<std::vector<int>> wholeUniqueKeys;
};

// The foreign keys of the relationships between `tables`, multi-column ones as one, with
// ON UPDATE / ON DELETE CASCADE where the relationship has it, each named uniquely in the
// database (not taking `takenNames`, the indexes' names). A relationship that is not enforced,
// whose table is not moved, whose referenced columns are no whole key, or whose column types
// differ is left out, with a warning in `warnings`.
QStringList ForeignKeysOf(const std::vector<dao::RelationshipSchema>& relationships,
                          const std::vector<KeyedTable>& tables, const QStringList& takenNames,
                          QStringList& warnings);

}  // namespace keldara::transfer::migration
