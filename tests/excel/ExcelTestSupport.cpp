#include "excel/ExcelTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/dao/DaoError.h"
#include "support/Paths.h"
#include "support/Process.h"

namespace keldara::test::excel {

QString connectionString(const QString& workbookPath) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + workbookPath +
           QStringLiteral(";Extended Properties=Excel 8.0;");
}

std::unique_ptr<dao::Connection> openWorkbook(const QString& workbookPath) {
    return dao::openConnection(connectionString(workbookPath));
}

QStringList catalogueNames(dao::Connection& connection) {
    auto catalogue = connection.openTableCatalogue();
    int column = 0;
    while (column < catalogue->fieldCount() && catalogue->fieldInfo(column).name != "TABLE_NAME")
        ++column;
    EXPECT_LT(column, catalogue->fieldCount()) << "no TABLE_NAME";
    QStringList names;
    for (long row = 0; row < catalogue->recordCount() && column < catalogue->fieldCount(); ++row)
        names << catalogue->valueAt(row, column).toText();
    return names;
}

std::unique_ptr<dao::Recordset> readTable(dao::Connection& connection, const QString& table) {
    return connection.openRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
}

QStringList fieldNames(const dao::Recordset& records) {
    QStringList names;
    for (int i = 0; i < records.fieldCount(); ++i) names << records.fieldInfo(i).name;
    return names;
}

std::vector<int> fieldTypes(const dao::Recordset& records) {
    std::vector<int> types;
    for (int i = 0; i < records.fieldCount(); ++i) types.push_back(records.fieldInfo(i).type);
    return types;
}

std::vector<dao::Value> column(const dao::Recordset& records, int c) {
    std::vector<dao::Value> values;
    for (long r = 0; r < records.recordCount(); ++r) values.push_back(records.valueAt(r, c));
    return values;
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    return path;
}

void expectError(const std::function<void()>& action, const QString& path, const char* reason) {
    try {
        action();
        ADD_FAILURE() << "no DaoError for " << path.toStdString();
    } catch (const dao::DaoError& error) {
        const QString text = error.description();
        EXPECT_TRUE(text.contains(path) && text.contains(QLatin1String(reason)))
            << text.toStdString() << " lacks " << reason;
    }
}

QString generatedWorkbook(const QString& fileName) {
    static QTemporaryDir folder;
    static const ProcessResult written =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {sourceDir() + QStringLiteral("/tests/excel/make_workbooks.py"), folder.path()});
    EXPECT_EQ(written.exitCode, 0)
        << "python3-xlwt is needed to write the test workbooks: " << written.err.toStdString();
    return folder.filePath(fileName);
}

}  // namespace keldara::test::excel
