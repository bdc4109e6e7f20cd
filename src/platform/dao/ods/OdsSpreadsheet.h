#pragma once

#include <QString>
#include <memory>

#include "platform/dao/sheet/SheetCells.h"

namespace keldara::dao::ods {

// Opens an OpenDocument spreadsheet (.ods): its tables are listed at once, each table's
// cells read as a stream of content.xml whenever they are asked for. Repeated rows and
// columns cost nothing while they are empty. Throws sheet::FormatError, or
// sheet::EncryptedWorkbook for a file protected by a password.
std::unique_ptr<sheet::SheetBook> openOdsSpreadsheet(const QString& path);

}  // namespace keldara::dao::ods
