#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

#include "shell/FieldPairing.h"

// Pairing source fields with target fields by name, free of any widget: the mapping page
// uses it, and so can anything else that pairs fields without the window.
namespace keldara::mapping {

// What the mapping grid shows of the target field a source field is paired with.
struct TargetCells {
    QString name;
    QString typeName;
    bool operator==(const TargetCells&) const = default;
};

// For every source field (`sourceNames`: all of them, in order), the index of the target field
// it is paired with by name, -1 where none: the target field that bears the name the
// create-table script gives its column (dao::mysql::NewColumnNames), else the one that bears
// the source name itself; letter case counts for nothing.
std::vector<int> MatchingTargetIndexes(const QStringList& sourceNames,
                                       const QStringList& targetNames);

// For every source field, in order, the target field MatchingTargetIndexes pairs it with: its
// name in the target's own spelling and its type name; both texts are empty where none is.
// Names and types are parallel lists.
std::vector<TargetCells> MatchByName(const QStringList& sourceNames, const QStringList& targetNames,
                                     const QList<int>& targetTypes);

// The type text beside a target name chosen by hand: the type name of the target field of
// that name ignoring letter case, or "Create New Field" when no target field bears it.
QString ChosenTargetType(const QStringList& targetNames, const QList<int>& targetTypes,
                         const QString& name);

}  // namespace keldara::mapping
