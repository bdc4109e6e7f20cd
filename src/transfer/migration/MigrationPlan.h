#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/dao/Field.h"
#include "platform/dao/TableSchema.h"

// What moving a whole source database makes on the MySQL side: a table for each source table,
// with its keys, indexes, counters, defaults and comments, and the source's relationships as
// foreign keys added once every table holds its data.
namespace keldara::transfer::migration {

// One table to move.
struct TablePlan {
    QString sourceName;       // as the source lists it
    QString targetName;       // a valid MySQL table name, unique in the plan (letter case ignored)
    dao::TableSchema schema;  // the source's structure, names as the source spells them
    QStringList columnNames;  // the target column of each schema column, in order
    QStringList columnTypes;  // the MySQL type of each target column, in order
    QString createTable;      // CREATE TABLE ... ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 (no ';')
    QString autoIncrementColumn;  // the counter to carry past the highest value; empty if none
    int keys = 0;                 // primary and unique keys made
    int indexes = 0;              // other indexes made
    QStringList renamed;   // names that changed: `table "A B " -> "A B"`, `column "x" -> "x_2"`
    QStringList warnings;  // what could not be made as the source has it, and why
};

struct MigrationPlan {
    std::vector<TablePlan> tables;
    // ALTER TABLE ... ADD CONSTRAINT ... FOREIGN KEY ..., to run after all data (no ';').
    QStringList foreignKeys;
    QStringList warnings;  // relationships left out, and why
};

// The longest value of a text column of a source table in characters; -1 when unknown.
using LongestText = std::function<long long(const QString& table, const QString& column)>;

// The plan for `schema`'s tables, in their order. `targetNames` may name the target table of a
// source table (by its source name; still made valid and unique). `longestText` tells, for a
// long text column, the longest value, so that it becomes MEDIUMTEXT when that fits and
// LONGTEXT otherwise (also when it is not told). Relationships with a table outside the
// schema's tables are left out with a warning.
MigrationPlan PlanMigration(const dao::DatabaseSchema& schema,
                            const QHash<QString, QString>& targetNames = {},
                            const LongestText& longestText = {});

// The dry run: SET NAMES utf8mb4, every CREATE TABLE, then every foreign key, as one script for
// the mariadb client (each statement ends in ';' and is followed by an empty line).
QString MigrationScript(const MigrationPlan& plan);

}  // namespace keldara::transfer::migration
