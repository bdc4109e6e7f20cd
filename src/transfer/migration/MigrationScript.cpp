#include "transfer/migration/MigrationPlan.h"

namespace keldara::transfer::migration {

QString MigrationScript(const MigrationPlan& plan) {
    QString script = QStringLiteral("SET NAMES utf8mb4;\n\n");
    for (const TablePlan& table : plan.tables)
        script += table.createTable + QStringLiteral(";\n\n");
    for (const QString& key : plan.foreignKeys) script += key + QStringLiteral(";\n\n");
    return script;
}

}  // namespace keldara::transfer::migration
