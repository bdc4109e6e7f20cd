#pragma once

#include <QStringList>

namespace keldara::dao::mysql {

// The names of the columns a new MySQL table gives to fields of these names, in order: each
// name without trailing blanks, "F<n>" (n its position from 1) when blank, with characters
// MySQL cannot hold in a name (outside the Basic Multilingual Plane, NUL) as "_", at most 64
// characters; a name already taken, ignoring letter case as MySQL compares them, gets "_2",
// "_3", ... in place of its last characters if need be. The create-table script names its
// columns so, and matching by name pairs each field with the column made for it.
QStringList NewColumnNames(const QStringList& fieldNames);

}  // namespace keldara::dao::mysql
