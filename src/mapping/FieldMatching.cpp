#include "mapping/FieldMatching.h"

#include "platform/dao/FieldTypeName.h"
#include "platform/dao/mysql/NewColumnNames.h"

namespace keldara::mapping {

using shell::FindNameIndex;

std::vector<int> MatchingTargetIndexes(const QStringList& sourceNames,
                                       const QStringList& targetNames) {
    const QStringList columnNames = dao::mysql::NewColumnNames(sourceNames);
    std::vector<int> indexes;
    indexes.reserve(sourceNames.size());
    for (qsizetype i = 0; i < sourceNames.size(); ++i) {
        const int byColumnName = FindNameIndex(targetNames, columnNames[i]);
        indexes.push_back(byColumnName >= 0 ? byColumnName
                                            : FindNameIndex(targetNames, sourceNames[i]));
    }
    return indexes;
}

std::vector<TargetCells> MatchByName(const QStringList& sourceNames, const QStringList& targetNames,
                                     const QList<int>& targetTypes) {
    std::vector<TargetCells> cells;
    cells.reserve(sourceNames.size());
    for (const int j : MatchingTargetIndexes(sourceNames, targetNames)) {
        if (j < 0) {
            cells.push_back({});
        } else {
            cells.push_back({targetNames[j], dao::FieldTypeName(targetTypes.value(j))});
        }
    }
    return cells;
}

QString ChosenTargetType(const QStringList& targetNames, const QList<int>& targetTypes,
                         const QString& name) {
    const int i = FindNameIndex(targetNames, name);
    if (i < 0) return QStringLiteral("Create New Field");
    return dao::FieldTypeName(targetTypes.value(i));
}

}  // namespace keldara::mapping
