#include "platform/dao/access/AccessSchema.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <functional>

#include "platform/dao/CodePages.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/access/JetDatabase.h"
#include "platform/dao/access/JetLibmdb.h"
#include "platform/dao/access/JetText.h"

namespace keldara::dao::access {

namespace {

// A table definition holds its indexes twice over: physical indexes (the key columns, each
// with its direction, and the flags) and logical ones (name, kind, and the number of the
// physical index they use). Several logical indexes may share one physical index, so the
// n-th logical index need not use the n-th physical one.
struct IndexLayout {
    int nameLengthSize;     // a name is its length (1 or 2 bytes) and its bytes
    int physicalSize;       // one physical index
    int physicalColumnsAt;  // its 10 key column slots of 3 bytes (number, direction)
    int physicalFlagsAt;    // after the slots and 8 bytes of pages (and 4 more in Jet 4)
    int logicalSize;        // one logical index
    int logicalAt;          // its own number (4), its physical index's (4), ..., its kind
};
constexpr IndexLayout kJet3Layout{1, 39, 0, 38, 20, 0};
constexpr IndexLayout kJet4Layout{2, 52, 4, 46, 28, 4};
constexpr int kKeyColumnSlots = 10;
constexpr int kKeyColumnSlotSize = 3;
constexpr int kLogicalPhysicalNumberAt = 4;
constexpr int kLogicalKindAt = 19;
constexpr quint16 kNoColumn = 0xFFFF;
constexpr quint32 kMaxIndexes = 255;

constexpr quint8 kPrimaryKeyIndex = 1;
constexpr quint8 kRelationshipIndex = 2;  // kept by Access for a relationship
constexpr quint8 kUniqueFlag = 0x01;
constexpr quint8 kIgnoreNullsFlag = 0x02;
constexpr quint8 kAscendingFlag = 0x01;

// MSysRelationships.grbit: DAO's RelationAttributeEnum.
constexpr qint64 kRelationUnique = 0x1;
constexpr qint64 kRelationDontEnforce = 0x2;
constexpr qint64 kRelationUpdateCascade = 0x100;
constexpr qint64 kRelationDeleteCascade = 0x1000;

// The property blob (MSysObjects.LvProp) of a table: a signature, then chunks of a 4-byte
// length and a 2-byte kind: the property names, and a block of values for the table and
// for each of its columns (named by the block).
constexpr int kChunkHeaderSize = 6;
constexpr quint16 kNamesChunk = 0x80;
constexpr quint16 kTableValuesChunk = 0x00;
constexpr quint16 kColumnValuesChunk = 0x01;
constexpr int kValueHeaderSize = 8;  // length (2), DDL flag, type, name number (2), size (2)
constexpr quint8 kBooleanProperty = 0x01;

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// Little-endian fields of a definition or blob; reading past its end is damage.
class Bytes {
  public:
    Bytes(QByteArray bytes, QString damage)
        : bytes_(std::move(bytes)), damage_(std::move(damage)) {}

    qsizetype size() const { return bytes_.size(); }
    quint8 u8(qsizetype at) const { return static_cast<quint8>(slice(at, 1)[0]); }
    quint16 u16(qsizetype at) const { return qFromLittleEndian<quint16>(slice(at, 2).constData()); }
    quint32 u32(qsizetype at) const { return qFromLittleEndian<quint32>(slice(at, 4).constData()); }
    QByteArray slice(qsizetype at, qsizetype length) const {
        if (at < 0 || length < 0 || at + length > bytes_.size()) damaged();
        return bytes_.mid(at, length);
    }
    [[noreturn]] void damaged() const { throw DaoError(DaoError::BadFile, damage_); }

  private:
    QByteArray bytes_;
    QString damage_;
};

using TextDecoder = std::function<QString(const QByteArray&)>;

struct PhysicalIndex {
    std::vector<std::pair<int, bool>> columns;  // column number, ascending
    quint8 flags = 0;
};

class IndexReader {
  public:
    IndexReader(const Bytes& definition, const MdbFormatConstants* fmt, bool jet4, TextDecoder text)
        : definition_(definition),
          fmt_(fmt),
          layout_(jet4 ? kJet4Layout : kJet3Layout),
          text_(std::move(text)) {}

    // The user's indexes, their columns named by `columnNames` (by column number). Indexes
    // on a complex column are left out: Access keeps them for the column's hidden table.
    std::vector<IndexSchema> read(const QHash<int, QString>& columnNames,
                                  const QSet<int>& complexColumns) {
        const quint16 columnCount = definition_.u16(fmt_->tab_num_cols_offset);
        const quint32 logicalCount = definition_.u32(fmt_->tab_num_idxs_offset);
        const quint32 physicalCount = definition_.u32(fmt_->tab_num_ridxs_offset);
        if (logicalCount > kMaxIndexes || physicalCount > kMaxIndexes) definition_.damaged();
        at_ = fmt_->tab_cols_start_offset + qsizetype(physicalCount) * fmt_->tab_ridx_entry_size +
              qsizetype(columnCount) * fmt_->tab_col_entry_size;
        for (quint16 c = 0; c < columnCount; ++c) nextName();
        std::vector<PhysicalIndex> physical;
        for (quint32 p = 0; p < physicalCount; ++p) physical.push_back(nextPhysical());
        std::vector<std::pair<quint32, quint8>> logical;  // physical number, kind
        for (quint32 l = 0; l < logicalCount; ++l, at_ += layout_.logicalSize) {
            const qsizetype entry = at_ + layout_.logicalAt;
            logical.emplace_back(definition_.u32(entry + kLogicalPhysicalNumberAt),
                                 definition_.u8(entry + kLogicalKindAt));
        }
        std::vector<IndexSchema> indexes;
        for (const auto& [physicalNumber, kind] : logical) {
            const QString name = nextName();
            if (physicalNumber >= physical.size()) definition_.damaged();
            const PhysicalIndex& keys = physical[physicalNumber];
            if (kind == kRelationshipIndex ||
                std::any_of(keys.columns.begin(), keys.columns.end(),
                            [&](const auto& key) { return complexColumns.contains(key.first); }))
                continue;
            indexes.push_back(indexOf(name, kind, keys, columnNames));
        }
        return indexes;
    }

  private:
    QString nextName() {
        const int length = layout_.nameLengthSize == 1 ? definition_.u8(at_) : definition_.u16(at_);
        const QByteArray bytes = definition_.slice(at_ + layout_.nameLengthSize, length);
        at_ += layout_.nameLengthSize + length;
        return text_(bytes);
    }

    PhysicalIndex nextPhysical() {
        PhysicalIndex index;
        qsizetype slot = at_ + layout_.physicalColumnsAt;
        for (int s = 0; s < kKeyColumnSlots; ++s, slot += kKeyColumnSlotSize) {
            const quint16 column = definition_.u16(slot);
            if (column != kNoColumn)
                index.columns.emplace_back(column, definition_.u8(slot + 2) & kAscendingFlag);
        }
        index.flags = definition_.u8(at_ + layout_.physicalFlagsAt);
        at_ += layout_.physicalSize;
        return index;
    }

    IndexSchema indexOf(const QString& name, quint8 kind, const PhysicalIndex& physical,
                        const QHash<int, QString>& columnNames) const {
        IndexSchema index;
        index.name = name;
        index.primary = kind == kPrimaryKeyIndex;
        index.unique = index.primary || (physical.flags & kUniqueFlag);
        index.ignoreNulls = physical.flags & kIgnoreNullsFlag;
        for (const auto& [number, ascending] : physical.columns) {
            const auto column = columnNames.constFind(number);
            if (column == columnNames.constEnd()) definition_.damaged();
            index.columns.push_back({*column, ascending});
        }
        return index;
    }

    const Bytes& definition_;
    const MdbFormatConstants* fmt_;
    IndexLayout layout_;
    TextDecoder text_;
    qsizetype at_ = 0;
};

struct ObjectProperties {
    std::optional<QString> defaultValue;
    std::optional<QString> description;
    bool required = false;
};

struct TableProperties {
    ObjectProperties table;
    QHash<QString, ObjectProperties> columns;  // by lower-case name: Access ignores case
};

class PropertyReader {
  public:
    PropertyReader(const Bytes& blob, TextDecoder text) : blob_(blob), text_(std::move(text)) {}

    TableProperties read() {
        TableProperties properties;
        if (blob_.size() == 0) return properties;
        const QByteArray signature = blob_.slice(0, 4);
        if (signature != QByteArrayLiteral("MR2\0") && signature != QByteArrayLiteral("KKD\0"))
            blob_.damaged();
        for (qsizetype at = 4; at < blob_.size();) {
            const quint32 length = blob_.u32(at);
            const quint16 kind = blob_.u16(at + 4);
            if (length < kChunkHeaderSize || at + length > blob_.size()) blob_.damaged();
            const qsizetype end = at + length;
            if (kind == kNamesChunk) {
                readNames(at + kChunkHeaderSize, end);
            } else if (kind == kTableValuesChunk || kind == kColumnValuesChunk) {
                const qsizetype block = at + kChunkHeaderSize;
                const quint16 nameLength = blob_.u16(block + 4);
                const QString object = text_(blob_.slice(block + 6, nameLength));
                ObjectProperties& target = kind == kTableValuesChunk
                                               ? properties.table
                                               : properties.columns[object.toLower()];
                readValues(block + 6 + nameLength, end, target);
            }
            at = end;
        }
        return properties;
    }

  private:
    void readNames(qsizetype at, qsizetype end) {
        while (at < end) {
            const quint16 length = blob_.u16(at);
            names_ << text_(blob_.slice(at + 2, length));
            at += 2 + length;
        }
    }

    void readValues(qsizetype at, qsizetype end, ObjectProperties& target) const {
        while (at < end) {
            const quint16 length = blob_.u16(at);
            if (length < kValueHeaderSize || at + length > end) blob_.damaged();
            const quint8 type = blob_.u8(at + 3);
            const quint16 nameNumber = blob_.u16(at + 4);
            const QByteArray value = blob_.slice(at + kValueHeaderSize, blob_.u16(at + 6));
            if (nameNumber >= names_.size()) blob_.damaged();
            const QString& name = names_[nameNumber];
            if (name == QLatin1String("DefaultValue")) {
                target.defaultValue = text_(value);
            } else if (name == QLatin1String("Description")) {
                target.description = text_(value);
            } else if (name == QLatin1String("Required") && type == kBooleanProperty) {
                target.required = !value.isEmpty() && value[0] != 0;
            }
            at += length;
        }
    }

    const Bytes& blob_;
    TextDecoder text_;
    QStringList names_;
};

// libmdb reads the autonumber flags from every column, but Jet 3 sets the GUID one (0x40) on
// columns of other types for another purpose: each flag counts only on its own type.
bool isAutoNumber(const MdbColumn* column) {
    return (column->is_long_auto && column->col_type == MDB_LONGINT) ||
           (column->is_uuid_auto && column->col_type == MDB_REPID);
}

int fieldNumber(const Recordset& records, const char* name) {
    for (int i = 0; i < records.fieldCount(); ++i) {
        if (records.fieldInfo(i).name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

}  // namespace

DatabaseSchema JetDatabase::schema() {
    std::lock_guard lock(libmdbMutex());
    const auto objects = readSystemTable(QStringLiteral("MSysObjects"),
                                         {QStringLiteral("Id"), QStringLiteral("LvProp")});
    const int id = fieldNumber(*objects, "Id");
    const int blob = fieldNumber(*objects, "LvProp");
    QHash<qint64, QByteArray> properties;  // by object id
    for (long row = 0; blob >= 0 && row < objects->recordCount(); ++row) {
        const Value object = objects->valueAt(row, id);
        const Value value = objects->valueAt(row, blob);
        if (object.kind() == ValueKind::Integer && value.kind() == ValueKind::Bytes)
            properties.insert(object.toInt(), value.toBytes());
    }
    DatabaseSchema schema;
    for (std::size_t t = 0; t < std::size_t(userTables_.size()); ++t)
        schema.tables.push_back(tableSchema(t, properties));
    schema.relationships = relationships();
    return schema;
}

TableSchema JetDatabase::tableSchema(std::size_t index,
                                     const QHash<qint64, QByteArray>& properties) {
    MdbCatalogEntry* entry = handle_->tableEntries[index].get();
    const QString& name = userTables_[qsizetype(index)];
    const auto page = static_cast<quint32>(entry->table_pg);
    const QString damage = QStringLiteral(
                               "The Access database %1 is damaged: the definition of "
                               "table %2 is not valid.")
                               .arg(quoted(path_), quoted(name));
    checkDefinition(page, name);
    TablePtr table(mdb_read_table(entry));
    GPtrArray* columns =
        table && hasValidCounts(table.get()) ? mdb_read_columns(table.get()) : nullptr;
    if (!columns || columns->len != table->num_cols) throw DaoError(DaoError::BadFile, damage);

    const bool jet4 = header_.version != JetVersion::Jet3;
    const TextDecoder text = [&](const QByteArray& bytes) {
        return jet4 ? decodeJet4Text(bytes.constData(), bytes.size())
                    : jet3Text_.decode(bytes.constData(), bytes.size());
    };
    const Bytes blob(properties.value(tableIds_.value(name)),
                     QStringLiteral("The Access database %1 is damaged: "
                                    "the properties of table %2 are not "
                                    "valid.")
                         .arg(quoted(path_), quoted(name)));
    const TableProperties declared = PropertyReader(blob, text).read();

    TableSchema schema;
    schema.name = name;
    schema.description = declared.table.description;
    QHash<int, QString> columnNames;
    QSet<int> complexColumns;
    for (guint i = 0; i < columns->len; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(columns, i));
        const FieldInfo info = fieldInfoOfColumn(column, jet4);
        const ObjectProperties property = declared.columns.value(info.name.toLower());
        schema.columns.push_back({info.name, info.type, info.definedSize, info.precision,
                                  info.numericScale, property.required, isAutoNumber(column),
                                  property.defaultValue, property.description});
        if (column->col_type == kExtendedDateType)
            schema.columns.back().fractionDigits = kExtendedDateFractionDigits;
        columnNames.insert(column->col_num, info.name);
        if (column->col_type == MDB_COMPLEX) complexColumns.insert(column->col_num);
    }
    const Bytes definition(readTableDefinition(handle_->mdb, page, pageCount_), damage);
    schema.indexes =
        IndexReader(definition, handle_->mdb->fmt, jet4, text).read(columnNames, complexColumns);
    return schema;
}

// MSysRelationships has a row for each pair of columns of a relationship, numbered by
// icolumn; relationships with a system table are left out.
std::vector<RelationshipSchema> JetDatabase::relationships() {
    const QString table = QStringLiteral("MSysRelationships");
    if (!tableIds_.contains(table)) return {};
    const auto rows = readSystemTable(table, {});
    const int name = fieldNumber(*rows, "szRelationship");
    const int flags = fieldNumber(*rows, "grbit");
    const int position = fieldNumber(*rows, "icolumn");
    const int from = fieldNumber(*rows, "szObject");
    const int fromColumn = fieldNumber(*rows, "szColumn");
    const int to = fieldNumber(*rows, "szReferencedObject");
    const int toColumn = fieldNumber(*rows, "szReferencedColumn");
    if (std::min({name, flags, position, from, fromColumn, to, toColumn}) < 0) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The Access database %1 is damaged: its table %2 lacks a "
                                      "column.")
                           .arg(quoted(path_), quoted(table)));
    }
    struct Pair {
        qint64 position;
        QString column, referenced;
    };
    std::vector<RelationshipSchema> found;
    std::vector<std::vector<Pair>> pairs;
    QHash<QString, std::size_t> byName;
    for (long row = 0; row < rows->recordCount(); ++row) {
        const auto text = [&](int field) { return rows->valueAt(row, field).standardText(); };
        if (!userTables_.contains(text(from)) || !userTables_.contains(text(to))) continue;
        const Value bits = rows->valueAt(row, flags);
        const qint64 grbit = bits.kind() == ValueKind::Integer ? bits.toInt() : 0;
        if (!byName.contains(text(name))) {
            byName.insert(text(name), found.size());
            found.push_back({text(name),
                             text(from),
                             {},
                             text(to),
                             {},
                             !(grbit & kRelationDontEnforce),
                             bool(grbit & kRelationUpdateCascade),
                             bool(grbit & kRelationDeleteCascade),
                             bool(grbit & kRelationUnique)});
            pairs.emplace_back();
        }
        const Value at = rows->valueAt(row, position);
        pairs[byName.value(text(name))].push_back(
            {at.kind() == ValueKind::Integer ? at.toInt() : 0, text(fromColumn), text(toColumn)});
    }
    for (std::size_t r = 0; r < found.size(); ++r) {
        std::stable_sort(pairs[r].begin(), pairs[r].end(),
                         [](const Pair& a, const Pair& b) { return a.position < b.position; });
        for (const Pair& pair : pairs[r]) {
            found[r].columns << pair.column;
            found[r].referencedColumns << pair.referenced;
        }
    }
    return found;
}

DatabaseSchema readAccessSchema(const QString& path, const QString& password) {
    return JetDatabase(path, password, ansiCodePageOf(QLocale())).schema();
}

}  // namespace keldara::dao::access
