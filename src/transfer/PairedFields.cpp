#include "transfer/PairedFields.h"

#include <stdexcept>

#include "shell/FieldPairing.h"
#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

int sourceColumn(const dao::Recordset& source, const shell::FieldPair& pair) {
    const int at = pair.sourceIndex;
    if (at >= 0 && at < source.fieldCount() && source.fieldInfo(at).name == pair.sourceName)
        return at;
    for (int i = 0; i < source.fieldCount(); ++i) {
        if (source.fieldInfo(i).name == pair.sourceName) return i;
    }
    refuseRun(QStringLiteral("The source table has no field \"%1\".").arg(pair.sourceName));
}

// Two source fields written into one column: MySQL refuses an insert naming a column twice,
// and an update would keep only the last value. Column names compare ignoring letter case.
void refuseSharedTargets(const shell::FieldPairing& pairing) {
    QStringList targets;
    for (const shell::FieldPair& pair : pairing) {
        const int earlier = shell::FindNameIndex(targets, pair.targetName);
        if (earlier >= 0) {
            refuseRun(QStringLiteral("The source fields \"%1\" and \"%2\" are both paired with "
                                     "the target field \"%3\"; pair it with one of them only.")
                          .arg(pairing[earlier].sourceName, pair.sourceName, pair.targetName));
        }
        targets << pair.targetName;
    }
}

}  // namespace

void refuseRun(const QString& description) {
    throw std::runtime_error(description.toStdString());
}

PairedFields::PairedFields(const dao::Recordset& records, const shell::FieldPairing& pairing)
    : source(records) {
    if (pairing.empty())
        refuseRun(QStringLiteral("No source field is paired with a target field."));
    for (const shell::FieldPair& pair : pairing) {
        columns.push_back(sourceColumn(source, pair));
        names << pair.targetName;
    }
    refuseSharedTargets(pairing);
}

void PairedFields::requireMergeMatch(const QString& matchName) const {
    const int match = matchName.isEmpty() ? -1 : shell::FindNameIndex(names, matchName);
    if (match < 0) {
        refuseRun(
            QStringLiteral("The match field \"%1\" is not a paired target field.").arg(matchName));
    }
    if (names.size() == 1) {
        refuseRun(QStringLiteral("The match field \"%1\" is the only paired field: a merge "
                                 "would have nothing to write.")
                      .arg(names[match]));
    }
}

QStringList PairedFields::literals(long row) const {
    QStringList literals;
    literals.reserve(static_cast<qsizetype>(columns.size()));
    for (int column : columns) {
        literals << transferLiteral(source.valueAt(row, column), source.fieldInfo(column).type);
    }
    return literals;
}

std::vector<dao::Value> PairedFields::values(long row) const {
    std::vector<dao::Value> values;
    values.reserve(columns.size());
    for (int column : columns)
        values.push_back(transferValue(source.valueAt(row, column), source.fieldInfo(column).type));
    return values;
}

}  // namespace keldara::transfer
