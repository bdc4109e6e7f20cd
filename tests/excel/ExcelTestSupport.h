#pragma once

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>
#include <vector>

#include "platform/dao/Connection.h"
#include "platform/dao/Value.h"

namespace keldara::dao {
// Lets test failures show values as their SQL literals.
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << value.sqlLiteral().toStdString();
}
}  // namespace keldara::dao

namespace keldara::test::excel {

QString connectionString(const QString& workbookPath);
std::unique_ptr<dao::Connection> openWorkbook(const QString& workbookPath);
QStringList catalogueNames(dao::Connection& connection);
std::unique_ptr<dao::Recordset> readTable(dao::Connection& connection, const QString& table);

// A workbook written by the xlwt script into a folder shared by the whole test run.
QString generatedWorkbook(const QString& fileName);

// One non-blank cell as xlrd reads it.
struct XlrdCell {
    int row = 0;
    int column = 0;
    QString kind;      // text, number, date, bool, error
    dao::Value value;  // Null for error cells
};

struct XlrdSheet {
    QString name;
    std::vector<XlrdCell> cells;
};

struct XlrdBook {
    bool date1904 = false;
    int biff = 0;
    std::vector<XlrdSheet> sheets;
};

// Runs the independent reader (python3-xlrd) on a workbook, optionally on named sheets only.
XlrdBook readWithXlrd(const QString& workbookPath, const QStringList& sheets = {});

}  // namespace keldara::test::excel
