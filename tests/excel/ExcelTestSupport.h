#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
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

QStringList fieldNames(const dao::Recordset& records);
std::vector<int> fieldTypes(const dao::Recordset& records);
std::vector<dao::Value> column(const dao::Recordset& records, int c);

// Writes `bytes` to `path` and returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);
// Expects `action` to throw a DaoError whose description names `path` and holds `reason`.
void expectError(const std::function<void()>& action, const QString& path, const char* reason);

// A workbook written by the xlwt script into a folder shared by the whole test run.
QString generatedWorkbook(const QString& fileName);

}  // namespace keldara::test::excel
