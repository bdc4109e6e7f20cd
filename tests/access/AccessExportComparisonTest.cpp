// Every table of every sample database, value by value against Debian's mdb-export.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>
#include <cmath>

#include "access/AccessFixtures.h"
#include "access/MdbExport.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

// mdb-export prints dates outside 1900..9999 as "1900-01-00 00:00:00" (DateTestDatabase.mdb);
// there the true value is asserted by the date tests instead.
const QString kExportBrokenDate = QStringLiteral("1900-01-00 00:00:00");

QString withoutTrailingFractionZeros(QString text) {
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

QString exportDateText(const Value& value) {
    const DateTime& dt = value.toDateTime();
    return isoDateText(dt) + QLatin1Char(' ') +
           QStringLiteral("%1:%2:%3")
               .arg(dt.hour, 2, 10, QLatin1Char('0'))
               .arg(dt.minute, 2, 10, QLatin1Char('0'))
               .arg(dt.second, 2, 10, QLatin1Char('0'));
}

bool closeDoubles(double a, double b) {
    return a == b || std::fabs(a - b) <= 1e-14 * std::max(std::fabs(a), std::fabs(b));
}

// Why a cell differs from mdb-export's, or the empty text when it agrees.
QString mismatch(const FieldInfo& field, const Value& mine, const ExportCell& theirs) {
    const auto describe = [&] {
        return QStringLiteral("Keldara %1, mdb-export %2")
            .arg(mine.sqlLiteral(),
                 theirs ? QLatin1Char('"') + *theirs + QLatin1Char('"') : QStringLiteral("NULL"));
    };
    if (!theirs) {
        // mdb-export prints a zero-length text as NULL too.
        const bool same =
            mine.isNull() || (mine.kind() == ValueKind::Text && mine.toText().isEmpty());
        return same ? QString() : describe();
    }
    if (mine.isNull()) return describe();
    switch (field.type) {
        case adType::Boolean:
            return (mine.toBool() ? QStringLiteral("1") : QStringLiteral("0")) == *theirs
                       ? QString()
                       : describe();
        case adType::UnsignedTinyInt:
        case adType::SmallInt:
        case adType::Integer:
            return QString::number(mine.toInt()) == *theirs ? QString() : describe();
        case adType::Currency:
        case adType::Numeric:
            return mine.decimalText() == withoutTrailingFractionZeros(*theirs) ? QString()
                                                                               : describe();
        case adType::Single:
            return static_cast<float>(mine.toDouble()) == theirs->toFloat() ? QString()
                                                                            : describe();
        case adType::Double:
            return closeDoubles(mine.toDouble(), theirs->toDouble()) ? QString() : describe();
        case adType::Date:
            if (*theirs == kExportBrokenDate) return QString();
            return exportDateText(mine) == *theirs ? QString() : describe();
        case adType::LongVarBinary:
        case adType::Binary:
            return mine.standardText().compare(*theirs, Qt::CaseInsensitive) == 0 ? QString()
                                                                                  : describe();
        default:
            return mine.toText() == *theirs ? QString() : describe();
    }
}

class ExportComparison : public ::testing::TestWithParam<AccessFixture> {};

TEST_P(ExportComparison, EveryTableMatchesMdbExportValueByValue) {
    const QString path = mdbFixture(GetParam().file);
    auto connection = openAccess(path, QString::fromUtf8(GetParam().password));
    auto catalogue = connection->openTableCatalogue();
    QStringList tables;
    for (long row = 0; row < catalogue->recordCount(); ++row)
        tables << catalogue->valueAt(row, 0).toText();
    const QStringList exportTables = mdbTables(path);
    EXPECT_EQ(QSet<QString>(tables.begin(), tables.end()),
              QSet<QString>(exportTables.begin(), exportTables.end()));

    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        auto records =
            connection->openRecordset(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'));
        const ExportedTable exported = mdbExport(path, table);
        QStringList names;
        for (int i = 0; i < records->fieldCount(); ++i) names << records->fieldInfo(i).name;
        ASSERT_EQ(names, exported.header);
        ASSERT_EQ(records->recordCount(), static_cast<long>(exported.rows.size()));
        int differences = 0;
        for (long row = 0; row < records->recordCount(); ++row) {
            ASSERT_EQ(exported.rows[row].size(), static_cast<std::size_t>(records->fieldCount()));
            for (int column = 0; column < records->fieldCount(); ++column) {
                const QString why =
                    mismatch(records->fieldInfo(column), records->valueAt(row, column),
                             exported.rows[row][column]);
                if (why.isEmpty()) continue;
                if (++differences <= 5) {
                    ADD_FAILURE() << "row " << row << " column " << names[column].toStdString()
                                  << ": " << why.toStdString();
                }
            }
        }
        EXPECT_EQ(differences, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(AllSampleDatabases, ExportComparison, ::testing::ValuesIn(kAccessFixtures),
                         [](const auto& info) {
                             QString name = QString::fromUtf8(info.param.file).section('/', -1);
                             name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")),
                                          QString());
                             return name.toStdString();
                         });

}  // namespace
