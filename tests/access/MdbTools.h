// Debian's mdbtools as the oracle of the Access provider's tests.
#pragma once

#include <gtest/gtest.h>

#include <QJsonValue>
#include <QStringList>
#include <QTime>
#include <cmath>
#include <vector>

#include "platform/dao/Connection.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"
#include "support/Process.h"

namespace keldara::test {

using namespace keldara::dao;

inline std::unique_ptr<Connection> openAccess(const QString& path, const QString& password = {}) {
    return openConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                          ";Jet OLEDB:Database Password=" + password);
}

// No fixture holds this text.
inline const QString kNull = QStringLiteral("\x01NULL\x01");

// mdbtools with UTF-8 output whatever the test machine's locale; `jet3Charset` is passed as
// MDB_JET3_CHARSET.
inline QString runMdbTool(const QStringList& arguments, const QByteArray& jet3Charset = {}) {
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
inline std::vector<QStringList> mdbExport(const QString& file, const QString& table,
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
inline QJsonValue oracleCell(int type, const Value& mine, const QString& theirs) {
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

}  // namespace keldara::test
