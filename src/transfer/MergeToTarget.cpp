#include "transfer/MergeToTarget.h"

#include <optional>

#include "transfer/LandedRecords.h"
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
        counts = {};
        choices.restartRun();
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
        if (choices.emptyTarget) {
            if (writeActionNamed(action) == WriteAction::Update) refuseUpdateOfEmptied();
            EmptyTable(connection, table);
        }
        // An update sent again finds the same rows; an insert whose fate is unknown is looked
        // up before it is sent again.
        std::optional<LandedRecords> landed;
        long start = choices.resumeAt;
        if (writeActionNamed(action) == WriteAction::Insert && looksUpLanded(choices)) {
            start += landedBeforeStart(
                landed.emplace(connection, table, fields, choices.rejects != nullptr), choices,
                progress);
        }
        loop.startAt(start);
        loop.retryOn(connection, choices.retryForSeconds,
                     [&](long first, long end, const dao::DaoError& error) -> RecordLoop::Resumed {
                         if (!landed || !error.connectionLost()) return {first, {}};
                         const long kept = landed->landed(first, end, counts.inserted);
                         counts.inserted += kept;
                         return {first + kept, landedText(kept, end - first, landed->means())};
                     });
        loop.forEachRecord(source.recordCount(), 140, [&](long row) {
            loop.reach(160);
            statements.write(row, connection, choices, counts);
        });
    });
    counts.into(result);
    return result;
}

}  // namespace keldara::transfer
