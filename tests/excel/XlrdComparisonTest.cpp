// Every workbook is read through the provider and compared cell by cell with python3-xlrd.
// Where the provider differs by design, the expectation says what it should give instead:
// tables in workbook order under Jet's names, field names from the first row of the used
// range, one type per column (text when a column mixes kinds), Null for error cells and empty
// texts, times of day for time-only formats.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <climits>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::Value;
using dao::ValueKind;

// The workbook as xlrd reads it (see xlrd_cells.py).
QJsonObject readWithXlrd(const QString& workbookPath) {
    return oracleOutput({sourceDir() + QStringLiteral("/tests/excel/xlrd_cells.py"), workbookPath})
        .object();
}

// A cell [row, column, kind, value] of xlrd's; Null for error cells and empty texts.
Value valueOf(const QJsonArray& cell) {
    const QString kind = cell.at(2).toString();
    const QJsonValue value = cell.at(3);
    if (kind == "text" && !value.toString().isEmpty()) return Value::text(value.toString());
    if (kind == "number") return Value::floating(value.toString().toDouble());
    if (kind == "bool") return Value::boolean(value.toBool());
    if (kind != "date") return Value::null();
    // xlrd writes dates as "YYYY-MM-DD HH:MM:SS.mmm".
    const QDateTime moment =
        QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    EXPECT_TRUE(moment.isValid()) << value.toString().toStdString();
    const QDate d = moment.date();
    const QTime t = moment.time();
    if (t == QTime(0, 0)) return Value::date(d.year(), d.month(), d.day());
    return Value::dateTime(
        {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec() * 1000});
}

struct ExpectedColumn {
    QString name;  // before duplicates are numbered
    unsigned kinds = 0;
    qsizetype longestText = 0;
};

struct ExpectedTable {
    std::vector<ExpectedColumn> columns;   // none for a sheet without values
    std::vector<std::vector<Value>> rows;  // as xlrd reads them, Null where nothing is
};

unsigned kindBit(const Value& v) {
    if (v.kind() == ValueKind::Double) return 1;
    if (v.isDateLike()) return 2;
    if (v.kind() == ValueKind::Text) return 4;
    if (v.kind() == ValueKind::Boolean) return 8;
    return 0;
}

QString textOf(const Value& v) {
    if (v.kind() == ValueKind::Boolean) return v.toBool() ? "TRUE" : "FALSE";
    return v.standardText();
}

// The used range holds every cell with a value or an error.
ExpectedTable expectedTable(const QJsonArray& cells) {
    std::vector<std::tuple<int, int, Value>> used;
    int firstRow = INT_MAX, lastRow = 0, firstCol = INT_MAX, lastCol = 0;
    for (const QJsonValue entry : cells) {
        const QJsonArray cell = entry.toArray();
        const Value value = valueOf(cell);
        if (value.isNull() && cell.at(2).toString() != "error") continue;
        const int row = cell.at(0).toInt(), col = cell.at(1).toInt();
        used.emplace_back(row, col, value);
        firstRow = std::min(firstRow, row);
        lastRow = std::max(lastRow, row);
        firstCol = std::min(firstCol, col);
        lastCol = std::max(lastCol, col);
    }
    ExpectedTable table;
    if (used.empty()) return table;
    table.columns.resize(lastCol - firstCol + 1);
    table.rows.assign(lastRow - firstRow, std::vector<Value>(table.columns.size()));
    for (const auto& [row, col, value] : used) {
        ExpectedColumn& column = table.columns[col - firstCol];
        if (row == firstRow) {
            column.name = textOf(value);
            continue;
        }
        table.rows[row - firstRow - 1][col - firstCol] = value;
        column.kinds |= kindBit(value);
        if (value.kind() == ValueKind::Text) {
            column.longestText = std::max(column.longestText, value.toText().size());
        }
    }
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name.isEmpty())
            table.columns[i].name = QStringLiteral("F%1").arg(i + 1);
    }
    return table;
}

int expectedType(const ExpectedColumn& column) {
    if (column.kinds == 1) return dao::adType::Double;
    if (column.kinds == 2) return dao::adType::Date;
    if (column.kinds == 8) return dao::adType::Boolean;
    return column.longestText > 255 ? dao::adType::LongVarWChar : dao::adType::VarWChar;
}

// xlrd gives a time-only cell as a date-time on the first day of the date system.
bool isTimeOfDayInXlrd(const Value& expected, bool date1904) {
    if (!expected.isDateLike()) return false;
    const dao::DateTime& dt = expected.toDateTime();
    return date1904 ? (dt.year == 1904 && dt.month == 1 && dt.day == 1)
                    : (dt.year == 1899 && dt.month == 12 && dt.day == 31);
}

::testing::AssertionResult cellMatches(const Value& actual, const Value& expected, bool mixed,
                                       bool date1904) {
    const Value wanted = mixed && !expected.isNull() ? Value::text(textOf(expected)) : expected;
    if (actual == wanted) return ::testing::AssertionSuccess();
    if (isTimeOfDayInXlrd(expected, date1904)) {
        const QString time = dao::isoTimeText(expected.toDateTime());
        if ((mixed && actual == Value::text(time)) ||
            (actual.kind() == ValueKind::Time && actual.standardText() == time)) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << expected.sqlLiteral().toStdString();
}

void expectSheetMatches(dao::Recordset& records, const ExpectedTable& table, bool date1904) {
    if (table.columns.empty()) {
        EXPECT_EQ(fieldNames(records), QStringList{"F1"});
        EXPECT_EQ(fieldTypes(records), std::vector<int>{dao::adType::VarWChar});
        EXPECT_EQ(records.recordCount(), 0);
        return;
    }
    ASSERT_EQ(std::size_t(records.fieldCount()), table.columns.size());
    for (int c = 0; c < records.fieldCount(); ++c) {
        const ExpectedColumn& column = table.columns[c];
        const dao::FieldInfo& field = records.fieldInfo(c);
        EXPECT_TRUE(field.name.startsWith(column.name))
            << "field " << c << ": " << field.name.toStdString() << " for "
            << column.name.toStdString();
        EXPECT_EQ(field.type, expectedType(column)) << "field " << field.name.toStdString();
        if (field.type == dao::adType::VarWChar) {
            EXPECT_EQ(field.definedSize, 255) << "field " << field.name.toStdString();
        }
    }
    expectSameRecords(records, long(table.rows.size()), [&](long r, int c, const Value& value) {
        const unsigned kinds = table.columns[c].kinds;
        return cellMatches(value, table.rows[r][c], (kinds & (kinds - 1)) != 0, date1904);
    });
    EXPECT_EQ(fieldNames(records).join('\n').toLower().split('\n').removeDuplicates(), 0)
        << "field names must be unique";
}

// The name Jet lists for a sheet, written out independently of the provider.
QString jetName(const QString& sheet) {
    static const QRegularExpression plain(QStringLiteral(R"(^[^\W\d]\w*$)"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    if (plain.match(sheet).hasMatch()) return sheet + QLatin1Char('$');
    return QLatin1Char('\'') + QString(sheet).replace(QLatin1String("'"), QLatin1String("''")) +
           QStringLiteral("$'");
}

void expectWorkbookMatches(const QString& path) {
    SCOPED_TRACE(path.toStdString());
    const QJsonObject book = readWithXlrd(path);
    const QJsonArray sheets = book["sheets"].toArray();
    ASSERT_FALSE(sheets.isEmpty());
    QStringList expectedTables;
    for (const QJsonValue sheet : sheets) {
        // A BIFF4 worksheet file has no sheet name; it is named after the file.
        expectedTables << (book["biff"].toInt() < 50
                               ? QFileInfo(path).completeBaseName() + QLatin1Char('$')
                               : jetName(sheet["name"].toString()));
    }
    auto connection = openWorkbook(path);
    ASSERT_EQ(catalogueNames(*connection), expectedTables);
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        SCOPED_TRACE(expectedTables[i].toStdString());
        expectSheetMatches(*readTable(*connection, expectedTables[i]),
                           expectedTable(sheets[i]["cells"].toArray()),
                           book["datemode"].toInt() == 1);
    }
}

// Every sample workbook but the encrypted one, and the workbooks the xlwt script writes: both
// date systems, strings across CONTINUE records, sheet names Jet quotes, mixed columns and the
// row and column limits.
std::vector<std::string> workbooks() {
    std::vector<std::string> files = fixtureFiles(QStringLiteral("xls"), {QStringLiteral("*.xls")});
    std::erase_if(files,
                  [](const std::string& file) { return file.find("encrypted") != file.npos; });
    for (const char* name : {"dates1900.xls", "dates1904.xls", "strings.xls", "shapes.xls"})
        files.push_back(std::string("generated/") + name);
    return files;
}

class Workbook : public ::testing::TestWithParam<std::string> {};

TEST_P(Workbook, ReadsAsXlrdDoes) {
    const QString name = QString::fromStdString(GetParam());
    expectWorkbookMatches(name.startsWith(QLatin1String("generated/"))
                              ? generatedWorkbook(name.mid(10))
                              : fixturePath(name));
}

INSTANTIATE_TEST_SUITE_P(FixturesAndGenerated, Workbook, ::testing::ValuesIn(workbooks()));

}  // namespace
}  // namespace keldara::test::excel
