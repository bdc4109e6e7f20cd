#include "transfer/PairedFields.h"

#include <stdexcept>

#include "transfer/SqlText.h"

namespace keldara::transfer {

namespace {

int sourceColumn(const dao::Recordset& source, const QString& name) {
    for (int i = 0; i < source.fieldCount(); ++i) {
        if (source.fieldInfo(i).name == name) return i;
    }
    refuseRun(QStringLiteral("The source table has no field \"%1\".").arg(name));
}

}  // namespace

void refuseRun(const QString& description) {
    throw std::runtime_error(description.toStdString());
}

PairedFields::PairedFields(const dao::Recordset& records, const mapping::FieldPairing& pairing)
    : source(records) {
    if (pairing.empty())
        refuseRun(QStringLiteral("No source field is paired with a target field."));
    for (const mapping::FieldPair& pair : pairing) {
        columns.push_back(sourceColumn(source, pair.sourceName));
        names << pair.targetName;
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

}  // namespace keldara::transfer
