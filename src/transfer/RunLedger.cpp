#include "transfer/RunLedger.h"

#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"

namespace keldara::transfer {

RunLedger::RunLedger(TransferProgress& progress, const RunChoices& choices)
    : progress_(progress), choices_(choices) {}

void RunLedger::restart() {
    counts_ = {};
    held_ = false;
    if (choices_.rejects) choices_.rejects->restart();
}

bool RunLedger::refused(const dao::DaoError& error, long row, const PairedFields& fields) {
    if (!choices_.rejects || error.transient()) return false;
    choices_.rejects->add(row, error.description(), fields);
    ++counts_.refused;
    return true;
}

void RunLedger::confirm(long records) {
    if (!held_) progress_.recordsConfirmed(records);
}

void RunLedger::into(TransferResult& result) const {
    result.recordsUpdated = counts_.updated;
    result.recordsInserted = counts_.inserted;
    result.recordsUnmatched = counts_.unmatched;
    result.recordsRefused = counts_.refused;
}

}  // namespace keldara::transfer
