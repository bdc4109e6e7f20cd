#include "access/MdbExport.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/Process.h"

namespace keldara::test {

std::vector<std::vector<ExportCell>> parseExportCsv(const QString& csv) {
    std::vector<std::vector<ExportCell>> records;
    std::vector<ExportCell> record;
    QString cell;
    bool quoted = false;
    bool wasQuoted = false;
    const auto endCell = [&] {
        if (!wasQuoted && cell == QLatin1String(kExportNull)) {
            record.emplace_back(std::nullopt);
        } else {
            record.emplace_back(cell);
        }
        cell.clear();
        wasQuoted = false;
    };
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QChar c = csv[i];
        if (quoted) {
            if (c == u'"' && i + 1 < csv.size() && csv[i + 1] == u'"') {
                cell += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = true;
            wasQuoted = true;
        } else if (c == u',') {
            endCell();
        } else if (c == u'\n') {
            endCell();
            records.push_back(std::move(record));
            record.clear();
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !record.empty()) {
        endCell();
        records.push_back(std::move(record));
    }
    return records;
}

namespace {

// Sets environment variables for the programs started while it lives (empty: unset).
class ScopedEnvironment {
  public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, QByteArray>> values) {
        for (const auto& [name, value] : values) {
            saved_.emplace_back(name, qEnvironmentVariableIsSet(name), qgetenv(name));
            set(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, wasSet, value] : saved_) {
            if (wasSet) {
                qputenv(name, value);
            } else {
                qunsetenv(name);
            }
        }
    }

  private:
    static void set(const char* name, const QByteArray& value) {
        if (value.isEmpty()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    std::vector<std::tuple<const char*, bool, QByteArray>> saved_;
};

// mdb-export's own environment: UTF-8 output and arguments whatever the test machine's locale.
ProcessResult runMdbTool(const QString& program, const QStringList& arguments,
                         const QByteArray& jet3Charset = {}) {
    const ScopedEnvironment environment{{"LC_ALL", QByteArrayLiteral("C.UTF-8")},
                                        {"MDB_ICONV", QByteArray()},
                                        {"MDB_JET3_CHARSET", jet3Charset}};
    return runProcess(program, arguments);
}

}  // namespace

ExportedTable mdbExport(const QString& file, const QString& table, const QByteArray& jet3Charset) {
    const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
    const ProcessResult result =
        runMdbTool(QStringLiteral("mdb-export"),
                   {QStringLiteral("-b"), QStringLiteral("hex"), QStringLiteral("-D"), format,
                    QStringLiteral("-T"), format, QStringLiteral("-0"),
                    QString::fromLatin1(kExportNull), file, table},
                   jet3Charset);
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    ExportedTable exported;
    auto records = parseExportCsv(QString::fromUtf8(result.out));
    if (records.empty()) return exported;
    for (const auto& name : records.front()) exported.header << name.value_or(QString());
    records.erase(records.begin());
    exported.rows = std::move(records);
    return exported;
}

QStringList mdbTables(const QString& file) {
    const ProcessResult result =
        runMdbTool(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file});
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    return QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace keldara::test
