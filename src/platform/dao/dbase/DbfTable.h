#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/dao/Recordset.h"

namespace keldara::dao::dbase {

// Reads the live (not deleted) records of a dBase III/IV/5, FoxPro 2.x or Visual FoxPro
// table, with its memo file when it has memo fields, into a recordset whose fields carry
// the ADO type codes of the FoxPro ODBC driver. Throws DaoError naming the file and the
// reason when the table or its memo file is missing, unsupported or damaged. With
// `streamedRows`, the recordset is streamed: the records are checked and counted on opening,
// then read again as they are asked for, and only that many of the last read are held.
std::unique_ptr<Recordset> readDbfTable(const QString& path,
                                        std::optional<long> streamedRows = std::nullopt);

}  // namespace keldara::dao::dbase
