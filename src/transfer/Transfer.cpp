#include "transfer/Transfer.h"

#include "transfer/BulkInsert.h"
#include "transfer/BulkMerge.h"
#include "transfer/MergeToTarget.h"

namespace keldara::transfer {

TransferResult Transfer(const QString& action, const QString& table, const QString& matchName,
                        const dao::Recordset& source, const shell::FieldPairing& pairing,
                        dao::Connection& connection, TransferProgress& progress,
                        const RunChoices& choices) {
    if (action == QLatin1String("BULK"))
        return BulkInsert(table, source, pairing, connection, progress, choices);
    if (action == QLatin1String("BULK-MERGE") || action == QLatin1String("BULK-UPSERT")) {
        return BulkMerge(action == QLatin1String("BULK-UPSERT"), table, matchName, source, pairing,
                         connection, progress, choices);
    }
    return MergeToTarget(action, table, matchName, source, pairing, connection, progress, choices);
}

}  // namespace keldara::transfer
