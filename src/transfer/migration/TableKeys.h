#pragma once

#include <QStringList>
#include <vector>

#include "platform/dao/TableSchema.h"
#include "transfer/migration/MigrationColumnTypes.h"

namespace keldara::transfer::migration {

// A table's keys and indexes as lines of its CREATE TABLE.
struct TableKeys {
    QStringList lines;  // PRIMARY KEY (...), UNIQUE KEY `n` (...), KEY `n` (...)
    int keys = 0;       // primary and unique
    int indexes = 0;    // the others
    // The columns (by position) of each primary or unique key made over whole values, in key
    // order: what a foreign key may refer to.
    std::vector<std::vector<int>> wholeUniqueKeys;
    QStringList warnings;
};

// The keys of `table`'s indexes over its target columns (`names`, `types` by position), in
// the order primary, unique, others; each keeps its columns' order and direction. A long
// column, or columns together longer than InnoDB's key limit (3072 bytes), are indexed by a
// prefix; a unique index whose prefix might not hold a whole value becomes a plain one, as it
// could refuse rows the source holds. `counter` (-1 for none), an AUTO_INCREMENT column, gets
// an index of its own when no index starts with it.
TableKeys KeysOf(const dao::TableSchema& table, const QStringList& names,
                 const std::vector<ColumnType>& types, int counter);

}  // namespace keldara::transfer::migration
