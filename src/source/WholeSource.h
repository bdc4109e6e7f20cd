#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/dao/Recordset.h"
#include "platform/dao/TableSchema.h"

// A whole source to be moved at once: every table of a file, or every file of a folder.
namespace keldara::source {

struct WholeSource {
    QString path;
    QString password;
    QStringList names;  // its tables, in catalogue order (a folder's files by name)
    // The name a table's copy is given by default where it is not the table's own: a sheet's
    // name without the "$" the provider adds, a file's name without its extension.
    QHash<QString, QString> targetNames;
    bool access = false;  // an Access database, which declares its own structure
    // A fresh reader of a table's records, streamed holding `keepRows` records where the
    // provider can, so that tables are read side by side without sharing one. Throws DaoError.
    std::function<std::unique_ptr<dao::Recordset>(const QString& table)> open;
};

// The tables of the file or folder (of .dbf, .csv and .txt files) at `path`. Throws DaoError
// when the file cannot be opened, or std::runtime_error for a folder without such files.
WholeSource OpenWholeSource(const QString& path, const QString& password, long keepRows);

// Reads the structure of the source's tables into `schema`: an Access database's as it
// declares it (keys, indexes, relationships, ...); any other source's from the fields its
// reader gives. Returns the tables whose reader refused them, each with the reader's words
// (or a table without fields, which no table can hold); they are left out. Throws DaoError when an
// Access file's structure cannot be read.
std::vector<std::pair<QString, QString>> ReadWholeSchema(const WholeSource& source,
                                                         dao::DatabaseSchema& schema);

// The longest value of a text column of a table, in characters (-1 when it cannot be read),
// as a function of the table and the column that reads a table once, however many of its
// columns are asked for.
std::function<long long(const QString& table, const QString& column)> LongestTexts(
    const WholeSource& source);

}  // namespace keldara::source
