#include "transfer/MergeToTarget.h"

#include "transfer/PairedFields.h"
#include "transfer/RecordLoop.h"
#include "transfer/RecordStatements.h"

namespace keldara::transfer {

TransferResult MergeToTarget(const QString& action, const QString& table, const QString& matchName,
                             const dao::Recordset& source, const mapping::FieldPairing& pairing,
                             dao::Connection& connection, TransferProgress& progress,
                             const RunChoices& choices) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    RecordCounts counts;
    TransferResult result = loop.run([&] {
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const PairedFields fields(source, pairing);
        loop.reach(120);
        RecordStatements statements(
            writeActionNamed(action), table, matchName, fields,
            choices.literalStatements ? RecordSender::text() : RecordSender::prepared(progress));
        loop.reach(130);
        progress.setProgressMaximum(source.recordCount());
        if (choices.emptyTarget) EmptyTable(connection, table);
        loop.forEachRecord(source.recordCount(), 140, [&](long row) {
            loop.reach(160);
            statements.write(row, connection, choices, counts);
        });
    });
    counts.into(result);
    return result;
}

}  // namespace keldara::transfer
