#pragma once

#include <QString>

#include "platform/dao/TableSchema.h"

namespace keldara::dao::access {

// The structure of the Access database at `path` (see JetDatabase::schema), its Jet 3 names
// read in the ANSI code page of the user's language as the provider reads them. Throws
// DaoError as opening the database does.
DatabaseSchema readAccessSchema(const QString& path, const QString& password = {});

}  // namespace keldara::dao::access
