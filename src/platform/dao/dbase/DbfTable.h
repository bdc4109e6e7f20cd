#pragma once

#include <QString>
#include <memory>

#include "platform/dao/Recordset.h"

namespace keldara::dao::dbase {

// Reads the live (not deleted) records of a dBase III/IV/5, FoxPro 2.x or Visual FoxPro
// table, with its memo file when it has memo fields, into a recordset whose fields carry
// the ADO type codes of the FoxPro ODBC driver. Throws DaoError naming the file and the
// reason when the table or its memo file is missing, unsupported or damaged.
std::unique_ptr<Recordset> readDbfTable(const QString& path);

}  // namespace keldara::dao::dbase
