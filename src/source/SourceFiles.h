#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"

// The widget-free half of the source side: connection strings per kind of file, the table
// names of an opened file, the grid caption, and the refinement of date fields.
namespace keldara::source {

// The kind of a source file in lower case: "xlsx", "xlsm" or "accdb" for paths ending in
// ".xlsx", ".xlsm" or ".accdb", otherwise the path's last three characters ("mdb", "xls",
// "ods", "csv", "txt", "dbf"); nothing else is looked at, not even a dot.
QString SourceFileKind(const QString& path);

// The path up to its last separator ("\" or "/"), without it, except that a root keeps it
// ("C:\", "/"); empty when the path has no separator.
QString ParentFolderName(const QString& path);
// The part after the last separator, extension included.
QString FileNameOfPath(const QString& path);

// The clause appended to Access connection strings for the typed password: empty when the
// password is empty or blanks only, otherwise the password exactly as typed (in braces when
// the connection string parser would not read it back unchanged).
QString SourcePasswordClause(const QString& typedPassword);

// The connection string for a source file. The path is used as given, not trimmed, and
// quoted only when the parser would not read it back unchanged; text and dBase files name
// their folder (".", the current one, for a file name without a folder), the file becoming
// the table.
QString SourceConnectionString(const QString& path, const QString& passwordClause);

// Opens the source file through the provider its connection string names; throws DaoError.
std::unique_ptr<dao::Connection> OpenSourceConnection(const QString& path,
                                                      const QString& passwordClause);

// The tables of an opened source file, in catalogue order: the file's own name for text and
// dBase files; for workbooks every sheet except those whose name contains "Database".
// Throws DaoError when the catalogue yields no usable name.
QStringList SourceTableNames(const QString& path, const dao::Recordset& catalogue);

// The caption of the source grid: the path when it has at most 50 characters, otherwise
// "..." and its last 50 characters.
QString SourceGridCaption(const QString& path);

// The type code of a date field (7) after looking at its first non-Null value: 123 when it
// is a time of day only (the zero date), 122 when it carries a calendar date, and 7 when
// every value is Null or there are no records. The recordset's position is not changed.
int RefinedDateType(const dao::Recordset& records, int field);

// "Current Record:" followed by the position, " of " and the record count.
QString SampleLabelText(long position, long count);

}  // namespace keldara::source
