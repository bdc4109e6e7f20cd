#pragma once

#include <functional>

#include "mapping/FieldPairing.h"
#include "platform/dao/Recordset.h"

namespace keldara::transfer {

// What a run takes from the rest of the window, asked for when the run starts.
struct TransferInputs {
    // The loaded source table, or null when none is loaded.
    std::function<const dao::Recordset*()> sourceRecords;
    // The source-to-target field names the transfer writes by.
    std::function<mapping::FieldPairing()> pairing;
};

}  // namespace keldara::transfer
