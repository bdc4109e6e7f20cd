#pragma once

#include <QString>

namespace keldara::dao {

// The display name of a field type code for the mapping grid: the ADO data type codes and
// the two date codes of the source side (122 dates, 123 times of day). A code without a name
// reads "Not Defined".
QString FieldTypeName(int code);

}  // namespace keldara::dao
