#include "transfer/MergeToTarget.h"

#include "transfer/PairedFields.h"
#include "transfer/RecordLoop.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

TransferResult MergeToTarget(const QString& action, const QString& table, const QString& matchName,
                             const dao::Recordset& source, const mapping::FieldPairing& pairing,
                             dao::Connection& connection, TransferProgress& progress) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    long unmatched = 0;
    TransferResult result = loop.run([&] {
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const PairedFields fields(source, pairing);
        loop.reach(120);
        const QStringList& names = fields.names;
        const bool update = action == QLatin1String("UPDATE");
        if (!update && action != QLatin1String("INSERT")) {
            refuseRun(QStringLiteral("Unknown action \"%1\".").arg(action));
        }
        if (update) fields.requireMergeMatch(matchName);
        loop.reach(130);
        progress.setProgressMaximum(source.recordCount());
        // The text of a statement but for its values is the same for every record: it is
        // written once, and each record's values into the same buffer.
        const QString quotedTable = QuoteIdentifier(table);
        const QString insertHead = update ? QString() : InsertHead(quotedTable, names);
        QString insert = insertHead;
        UpdateStatement updateStatement(quotedTable, names, matchName);
        loop.forEachRecord(source.recordCount(), 140, [&](long row) {
            const QStringList literals = fields.literals(row);
            loop.reach(150);
            if (!update) {
                insert.truncate(insertHead.size());
                AppendValueRow(insert, literals);
            }
            const QString& statement = update ? updateStatement.text(literals) : insert;
            loop.reach(160);
            const long long found = connection.executeCounted(statement);
            if (update && found == 0) ++unmatched;
        });
    });
    result.recordsUnmatched = unmatched;
    return result;
}

}  // namespace keldara::transfer
