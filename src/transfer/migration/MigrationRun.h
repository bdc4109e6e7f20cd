#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "transfer/migration/MigrationPlan.h"
#include "transfer/migration/MigrationReport.h"

namespace keldara::transfer::migration {

// What a migration does with a table that exists in the target database already.
enum class IfExists { Fail, Skip, Replace, Append };

struct MigrationOptions {
    IfExists ifExists = IfExists::Fail;
    int jobs = 2;             // tables loaded at once
    int retryForSeconds = 0;  // transient errors are retried for so long (0: never)
    QString statePath;        // where the run keeps what it has done, to be resumed; empty: none
    QString sourceName;       // what the state file knows the source by
};

// How a migration reaches its source and its target. Both are called from the threads that
// load tables side by side.
struct MigrationEnds {
    // The records of a source table, read once in order; throws DaoError (the reader's words).
    std::function<std::unique_ptr<dao::Recordset>(const QString& table)> openTable;
    // A new session to the target database.
    std::function<std::unique_ptr<dao::Connection>()> connect;
};

// How a migration reports as it goes; called from the threads that load tables.
class MigrationProgress {
  public:
    virtual ~MigrationProgress() = default;
    virtual void tableStarted(const QString& /*target*/, long /*rows*/) {}
    virtual void tableProgress(const QString& /*target*/, long /*rowsDone*/) {}
    virtual void tableDone(const TableReport& /*table*/) {}
    // True ends the migration: the tables being loaded stop, no other is begun.
    virtual bool stopRequested() { return false; }
};

// A migration that cannot begin: the tables that exist where `--if-exists fail` is asked.
struct MigrationRefused {
    QString message;
};

// The plan's tables that exist in the database `connection` is open on.
QStringList ExistingTables(dao::Connection& connection, const MigrationPlan& plan);

// Moves every table of `plan`: creates it (or leaves, empties or appends to one that exists, as
// `options` say), loads its records by the bulk insert with foreign-key checks off and a 0 kept
// in an AUTO_INCREMENT column, checks its row count against the source's, and sets its counter
// past the highest value; `options.jobs` tables at a time. Then every relationship is added
// as a foreign key (one the data does not satisfy is a warning). A table that fails is
// reported and the others go on. Throws MigrationRefused before anything is written when
// tables exist and `options.ifExists` is Fail (tables a resumed run made aside).
MigrationReport Migrate(const MigrationPlan& plan, const MigrationEnds& ends,
                        const MigrationOptions& options, MigrationProgress& progress);

}  // namespace keldara::transfer::migration
