#pragma once

// What the Access provider's own files share of libmdb: the handle, the lock every call into
// it takes, and the reading of a table definition. Not for use outside this folder.

#include <QByteArray>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dao/Field.h"
#include "platform/dao/access/JetDatabase.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#include <mdbtools.h>
#pragma GCC diagnostic pop

namespace keldara::dao::access {

// The extended Date/Time of Access 2019 and later, a column type libmdb does not name: kept
// to 100 nanoseconds (7 digits of the seconds' fraction).
constexpr int kExtendedDateType = 0x14;
constexpr int kExtendedDateFractionDigits = 7;

inline std::mutex& libmdbMutex() {
    static std::mutex mutex;
    return mutex;
}

struct TableDeleter {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableDeleter>;

struct JetDatabase::Handle {
    MdbHandle* mdb = nullptr;
    // Catalogue entries of the user tables, parallel to userTables_.
    std::vector<std::unique_ptr<MdbCatalogEntry>> tableEntries;
    ~Handle() {
        if (mdb) mdb_close(mdb);
    }
};

// The bytes of a table definition from its first page on, over as many pages as it goes
// on (each continuing after its 8-byte header).
QByteArray readTableDefinition(MdbHandle* mdb, quint32 firstPage, quint32 pageCount);

// False when the definition's counts of columns and indexes are beyond what Jet allows:
// damage, on which libmdb would read past its buffers.
bool hasValidCounts(const MdbTableDef* table);

// A column as a recordset field: its ADO type, defined size, precision and scale.
FieldInfo fieldInfoOfColumn(const MdbColumn* column, bool jet4);

}  // namespace keldara::dao::access
