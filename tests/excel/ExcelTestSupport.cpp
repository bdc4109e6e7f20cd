#include "excel/ExcelTestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "platform/dao/DaoError.h"
#include "support/Paths.h"
#include "support/Process.h"

namespace keldara::test::excel {

using dao::Value;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString scriptPath(const QString& name) {
    return sourceDir() + QStringLiteral("/tests/excel/") + name;
}

// xlrd writes dates as "YYYY-MM-DD HH:MM:SS.mmm".
Value dateOfXlrdText(const QString& text) {
    const QDateTime moment = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    EXPECT_TRUE(moment.isValid()) << text.toStdString();
    const QDate d = moment.date();
    const QTime t = moment.time();
    if (t == QTime(0, 0)) return Value::date(d.year(), d.month(), d.day());
    return Value::dateTime(dao::DateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(),
                                         t.second(), t.msec() * 1000});
}

XlrdCell cellOfJson(const QJsonArray& entry) {
    XlrdCell cell;
    cell.row = entry.at(0).toInt();
    cell.column = entry.at(1).toInt();
    cell.kind = entry.at(2).toString();
    const QJsonValue value = entry.at(3);
    if (cell.kind == QLatin1String("text")) {
        cell.value = value.toString().isEmpty() ? Value::null() : Value::text(value.toString());
    } else if (cell.kind == QLatin1String("number")) {
        cell.value = Value::floating(value.toString().toDouble());
    } else if (cell.kind == QLatin1String("date")) {
        cell.value = dateOfXlrdText(value.toString());
    } else if (cell.kind == QLatin1String("bool")) {
        cell.value = Value::boolean(value.toBool());
    }
    return cell;
}

}  // namespace

QString connectionString(const QString& workbookPath) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + workbookPath +
           QStringLiteral(";Extended Properties=Excel 8.0;");
}

std::unique_ptr<dao::Connection> openWorkbook(const QString& workbookPath) {
    return dao::openConnection(connectionString(workbookPath));
}

QStringList catalogueNames(dao::Connection& connection) {
    auto catalogue = connection.openTableCatalogue();
    QStringList names;
    int column = -1;
    for (int i = 0; i < catalogue->fieldCount(); ++i) {
        if (catalogue->fieldInfo(i).name == QLatin1String("TABLE_NAME")) column = i;
    }
    EXPECT_GE(column, 0);
    for (long row = 0; row < catalogue->recordCount() && column >= 0; ++row) {
        names << catalogue->valueAt(row, column).toText();
    }
    return names;
}

std::unique_ptr<dao::Recordset> readTable(dao::Connection& connection, const QString& table) {
    return connection.openRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
}

QString generatedWorkbook(const QString& fileName) {
    static QTemporaryDir folder;
    static bool written = false;
    if (!written) {
        const ProcessResult result =
            runProcess(kPython, {scriptPath(QStringLiteral("make_workbooks.py")), folder.path()});
        EXPECT_EQ(result.exitCode, 0)
            << "python3-xlwt is needed to write the test workbooks: " << result.err.toStdString();
        written = true;
    }
    return folder.filePath(fileName);
}

XlrdBook readWithXlrd(const QString& workbookPath, const QStringList& sheets) {
    const ProcessResult result = runProcess(
        kPython, QStringList{scriptPath(QStringLiteral("xlrd_cells.py")), workbookPath} + sheets);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(result.out).object();
    XlrdBook book;
    book.date1904 = root.value(QLatin1String("datemode")).toInt() == 1;
    book.biff = root.value(QLatin1String("biff")).toInt();
    for (const QJsonValue sheetValue : root.value(QLatin1String("sheets")).toArray()) {
        const QJsonObject sheetObject = sheetValue.toObject();
        XlrdSheet sheet;
        sheet.name = sheetObject.value(QLatin1String("name")).toString();
        for (const QJsonValue cell : sheetObject.value(QLatin1String("cells")).toArray()) {
            sheet.cells.push_back(cellOfJson(cell.toArray()));
        }
        book.sheets.push_back(std::move(sheet));
    }
    return book;
}

}  // namespace keldara::test::excel
