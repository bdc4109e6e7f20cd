#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/dao/Recordset.h"

namespace keldara::test::text {

// The connection string the source side builds for a text file of `folder`.
QString textConnectionString(const QString& folder, const QString& properties = QStringLiteral(
                                                        "text;HDR=Yes;FMT=Delimited;"));

// Opens the folder through the provider factory and reads one of its files.
std::unique_ptr<dao::Recordset> readTextFile(
    const QString& folder, const QString& file,
    const QString& properties = QStringLiteral("text;HDR=Yes;FMT=Delimited;"));

void writeBytes(const QString& path, const QByteArray& bytes);

// The records of a file as Python's csv module reads them (UTF-8 when valid, else
// Windows-1252; "," for .csv, else a tab when the first line holds one).
struct PythonRecords {
    bool ok = false;
    QString error;
    std::vector<QStringList> rows;
};
PythonRecords readWithPython(const QString& path);

// Checks a recordset against Python's records cell by cell, allowing for what the provider
// does by design: typed values, Null for empty fields, F1.. for blank names, blank lines
// dropped. Reports each difference as a test failure.
void expectSameAsPython(const dao::Recordset& recordset, const PythonRecords& python,
                        const QString& what);

// The type codes of all fields.
std::vector<int> fieldTypes(const dao::Recordset& recordset);
QStringList fieldNames(const dao::Recordset& recordset);

}  // namespace keldara::test::text
