#include "transfer/migration/ForeignKeys.h"

#include <algorithm>
#include <optional>

#include "platform/dao/mysql/NewColumnNames.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "transfer/migration/MigrationColumnTypes.h"

namespace keldara::transfer::migration {

namespace {

const KeyedTable* tableNamed(const std::vector<KeyedTable>& tables, const QString& name) {
    for (const KeyedTable& table : tables)
        if (table.plan->sourceName == name) return &table;
    for (const KeyedTable& table : tables)
        if (table.plan->sourceName.compare(name, Qt::CaseInsensitive) == 0) return &table;
    return nullptr;
}

// Column pairs (referencing, referenced), by position.
using Pairs = std::vector<std::pair<int, int>>;

// The pairs in the order of a whole key the referenced columns make, or nothing.
std::optional<Pairs> inKeyOrder(const Pairs& pairs, const KeyedTable& referenced) {
    for (const std::vector<int>& key : referenced.wholeUniqueKeys) {
        if (key.size() != pairs.size()) continue;
        Pairs ordered;
        for (int column : key) {
            const auto pair = std::find_if(pairs.begin(), pairs.end(),
                                           [&](const auto& p) { return p.second == column; });
            if (pair == pairs.end()) break;
            ordered.push_back(*pair);
        }
        if (ordered.size() == pairs.size()) return ordered;
    }
    return std::nullopt;
}

// Types a foreign key can join: the same, but for the length of character types.
bool joinable(const QString& a, const QString& b) {
    if (isLongType(a) || isLongType(b)) return false;
    if (isCharacterType(a) && isCharacterType(b)) return true;
    return a == b;
}

QString quotedColumns(const TablePlan& table, const Pairs& pairs, bool referenced) {
    QStringList columns;
    for (const auto& [from, to] : pairs)
        columns << dao::mysql::QuoteIdentifier(table.columnNames[referenced ? to : from]);
    return QLatin1Char('(') + columns.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Why the relationship cannot be a foreign key, or the pairs it joins in key order.
std::optional<Pairs> pairsOf(const dao::RelationshipSchema& r, const KeyedTable* from,
                             const KeyedTable* to, QString& why) {
    if (!r.enforced) {
        why = QStringLiteral("it is not enforced in the source, whose rows need not keep it");
        return std::nullopt;
    }
    if (!from || !to) {
        why = QStringLiteral("table \"%1\" is not moved").arg(from ? r.referencedTable : r.table);
        return std::nullopt;
    }
    Pairs pairs;
    for (qsizetype i = 0; i < r.columns.size() && i < r.referencedColumns.size(); ++i)
        pairs.emplace_back(ColumnNamed(from->plan->schema, r.columns[i]),
                           ColumnNamed(to->plan->schema, r.referencedColumns[i]));
    if (pairs.empty() || r.columns.size() != r.referencedColumns.size() ||
        std::any_of(pairs.begin(), pairs.end(),
                    [](const auto& p) { return p.first < 0 || p.second < 0; })) {
        why = QStringLiteral("its columns are not those of its tables");
        return std::nullopt;
    }
    auto ordered = inKeyOrder(pairs, *to);
    if (!ordered) {
        why = QStringLiteral("the referenced columns are no primary or unique key of \"%1\"")
                  .arg(to->plan->targetName);
        return std::nullopt;
    }
    for (const auto& [a, b] : *ordered) {
        const QString& typeA = from->plan->columnTypes[a];
        const QString& typeB = to->plan->columnTypes[b];
        if (!joinable(typeA, typeB)) {
            why = QStringLiteral("column \"%1\" is %2 and \"%3\" is %4")
                      .arg(from->plan->columnNames[a], typeA, to->plan->columnNames[b], typeB);
            return std::nullopt;
        }
    }
    return ordered;
}

}  // namespace

QStringList ForeignKeysOf(const std::vector<dao::RelationshipSchema>& relationships,
                          const std::vector<KeyedTable>& tables, const QStringList& takenNames,
                          QStringList& warnings) {
    struct Made {
        const dao::RelationshipSchema* relationship;
        const TablePlan* from;
        const TablePlan* to;
        Pairs pairs;
    };
    std::vector<Made> made;
    for (const dao::RelationshipSchema& r : relationships) {
        const KeyedTable* from = tableNamed(tables, r.table);
        const KeyedTable* to = tableNamed(tables, r.referencedTable);
        QString why;
        if (const auto pairs = pairsOf(r, from, to, why)) {
            made.push_back({&r, from->plan, to->plan, *pairs});
        } else {
            warnings << QStringLiteral("relationship \"%1\" (\"%2\" to \"%3\") left out: %4")
                            .arg(r.name, r.table, r.referencedTable, why);
        }
    }
    QStringList wanted = takenNames;
    for (const Made& m : made) wanted << m.relationship->name;
    const QStringList names = dao::mysql::NewColumnNames(wanted).mid(takenNames.size());
    QStringList statements;
    for (std::size_t i = 0; i < made.size(); ++i) {
        const Made& m = made[i];
        statements << QStringLiteral(
                          "ALTER TABLE %1 ADD CONSTRAINT %2 FOREIGN KEY %3 REFERENCES "
                          "%4 %5%6%7")
                          .arg(dao::mysql::QuoteIdentifier(m.from->targetName),
                               dao::mysql::QuoteIdentifier(names[qsizetype(i)]),
                               quotedColumns(*m.from, m.pairs, false),
                               dao::mysql::QuoteIdentifier(m.to->targetName),
                               quotedColumns(*m.to, m.pairs, true),
                               m.relationship->cascadeUpdate ? " ON UPDATE CASCADE" : "",
                               m.relationship->cascadeDelete ? " ON DELETE CASCADE" : "");
    }
    return statements;
}

}  // namespace keldara::transfer::migration
