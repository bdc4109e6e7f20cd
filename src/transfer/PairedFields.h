#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"

namespace keldara::transfer {

// The fields a transfer writes: the recordset column and the target name of each pair, in
// pairing order. Throws std::runtime_error for a pairing without fields, with a source
// name the recordset lacks, or with two source fields paired with one target field (names
// compared ignoring letter case, as MySQL compares column names).
struct PairedFields {
    PairedFields(const dao::Recordset& source, const shell::FieldPairing& pairing);

    // For a merge: throws std::runtime_error unless `matchName` is a paired target name
    // (ignoring letter case) and another paired field is left to write.
    void requireMergeMatch(const QString& matchName) const;

    // The SQL literals (transferLiteral) of the paired fields of one record.
    QStringList literals(long row) const;
    // The values (transferValue) of the paired fields of one record.
    std::vector<dao::Value> values(long row) const;

    const dao::Recordset& source;
    std::vector<int> columns;
    QStringList names;
};

// Ends a run before its first statement with `description`.
[[noreturn]] void refuseRun(const QString& description);

}  // namespace keldara::transfer
