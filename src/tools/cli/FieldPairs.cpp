#include "tools/cli/FieldPairs.h"

#include "mapping/FieldMatching.h"

namespace keldara::cli {

namespace {

// The exact name when the list holds it, else the first one equal ignoring case; -1 if none.
int indexOfName(const QStringList& names, const QString& name) {
    const int exact = static_cast<int>(names.indexOf(name));
    return exact >= 0 ? exact : shell::FindNameIndex(names, name);
}

QString fieldList(const QStringList& names) {
    return QLatin1Char('"') + names.join(QStringLiteral("\", \"")) + QLatin1Char('"');
}

void applyMap(const FieldMap& map, const QStringList& sourceNames, const QStringList& targetNames,
              QStringList& targets) {
    const QString option = QStringLiteral("--map \"%1=%2\": ").arg(map.source, map.target);
    const int source = indexOfName(sourceNames, map.source);
    if (source < 0) {
        throw SetupError{option + QStringLiteral("the source table has no field \"%1\"; its "
                                                 "fields are %2")
                                      .arg(map.source, fieldList(sourceNames))};
    }
    if (map.target.isEmpty()) {
        targets[source].clear();
        return;
    }
    const int target = indexOfName(targetNames, map.target);
    if (target < 0) {
        throw SetupError{option + QStringLiteral("the target table has no field \"%1\"; its "
                                                 "fields are %2")
                                      .arg(map.target, fieldList(targetNames))};
    }
    targets[source] = targetNames[target];
}

void refuseSharedTargets(const shell::FieldPairing& pairing) {
    for (std::size_t i = 0; i < pairing.size(); ++i) {
        for (std::size_t j = i + 1; j < pairing.size(); ++j) {
            if (pairing[i].targetName != pairing[j].targetName) continue;
            throw SetupError{
                QStringLiteral("source fields \"%1\" and \"%2\" are both paired with "
                               "target field \"%3\"; leave one out with --map "
                               "\"%2=\"")
                    .arg(pairing[i].sourceName, pairing[j].sourceName, pairing[i].targetName)};
        }
    }
}

}  // namespace

shell::FieldPairing pairFields(const QStringList& sourceNames, const QStringList& targetNames,
                               const QList<FieldMap>& maps) {
    QStringList targets;
    for (const int target : mapping::MatchingTargetIndexes(sourceNames, targetNames))
        targets << (target < 0 ? QString() : targetNames[target]);
    for (const FieldMap& map : maps) applyMap(map, sourceNames, targetNames, targets);

    shell::FieldPairing pairing;
    for (qsizetype i = 0; i < sourceNames.size(); ++i) {
        if (!targets[i].isEmpty())
            pairing.push_back({sourceNames[i], targets[i], static_cast<int>(i)});
    }
    if (pairing.empty()) {
        throw SetupError{QStringLiteral("no source field is paired with a target field: pair "
                                        "them with --map SOURCE=TARGET (target fields: %1)")
                             .arg(fieldList(targetNames))};
    }
    refuseSharedTargets(pairing);
    return pairing;
}

QString matchTargetName(const QString& match, const QStringList& targetNames,
                        const shell::FieldPairing& pairing) {
    const int index = indexOfName(targetNames, match);
    if (index < 0) {
        throw SetupError{QStringLiteral("--match \"%1\": the target table has no such field; "
                                        "its fields are %2")
                             .arg(match, fieldList(targetNames))};
    }
    const QString name = targetNames[index];
    const bool paired = std::any_of(pairing.begin(), pairing.end(), [&](const shell::FieldPair& p) {
        return p.targetName == name;
    });
    if (!paired) {
        throw SetupError{QStringLiteral("--match \"%1\": no source field is paired with it; "
                                        "pair one with --map SOURCE=%1")
                             .arg(name)};
    }
    if (pairing.size() == 1) {
        throw SetupError{QStringLiteral("--match \"%1\" is the only paired field: a merge would "
                                        "have nothing to write")
                             .arg(name)};
    }
    return name;
}

}  // namespace keldara::cli
