// Every workbook is read through the provider and compared cell by cell with python3-xlrd.
// Where the provider differs by design, the expectation says what it should give instead:
// field names from the first row of the used range, one type per column (text when a column
// mixes kinds), Null for error cells and empty texts, times of day for time-only formats.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "excel/ExcelTestSupport.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "support/Paths.h"

namespace keldara::test::excel {
namespace {

using dao::Value;
using dao::ValueKind;

struct ExpectedColumn {
    QString name;  // before duplicates are numbered
    unsigned kinds = 0;
    qsizetype longestText = 0;
};

struct ExpectedTable {
    std::vector<ExpectedColumn> columns;
    std::vector<std::vector<Value>> rows;  // as xlrd reads them, Null where nothing is
    bool empty = true;
};

unsigned kindBit(const Value& v) {
    if (v.kind() == ValueKind::Double) return 1;
    if (v.isDateLike()) return 2;
    if (v.kind() == ValueKind::Text) return 4;
    if (v.kind() == ValueKind::Boolean) return 8;
    return 0;
}

bool isMixed(unsigned kinds) {
    return (kinds & (kinds - 1)) != 0;
}

QString textOf(const Value& v) {
    if (v.kind() == ValueKind::Boolean)
        return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    return v.standardText();
}

ExpectedTable expectedTable(const XlrdSheet& sheet) {
    ExpectedTable table;
    int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    for (const XlrdCell& cell : sheet.cells) {
        if (cell.value.isNull() && cell.kind != QLatin1String("error")) continue;
        if (table.empty) {
            firstRow = lastRow = cell.row;
            firstCol = lastCol = cell.column;
            table.empty = false;
        }
        firstRow = std::min(firstRow, cell.row);
        lastRow = std::max(lastRow, cell.row);
        firstCol = std::min(firstCol, cell.column);
        lastCol = std::max(lastCol, cell.column);
    }
    if (table.empty) return table;
    table.columns.resize(static_cast<std::size_t>(lastCol - firstCol + 1));
    table.rows.assign(static_cast<std::size_t>(lastRow - firstRow),
                      std::vector<Value>(table.columns.size()));
    for (const XlrdCell& cell : sheet.cells) {
        if (cell.column < firstCol || cell.column > lastCol || cell.row < firstRow) continue;
        ExpectedColumn& column = table.columns[static_cast<std::size_t>(cell.column - firstCol)];
        if (cell.row == firstRow) {
            column.name = textOf(cell.value);
            continue;
        }
        table.rows[static_cast<std::size_t>(cell.row - firstRow - 1)]
                  [static_cast<std::size_t>(cell.column - firstCol)] = cell.value;
        column.kinds |= kindBit(cell.value);
        if (cell.value.kind() == ValueKind::Text) {
            column.longestText = std::max(column.longestText, cell.value.toText().size());
        }
    }
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name.isEmpty())
            table.columns[i].name = QStringLiteral("F%1").arg(i + 1);
    }
    return table;
}

int expectedType(const ExpectedColumn& column) {
    switch (column.kinds) {
        case 1:
            return dao::adType::Double;
        case 2:
            return dao::adType::Date;
        case 8:
            return dao::adType::Boolean;
        default:
            return column.longestText > 255 ? dao::adType::LongVarWChar : dao::adType::VarWChar;
    }
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
    return ::testing::AssertionFailure() << "read " << actual.sqlLiteral().toStdString()
                                         << ", xlrd " << expected.sqlLiteral().toStdString();
}

void expectSheetMatches(dao::Recordset& records, const XlrdSheet& sheet, bool date1904) {
    const ExpectedTable table = expectedTable(sheet);
    if (table.empty) {
        ASSERT_EQ(records.fieldCount(), 1);
        EXPECT_EQ(records.fieldInfo(0).name, QStringLiteral("F1"));
        EXPECT_EQ(records.fieldInfo(0).type, dao::adType::VarWChar);
        EXPECT_EQ(records.recordCount(), 0);
        return;
    }
    ASSERT_EQ(records.fieldCount(), static_cast<int>(table.columns.size()));
    ASSERT_EQ(records.recordCount(), static_cast<long>(table.rows.size()));
    for (int c = 0; c < records.fieldCount(); ++c) {
        const ExpectedColumn& column = table.columns[static_cast<std::size_t>(c)];
        const dao::FieldInfo& field = records.fieldInfo(c);
        EXPECT_TRUE(field.name.startsWith(column.name))
            << "field " << c << ": " << field.name.toStdString() << " for "
            << column.name.toStdString();
        EXPECT_EQ(field.type, expectedType(column)) << "field " << field.name.toStdString();
        const bool mixed = isMixed(column.kinds);
        for (long r = 0; r < records.recordCount(); ++r) {
            EXPECT_TRUE(
                cellMatches(records.valueAt(r, c),
                            table.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)],
                            mixed, date1904))
                << sheet.name.toStdString() << " record " << r + 1 << " field "
                << field.name.toStdString();
        }
    }
    QStringList names;
    for (int c = 0; c < records.fieldCount(); ++c) names << records.fieldInfo(c).name.toLower();
    EXPECT_EQ(names.removeDuplicates(), 0) << "field names must be unique";
}

// The name Jet lists for a sheet, written out independently of the provider.
QString jetName(const QString& sheet) {
    static const QRegularExpression plain(QStringLiteral(R"(^[^\W\d]\w*$)"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    if (plain.match(sheet).hasMatch()) return sheet + QLatin1Char('$');
    return QLatin1Char('\'') + QString(sheet).replace(QLatin1String("'"), QLatin1String("''")) +
           QStringLiteral("$'");
}

void expectWorkbookMatches(const QString& path, const QStringList& onlySheets = {}) {
    SCOPED_TRACE(path.toStdString());
    const XlrdBook book = readWithXlrd(path, onlySheets);
    ASSERT_FALSE(book.sheets.empty());
    auto connection = openWorkbook(path);
    const QStringList tables = catalogueNames(*connection);
    if (onlySheets.isEmpty()) {
        ASSERT_EQ(tables.size(), static_cast<qsizetype>(book.sheets.size()));
    }
    for (const XlrdSheet& sheet : book.sheets) {
        SCOPED_TRACE(sheet.name.toStdString());
        // A BIFF4 worksheet file has no sheet name; it is named after the file.
        const QString table = book.biff < 50 ? QFileInfo(path).completeBaseName() + QLatin1Char('$')
                                             : jetName(sheet.name);
        ASSERT_TRUE(tables.contains(table)) << table.toStdString();
        auto records = readTable(*connection, table);
        expectSheetMatches(*records, sheet, book.date1904);
    }
}

class FixtureWorkbook : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureWorkbook, ReadsAsXlrdDoes) {
    expectWorkbookMatches(fixturePath(QStringLiteral("xls/") + QLatin1String(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(
    AllReadableFixtures, FixtureWorkbook,
    ::testing::Values("libxls__libxls/test2.xls", "okfn__messytables/span_rich.xls",
                      "okfn__messytables/unicode_sheet_name.xls", "python-excel__xlrd/Formate.xls",
                      "python-excel__xlrd/biff4_no_format_no_window2.xls",
                      "python-excel__xlrd/formula_test_sjmachin.xls",
                      "python-excel__xlrd/namesdemo.xls", "python-excel__xlrd/profiles.xls",
                      "python-excel__xlrd/xf_class.xls",
                      "tidyverse__readxl/biff5-label-records.xls", "tidyverse__readxl/datasets.xls",
                      "tidyverse__readxl/dates-1900.xls", "tidyverse__readxl/dates-1904.xls",
                      "tidyverse__readxl/deaths.xls", "tidyverse__readxl/empty-sheets.xls",
                      "tidyverse__readxl/geometry.xls", "tidyverse__readxl/missing-values-xls.xls",
                      "tidyverse__readxl/types.xls", "tidyverse__readxl/utf8-sheet-names.xls",
                      "tidyverse__readxl/vietnamese-utf8.xls", "wireservice__csvkit/sheets.xls"));

TEST(GeneratedWorkbook, DatesInBothSystemsReadAsXlrdDoes) {
    expectWorkbookMatches(generatedWorkbook(QStringLiteral("dates1900.xls")));
    expectWorkbookMatches(generatedWorkbook(QStringLiteral("dates1904.xls")));
}

TEST(GeneratedWorkbook, StringsAcrossContinueRecordsReadAsXlrdDoes) {
    expectWorkbookMatches(generatedWorkbook(QStringLiteral("strings.xls")));
}

TEST(GeneratedWorkbook, SheetNamesAndMixedColumnsReadAsXlrdDoes) {
    expectWorkbookMatches(
        generatedWorkbook(QStringLiteral("shapes.xls")),
        {QStringLiteral("My Sheet"), QStringLiteral("2019"), QStringLiteral("a-b"),
         QStringLiteral("Ünïcode"), QStringLiteral("O'Brien's data"), QStringLiteral("under_score"),
         QStringLiteral("Mixed"), QStringLiteral("Wide")});
}

}  // namespace
}  // namespace keldara::test::excel
