#include "transfer/migration/TableKeys.h"

#include <algorithm>
#include <numeric>

#include "platform/dao/mysql/NewColumnNames.h"
#include "platform/dao/mysql/QuoteIdentifier.h"

namespace keldara::transfer::migration {

namespace {

constexpr long long kMaxKeyBytes = 3072;  // InnoDB, a whole key
constexpr long long kLongPrefix = 255;    // characters (bytes for binary types) of a long column
constexpr long long kBytesPerCharacter = 4;

struct KeyPart {
    int column = -1;
    bool ascending = true;
    long long prefix = 0;  // characters (bytes for binary types); 0 for the whole value
};

// What a whole value of the column takes of a key, in bytes; 0 for a long column.
long long keyBytes(const QString& type) {
    if (isCharacterType(type)) return typeLength(type) * kBytesPerCharacter;
    if (type.startsWith(QLatin1String("VARBINARY")) || type.startsWith(QLatin1String("BINARY")))
        return typeLength(type);
    if (isLongType(type)) return 0;
    return type.startsWith(QLatin1String("DECIMAL")) ? 32 : 8;
}

long long bytesPerUnit(const QString& type) {
    return isBinaryType(type) ? 1 : kBytesPerCharacter;
}

// Prefixes for the long parts, then, while the key is over the limit, an even share of what
// is left for the character parts too, the shortest keeping their whole value.
void choosePrefixes(std::vector<KeyPart>& parts, const std::vector<ColumnType>& types) {
    long long fixed = 0;
    std::vector<std::size_t> variable;  // parts that may take a prefix, with their full bytes
    std::vector<long long> full(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const QString& type = types[parts[i].column].type;
        const bool prefixable = isCharacterType(type) || isLongType(type);
        full[i] = isLongType(type) ? kLongPrefix * bytesPerUnit(type) : keyBytes(type);
        if (isLongType(type)) parts[i].prefix = kLongPrefix;
        if (prefixable)
            variable.push_back(i);
        else
            fixed += full[i];
    }
    long long total = fixed;
    for (std::size_t i : variable) total += full[i];
    if (total <= kMaxKeyBytes) return;
    std::stable_sort(variable.begin(), variable.end(),
                     [&](std::size_t a, std::size_t b) { return full[a] < full[b]; });
    long long left = std::max<long long>(kMaxKeyBytes - fixed, 0);
    for (std::size_t n = 0; n < variable.size(); ++n) {
        const std::size_t i = variable[n];
        const long long share = left / static_cast<long long>(variable.size() - n);
        const long long unit = bytesPerUnit(types[parts[i].column].type);
        if (full[i] > share) parts[i].prefix = std::max<long long>(share / unit, 1);
        left -= std::min(full[i], share);
    }
}

// A prefix holds the whole value when no value is longer.
bool wholeValues(const std::vector<KeyPart>& parts, const std::vector<ColumnType>& types) {
    return std::all_of(parts.begin(), parts.end(), [&](const KeyPart& part) {
        const long long longest = types[part.column].longest;
        return part.prefix == 0 || (longest >= 0 && part.prefix >= longest);
    });
}

QString keyColumns(const std::vector<KeyPart>& parts, const QStringList& names) {
    QStringList columns;
    for (const KeyPart& part : parts) {
        QString column = dao::mysql::QuoteIdentifier(names[part.column]);
        if (part.prefix > 0) column += QStringLiteral("(%1)").arg(part.prefix);
        if (!part.ascending) column += QStringLiteral(" DESC");
        columns << column;
    }
    return QLatin1Char('(') + columns.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString prefixNote(const dao::IndexSchema& index, const std::vector<KeyPart>& parts,
                   const QStringList& names, const std::vector<ColumnType>& types) {
    QStringList notes;
    for (const KeyPart& part : parts) {
        if (part.prefix == 0) continue;
        notes << QStringLiteral("\"%1\" by its first %2 %3")
                     .arg(names[part.column])
                     .arg(part.prefix)
                     .arg(isBinaryType(types[part.column].type) ? "bytes" : "characters");
    }
    return QStringLiteral(
               "index \"%1\" indexes %2 (MySQL indexes a long column, and at most "
               "%3 bytes of a key, by a prefix)")
        .arg(index.name, notes.join(QStringLiteral(", ")))
        .arg(kMaxKeyBytes);
}

// The parts of a source index; nothing when it names a column the table has not.
std::optional<std::vector<KeyPart>> partsOf(const dao::IndexSchema& index,
                                            const dao::TableSchema& table) {
    std::vector<KeyPart> parts;
    for (const dao::IndexColumn& column : index.columns) {
        const int found = ColumnNamed(table, column.name);
        if (found < 0) return std::nullopt;
        parts.push_back({found, column.ascending});
    }
    if (parts.empty()) return std::nullopt;
    return parts;
}

int rank(const dao::IndexSchema& index) {
    return index.primary ? 0 : index.unique ? 1 : 2;
}

// Whether a primary or unique index stays unique: not where its prefix might not hold whole
// values, as a unique key over a prefix could refuse rows the source holds.
bool keptUnique(const dao::IndexSchema& index, const std::vector<KeyPart>& parts,
                const std::vector<ColumnType>& types, QStringList& warnings) {
    if (!index.primary && !index.unique) return false;
    if (wholeValues(parts, types)) return true;
    warnings << QStringLiteral(
                    "%1 \"%2\" made as a plain index: its prefix might not hold whole values, "
                    "and a unique key over a prefix could refuse rows the source holds")
                    .arg(index.primary ? "primary key" : "unique index", index.name);
    return false;
}

// MySQL needs an index that starts with an AUTO_INCREMENT column.
void addCounterKey(TableKeys& keys, const QString& indexName, int counter,
                   const QStringList& names) {
    keys.lines << QStringLiteral("KEY ") + dao::mysql::QuoteIdentifier(indexName) +
                      QLatin1Char(' ') + keyColumns({{counter}}, names);
    keys.indexes += 1;
    keys.warnings << QStringLiteral(
                         "counter \"%1\" starts no index of the source; an index was added, as "
                         "MySQL needs one for AUTO_INCREMENT")
                         .arg(names[counter]);
}

}  // namespace

TableKeys KeysOf(const dao::TableSchema& table, const QStringList& names,
                 const std::vector<ColumnType>& types, int counter) {
    std::vector<const dao::IndexSchema*> indexes;
    for (const dao::IndexSchema& index : table.indexes) indexes.push_back(&index);
    std::stable_sort(indexes.begin(), indexes.end(),
                     [](const auto* a, const auto* b) { return rank(*a) < rank(*b); });
    // Index names unique in the table, never PRIMARY (the primary key's own).
    QStringList wanted{QStringLiteral("PRIMARY")};
    for (const auto* index : indexes) wanted << index->name;
    wanted << (counter >= 0 ? names[counter] : QString());
    const QStringList indexNames = dao::mysql::NewColumnNames(wanted);

    TableKeys keys;
    bool counterKeyed = false;
    bool hasPrimary = false;
    for (std::size_t n = 0; n < indexes.size(); ++n) {
        const dao::IndexSchema& index = *indexes[n];
        auto parts = partsOf(index, table);
        if (!parts) {
            keys.warnings << QStringLiteral(
                                 "index \"%1\" names a column the table has not: left out")
                                 .arg(index.name);
            continue;
        }
        choosePrefixes(*parts, types);
        const bool prefixed = std::any_of(parts->begin(), parts->end(),
                                          [](const KeyPart& p) { return p.prefix > 0; });
        if (prefixed) keys.warnings << prefixNote(index, *parts, names, types);
        const bool unique = keptUnique(index, *parts, types, keys.warnings);
        const bool primary = unique && index.primary && !hasPrimary;
        const QString name = dao::mysql::QuoteIdentifier(indexNames[n + 1]) + QLatin1Char(' ');
        keys.lines << (primary  ? QStringLiteral("PRIMARY KEY ")
                       : unique ? QStringLiteral("UNIQUE KEY ") + name
                                : QStringLiteral("KEY ") + name) +
                          keyColumns(*parts, names);
        hasPrimary = hasPrimary || primary;
        (unique ? keys.keys : keys.indexes) += 1;
        if (unique && !prefixed) {
            std::vector<int> columns;
            for (const KeyPart& part : *parts) columns.push_back(part.column);
            keys.wholeUniqueKeys.push_back(columns);
        }
        counterKeyed = counterKeyed || parts->front().column == counter;
    }
    if (counter >= 0 && !counterKeyed) addCounterKey(keys, indexNames.back(), counter, names);
    return keys;
}

}  // namespace keldara::transfer::migration
