#include "transfer/MergeToTarget.h"

#include "transfer/RunTransaction.h"
#include "transfer/StatementSender.h"
#include "transfer/TransferRun.h"

namespace keldara::transfer {

TransferResult MergeToTarget(const QString& action, const QString& table, const QString& matchName,
                             const dao::Recordset& source, const shell::FieldPairing& pairing,
                             dao::Connection& connection, TransferProgress& progress,
                             const RunChoices& choices) {
    TransferRun run(progress, QStringLiteral("Copied Record :"), choices);
    return run.run([&] {
        const PairedFields fields = run.merging(source, pairing);
        run.reach(120);
        const WriteAction write = writeActionNamed(action);
        StatementSender sender(write, table, matchName, fields, connection, run,
                               choices.literalStatements ? StatementSender::Form::Text
                                                         : StatementSender::Form::Prepared);
        run.reach(130);
        progress.setProgressMaximum(source.recordCount());
        if (choices.emptyTarget) {
            if (write == WriteAction::Update) refuseUpdateOfEmptied();
            EmptyTable(connection, table);
        }
        run.startAt(sender.startRow());
        run.retryOn(connection);
        run.forEachBatch(source.recordCount(), 140, sender);
    });
}

}  // namespace keldara::transfer
