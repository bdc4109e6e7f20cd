#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <ostream>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"

namespace keldara::dao {
// Lets test failures show values as their SQL literals.
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << value.sqlLiteral().toStdString();
}
}  // namespace keldara::dao

namespace keldara::test::excel {

inline std::unique_ptr<dao::Connection> openWorkbook(const QString& workbookPath) {
    return dao::openConnection(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               workbookPath + QStringLiteral(";Extended Properties=Excel 8.0;"));
}

inline QStringList catalogueNames(dao::Connection& connection) {
    auto catalogue = connection.openTableCatalogue();
    QStringList names;
    for (long row = 0; row < catalogue->recordCount(); ++row)
        names << catalogue->valueAt(row, 0).toText();
    return names;
}

inline std::unique_ptr<dao::Recordset> readTable(dao::Connection& connection,
                                                 const QString& table) {
    return connection.openRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
}

// Expects `action` to throw a DaoError whose description names `path` and holds `reason`.
inline void expectError(const std::function<void()>& action, const QString& path,
                        const char* reason) {
    try {
        action();
        ADD_FAILURE() << "no DaoError for " << path.toStdString();
    } catch (const dao::DaoError& error) {
        EXPECT_TRUE(error.description().contains(path) &&
                    error.description().contains(QLatin1String(reason)))
            << error.description().toStdString() << " lacks " << reason;
    }
}

// A workbook written by the xlwt script into a folder shared by the whole test run.
inline QString generatedWorkbook(const QString& fileName) {
    static QTemporaryDir folder;
    static const ProcessResult written =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {sourceDir() + QStringLiteral("/tests/excel/make_workbooks.py"), folder.path()});
    EXPECT_EQ(written.exitCode, 0)
        << "python3-xlwt is needed to write the test workbooks: " << written.err.toStdString();
    return folder.filePath(fileName);
}

}  // namespace keldara::test::excel
