// Every table of every sample database, value by value against Debian's mdb-export.
#include <gtest/gtest.h>

#include <QSet>
#include <QTime>
#include <cmath>

#include "access/AccessFixtures.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"
#include "support/Process.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

// No fixture holds this text.
const QString kNull = QStringLiteral("\x01NULL\x01");

// mdb-export -e writes tabs, line ends and backslashes of the data as C escapes.
QString unescaped(const QString& cell) {
    QString text;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        QChar c = cell[i];
        if (c == u'\\' && i + 1 < cell.size()) {
            c = cell[++i];
            c = c == u't' ? QChar(u'\t') : c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c;
        }
        text += c;
    }
    return text;
}

// mdbtools with UTF-8 output whatever the test machine's locale.
QString runMdbTool(const QStringList& arguments, const QByteArray& jet3Charset = {}) {
    QStringList environment{"-u", "MDB_ICONV", "-u", "MDB_JET3_CHARSET", "LC_ALL=C.UTF-8"};
    if (!jet3Charset.isEmpty()) {
        environment << QStringLiteral("MDB_JET3_CHARSET=") + QString::fromLatin1(jet3Charset);
    }
    const ProcessResult result = runProcess(QStringLiteral("env"), environment + arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    return QString::fromUtf8(result.out);
}

// Debian's mdb-export on one table: the header, then one list of cells per record, Null as
// kNull, dates as "YYYY-MM-DD HH:MM:SS", binary data as hexadecimal digits. `jet3Charset` is
// passed as MDB_JET3_CHARSET.
std::vector<QStringList> mdbExport(const QString& file, const QString& table,
                                   const QByteArray& jet3Charset = {}) {
    const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
    QStringList lines = runMdbTool({"mdb-export", "-Q", "-e", "-d", "\t", "-R", "\n", "-b", "hex",
                                    "-D", format, "-T", format, "-0", kNull, file, table},
                                   jet3Charset)
                            .split(u'\n');
    lines.removeLast();  // after the last record's end
    std::vector<QStringList> records;
    for (const QString& line : lines) {
        QStringList& cells = records.emplace_back();
        for (const QString& cell : line.split(u'\t')) cells << unescaped(cell);
    }
    return records;
}

QStringList mdbTables(const QString& file) {
    return runMdbTool({"mdb-tables", "-1", file}).split(u'\n', Qt::SkipEmptyParts);
}

bool sameCell(const FieldInfo& field, const Value& mine, const QString& theirs) {
    if (theirs == kNull) {  // mdb-export prints a zero-length text as NULL too
        return mine.isNull() || (mine.kind() == ValueKind::Text && mine.toText().isEmpty());
    }
    if (mine.isNull()) return false;
    switch (field.type) {
        case adType::Currency:
        case adType::Numeric:
            return mine.decimalText() == withoutTrailingZeros(theirs);
        case adType::Single:
            return static_cast<float>(mine.toDouble()) == theirs.toFloat();
        case adType::Double: {
            const double a = mine.toDouble(), b = theirs.toDouble();
            return a == b || std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
        }
        case adType::Date: {
            // mdb-export prints dates outside 1900..9999 like this (DateTestDatabase.mdb); the
            // value tests assert the true ones.
            if (theirs == QLatin1String("1900-01-00 00:00:00")) return true;
            const DateTime& dt = mine.toDateTime();
            return isoDateText(dt) + QTime(dt.hour, dt.minute, dt.second).toString(u" HH:mm:ss") ==
                   theirs;
        }
        case adType::LongVarBinary:
        case adType::Binary:
            return mine.standardText().compare(theirs, Qt::CaseInsensitive) == 0;
        case adType::Boolean:
            return QString::number(int(mine.toBool())) == theirs;
        case adType::UnsignedTinyInt:
        case adType::SmallInt:
        case adType::Integer:
            return QString::number(mine.toInt()) == theirs;
        default:
            return mine.toText() == theirs;
    }
}

class ExportComparison : public ::testing::TestWithParam<std::string> {};

TEST_P(ExportComparison, EveryTableMatchesMdbExportValueByValue) {
    const QString path = fixturePath(QString::fromStdString(GetParam()));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    auto connection = openAccess(path, passwordOf(path));
    const QStringList tables = tableNames(*connection);
    const QStringList exportTables = mdbTables(path);
    EXPECT_EQ(QSet<QString>(tables.begin(), tables.end()),
              QSet<QString>(exportTables.begin(), exportTables.end()));
    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        auto records = selectAll(*connection, table);
        std::vector<QStringList> exported = mdbExport(path, table);
        QStringList names;
        for (int i = 0; i < records->fieldCount(); ++i) names << records->fieldInfo(i).name;
        ASSERT_FALSE(exported.empty());
        ASSERT_EQ(names, exported[0]);
        expectSameRecords(
            *records, long(exported.size()) - 1, [&](long row, int column, const Value& mine) {
                const QString& theirs = exported[row + 1].value(column, kNull);
                if (sameCell(records->fieldInfo(column), mine, theirs))
                    return ::testing::AssertionSuccess();
                return ::testing::AssertionFailure()
                       << (theirs == kNull ? "NULL" : '"' + theirs.toStdString() + '"');
            });
    }
}

TEST(ExportComparisonInGbk, Jet3TextFollowsTheLocalesCodePage) {
    const char* file = "spannm__ucanaccess/charsetGBK.mdb";
    // Under the Western locale it is compared with mdb-export's Windows-1252 reading above.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const Value chinese =
        selectAll(*openAccess(mdbFixture(file)), QStringLiteral("table1"))->valueAt(0, 1);
    QLocale::setDefault(previous);
    EXPECT_EQ(chinese, Value::text(QStringLiteral("GBK\u7F16\u7801")));
    const auto exported = mdbExport(mdbFixture(file), QStringLiteral("table1"), "GBK");
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(exported[1][1], chinese.toText());
}

INSTANTIATE_TEST_SUITE_P(AllSampleDatabases, ExportComparison,
                         ::testing::ValuesIn(accessSamples()));

}  // namespace
