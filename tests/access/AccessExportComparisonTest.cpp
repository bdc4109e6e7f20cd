// Every table of every sample database, value by value against Debian's mdb-export.
#include <gtest/gtest.h>

#include <QSet>
#include <QTime>
#include <cmath>

#include "access/AccessFixtures.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

// No fixture holds this text.
const QString kNull = QStringLiteral("\x01NULL\x01");

// mdbtools with UTF-8 output whatever the test machine's locale; `jet3Charset` is passed as
// MDB_JET3_CHARSET.
QString runMdbTool(const QStringList& arguments, const QByteArray& jet3Charset = {}) {
    QStringList environment{"-u", "MDB_ICONV", "-u", "MDB_JET3_CHARSET", "LC_ALL=C.UTF-8"};
    if (!jet3Charset.isEmpty())
        environment << "MDB_JET3_CHARSET=" + QString::fromLatin1(jet3Charset);
    const ProcessResult result = runProcess(QStringLiteral("env"), environment + arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    return QString::fromUtf8(result.out);
}

// Debian's mdb-export on one table: the header, then one list of cells per record, Null as
// kNull, dates as "YYYY-MM-DD HH:MM:SS", binary data as hexadecimal digits, and tabs, line
// ends and backslashes of the data as C escapes.
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
        for (const QString& cell : line.split(u'\t')) {
            QString text;
            for (qsizetype i = 0; i < cell.size(); ++i) {
                QChar c = cell[i];
                if (c == u'\\' && i + 1 < cell.size()) {
                    c = cell[++i];
                    c = c == u't'   ? QChar(u'\t')
                        : c == u'n' ? QChar(u'\n')
                        : c == u'r' ? QChar(u'\r')
                                    : c;
                }
                text += c;
            }
            cells << text;
        }
    }
    return records;
}

// mdb-export's cell in the form Oracle.h compares. mdb-export prints a zero-length text as
// NULL too, dates outside 1900..9999 as "1900-01-00" (the value tests assert those), every
// date with its time of day, doubles to 15 digits or so and singles to 8.
QJsonValue oracleCell(int type, const Value& mine, const QString& theirs) {
    if (theirs == kNull)
        return mine == Value::text(QString()) ? QJsonValue(QString()) : QJsonValue();
    const bool same = [&] {
        if (mine.isDateLike()) {
            const DateTime& dt = mine.toDateTime();
            return theirs.startsWith(QLatin1String("1900-01-00 ")) ||
                   isoDateText(dt) + QTime(dt.hour, dt.minute, dt.second).toString(u" HH:mm:ss") ==
                       theirs;
        }
        if (mine.kind() == ValueKind::Double) {
            const double a = mine.toDouble(), b = theirs.toDouble();
            return type == adType::Single
                       ? float(a) == theirs.toFloat()
                       : std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
        }
        return mine.kind() == ValueKind::Bytes && mine.standardText() == theirs.toUpper();
    }();
    return same ? mine.standardText() : theirs;
}

class ExportComparison : public ::testing::TestWithParam<std::string> {};

TEST_P(ExportComparison, EveryTableMatchesMdbExportValueByValue) {
    const QString path = fixturePath(QString::fromStdString(GetParam()));
    KELDARA_SKIP_WITHOUT_FIXTURE(path);
    auto connection = openAccess(path, passwordOf(path));
    const QStringList tables = tableNames(*connection);
    const QStringList exportTables =
        runMdbTool({"mdb-tables", "-1", path}).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(QSet<QString>(tables.begin(), tables.end()),
              QSet<QString>(exportTables.begin(), exportTables.end()));
    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        auto records = selectAll(*connection, table);
        const std::vector<QStringList> exported = mdbExport(path, table);
        ASSERT_FALSE(exported.empty());
        QJsonArray fields, rows;
        for (const QString& name : exported[0]) fields << QJsonObject{{"name", name}};
        for (std::size_t r = 1; r < exported.size(); ++r) {
            QJsonArray cells;
            for (int c = 0; c < exported[r].size(); ++c)
                cells << (long(r) <= records->recordCount() && c < records->fieldCount()
                              ? oracleCell(records->fieldInfo(c).type,
                                           records->valueAt(long(r) - 1, c), exported[r][c])
                              : QJsonValue(exported[r][c]));
            rows << cells;
        }
        expectSameAsOracle(*records, {{"fields", fields}, {"records", rows}});
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
