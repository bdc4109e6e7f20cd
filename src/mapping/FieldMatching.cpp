#include "mapping/FieldMatching.h"

#include "source/FieldTypeName.h"

namespace keldara::mapping {

int FindNameIndex(const QStringList& list, const QString& name) {
    const QString wanted = name.toUpper();
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].toUpper() == wanted) return static_cast<int>(i);
    }
    return -1;
}

std::vector<TargetCells> MatchByName(const QStringList& sourceNames, const QStringList& targetNames,
                                     const QList<int>& targetTypes) {
    std::vector<TargetCells> cells;
    cells.reserve(sourceNames.size());
    for (const QString& source : sourceNames) {
        const int j = FindNameIndex(targetNames, source);
        if (j < 0) {
            cells.push_back({});
        } else {
            cells.push_back({targetNames[j], source::FieldTypeName(targetTypes.value(j))});
        }
    }
    return cells;
}

QString ChosenTargetType(const QStringList& targetNames, const QList<int>& targetTypes,
                         const QString& name) {
    const int i = FindNameIndex(targetNames, name);
    if (i < 0) return QStringLiteral("Create New Field");
    return source::FieldTypeName(targetTypes.value(i));
}

}  // namespace keldara::mapping
