#pragma once

#include <QString>
#include <functional>

#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"

namespace keldara::transfer {

// What a run takes from the rest of the window, asked for when the run starts.
struct TransferInputs {
    // The loaded source table, or null when none is loaded.
    std::function<const dao::Recordset*()> sourceRecords;
    // The source-to-target field names the transfer writes by.
    std::function<shell::FieldPairing()> pairing;
    // What the loaded source table is (its file and table) and where the loaded target table
    // lies (its server and database): the same texts whenever the same tables are loaded again,
    // so that a run is known again by what defines it.
    std::function<QString()> sourceName;
    std::function<QString()> targetName;
};

}  // namespace keldara::transfer
