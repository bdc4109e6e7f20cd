#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "shell/FieldPairing.h"
#include "tools/cli/CommandLine.h"

namespace keldara::cli {

// Every source field paired with a target field by name (mapping::MatchingTargetIndexes), as
// "Match Now" pairs them; then each --map in turn pairs its source field with another target
// field or leaves it out. Names in --map are found ignoring letter case too. Throws
// SetupError when a --map names a field that does not exist, when two source fields would
// write one target field, or when no field is paired.
shell::FieldPairing pairFields(const QStringList& sourceNames, const QStringList& targetNames,
                               const QList<FieldMap>& maps);

// The target field --match names, in the target table's spelling. Throws SetupError when no
// target field bears the name, when no source field is paired with it, or when it is the only
// paired field (an update would have nothing to write).
QString matchTargetName(const QString& match, const QStringList& targetNames,
                        const shell::FieldPairing& pairing);

}  // namespace keldara::cli
