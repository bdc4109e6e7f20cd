#include "transfer/MergeToTarget.h"

#include <QStringList>
#include <stdexcept>
#include <vector>

#include "transfer/RecordLoop.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

[[noreturn]] void refuse(const QString& description) {
    throw std::runtime_error(description.toStdString());
}

int sourceColumn(const dao::Recordset& source, const QString& name) {
    for (int i = 0; i < source.fieldCount(); ++i) {
        if (source.fieldInfo(i).name == name) return i;
    }
    refuse(QStringLiteral("The source table has no field \"%1\".").arg(name));
}

// The recordset column of each pair, in pairing order.
std::vector<int> pairedColumns(const dao::Recordset& source, const mapping::FieldPairing& pairing) {
    if (pairing.empty()) refuse(QStringLiteral("No source field is paired with a target field."));
    std::vector<int> columns;
    for (const mapping::FieldPair& pair : pairing) {
        columns.push_back(sourceColumn(source, pair.sourceName));
    }
    return columns;
}

QStringList targetNames(const mapping::FieldPairing& pairing) {
    QStringList names;
    for (const mapping::FieldPair& pair : pairing) names << pair.targetName;
    return names;
}

QStringList recordLiterals(const dao::Recordset& source, long row,
                           const std::vector<int>& columns) {
    QStringList literals;
    for (int column : columns) {
        literals << transferLiteral(source.valueAt(row, column), source.fieldInfo(column).type);
    }
    return literals;
}

}  // namespace

TransferResult MergeToTarget(const QString& action, const QString& table, const QString& matchName,
                             const dao::Recordset& source, const mapping::FieldPairing& pairing,
                             dao::Connection& connection, TransferProgress& progress) {
    RecordLoop loop(progress, QStringLiteral("Copied Record :"));
    long unmatched = 0;
    TransferResult result = loop.run([&] {
        loop.reach(100);
        loop.status(QStringLiteral("Merging"));
        loop.reach(110);
        const std::vector<int> columns = pairedColumns(source, pairing);
        loop.reach(120);
        const QStringList names = targetNames(pairing);
        const bool update = action == QLatin1String("UPDATE");
        if (!update && action != QLatin1String("INSERT")) {
            refuse(QStringLiteral("Unknown action \"%1\".").arg(action));
        }
        if (update && !names.contains(matchName)) {
            refuse(QStringLiteral("The match field \"%1\" is not a paired target field.")
                       .arg(matchName));
        }
        loop.reach(130);
        progress.setProgressMaximum(source.recordCount());
        loop.forEachRecord(source.recordCount(), 140, [&](long row) {
            const QStringList literals = recordLiterals(source, row, columns);
            loop.reach(150);
            const QString statement = BuildSQLString(action, table, names, literals, matchName);
            loop.reach(160);
            const long long found = connection.executeCounted(statement);
            if (update && found == 0) ++unmatched;
        });
    });
    result.recordsUnmatched = unmatched;
    return result;
}

}  // namespace keldara::transfer
