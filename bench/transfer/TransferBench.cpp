// The transfer path that "Perform Action" runs, against the mariadb client on the same server
// in the same run: the per-record insert and merge (prepared statements) against the client
// sending the same statements as text, the bulk insert against LOAD DATA LOCAL INFILE of the same
// rows, and the create-table script of a tenfold table against ten times the smaller one.
//
// Also the update or insert against the client's same statements, the bulk merge against
// LOAD DATA LOCAL INFILE into an empty table, and the bulk insert skipping 1% refused records
// against the clean one.
//
// With --end-to-end, the same actions run by keldara-cli from the CSV file, process start to
// exit, against the mariadb client process, on the server's default durable settings (each
// commit flushed to disk): the bulk insert and bulk merge at both sizes, and the per-record
// insert and merge at the smaller.
//
// keldara_transfer_bench [--quick] [--bulk] [--modes] [--per-record] [--bulk-merge]
// [--end-to-end]: 100,000 and 1,000,000 records (--quick: 10,000 and 100,000, one round); --bulk
// leaves out the per-record insert, merge and update or insert; --modes runs only the update or
// insert, the skipping and the bulk merge; --per-record only the insert and the merge;
// --bulk-merge only the bulk merge; --end-to-end only keldara-cli's figures, which the full
// run gives last. Needs
// KELDARA_MYSQL_HOST, _PORT, _USER and _PASSWORD.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "Bench.h"
#include "DurableSettings.h"
#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/mysql/QuoteIdentifier.h"
#include "target/DBBits.h"
#include "transfer/BulkInsert.h"
#include "transfer/BulkMerge.h"
#include "transfer/ColumnTypes.h"
#include "transfer/CreateTableScript.h"
#include "transfer/MergeToTarget.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/SqlText.h"

using namespace keldara;

namespace {

const QString kDatabase = QStringLiteral("keldara_transfer_bench");
const QString kTable = QStringLiteral("Tester");

struct Silent : transfer::TransferProgress {
    void setStatusText(const QString&) override {}
    void setProgressMaximum(long) override {}
    void setProgressValue(long) override {}
    bool stopRequested() override { return false; }
};

// Stands in for the server: keeps each statement as a line of a client script.
struct StatementFile : dao::Connection {
    QByteArray lines;
    void execute(const QString& sql) override { lines += sql.toUtf8() + ";\n"; }
    // Finds no row: an update or insert writes both of its statements, as into an empty table.
    long long executeCounted(const QString& sql) override {
        execute(sql);
        return 0;
    }
    void open(const QString&) override {}
    bool isOpen() const override { return true; }
    void close() override {}
    std::unique_ptr<dao::Recordset> openTableCatalogue() override { return nullptr; }
    std::unique_ptr<dao::Recordset> openRecordset(const QString&) override { return nullptr; }
};

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

// Ten fields: integer key, quoted text with apostrophes, backslashes and other scripts,
// double, decimal, date, date-time, Boolean, text that is often Null, integer, short code.
QByteArray generatedCsv(long records) {
    static const char* names[] = {"O'Brien \\\\ Sons", "Zoë Ångström",    "\"\"quoted\"\" text",
                                  "東京 branch",       "Ελληνικά, plain", "back\\slash"};
    QByteArray csv = "id,name,amount,price,day,stamp,active,note,qty,code\n";
    csv.reserve(static_cast<qsizetype>(records) * 110);
    for (long i = 1; i <= records; ++i) {
        csv += QByteArray::number(static_cast<qlonglong>(i)) + ",\"" + names[i % 6] + ' ' +
               QByteArray::number(static_cast<qlonglong>(i % 977)) + "\"," +
               QByteArray::number(i * 0.37 + 0.001, 'g', 12) + ',' +
               QByteArray::number(static_cast<qlonglong>(i % 100000)) + '.' +
               QByteArray::number(static_cast<qlonglong>(10 + i % 90)) + ",2024-" +
               QByteArray::number(static_cast<qlonglong>(1 + i % 12)).rightJustified(2, '0') + '-' +
               QByteArray::number(static_cast<qlonglong>(1 + i % 28)).rightJustified(2, '0') +
               ",2023-05-" + QByteArray::number(static_cast<qlonglong>(10 + i % 19)) + ' ' +
               QByteArray::number(static_cast<qlonglong>(10 + i % 14)) + ":30:15," +
               (i % 3 ? "True" : "False") + ',' +
               (i % 4 ? QByteArray()
                      : "\"note for " + QByteArray::number(static_cast<qlonglong>(i)) + "\"") +
               ',' + (i % 5 ? QByteArray::number(static_cast<qlonglong>(i % 1000)) : QByteArray()) +
               ",C" + QByteArray::number(static_cast<qlonglong>(i % 50)) + '\n';
    }
    return csv;
}

QString csvPath(const QString& folder, long records) {
    return folder + QStringLiteral("/records%1.csv").arg(records);
}

std::unique_ptr<dao::Recordset> loadCsv(const QString& folder, long records) {
    QFile file(csvPath(folder, records));
    if (!file.open(QIODevice::WriteOnly) || file.write(generatedCsv(records)) < 0)
        throw std::runtime_error("cannot write the CSV file");
    file.close();
    return dao::openConnection(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1\\;"
                                              "Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"")
                                   .arg(folder))
        ->openRecordset(QStringLiteral("SELECT * FROM [records%1.csv]").arg(records));
}

shell::FieldPairing everyField(const dao::Recordset& records) {
    shell::FieldPairing pairing;
    for (int i = 0; i < records.fieldCount(); ++i)
        pairing.push_back({records.fieldInfo(i).name, records.fieldInfo(i).name});
    return pairing;
}

QStringList clientArguments() {
    return {"-h",
            env("KELDARA_MYSQL_HOST"),
            "-P",
            env("KELDARA_MYSQL_PORT"),
            "-u",
            env("KELDARA_MYSQL_USER"),
            "-p" + env("KELDARA_MYSQL_PASSWORD"),
            "--local-infile=1",
            "--default-character-set=utf8mb4",
            kDatabase};
}

double median(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    const size_t middle = seconds.size() / 2;
    return seconds.size() % 2 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
}

// /proc/PID/stat of the server when it is a process of this machine; empty otherwise.
QString serverStatFile;

// CPU seconds used so far by this process, by its children that have ended and by the server
// (0 when serverStatFile is empty or unreadable).
struct CpuTimes {
    double self = 0;
    double children = 0;
    double server = 0;
};

CpuTimes cpuTimes() {
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    CpuTimes times;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    times.self = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    getrusage(RUSAGE_CHILDREN, &usage);
    times.children = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    QFile stat(serverStatFile);
    if (!serverStatFile.isEmpty() && stat.open(QIODevice::ReadOnly)) {
        // After "PID (name)": the state is field 3, user and system time fields 14 and 15.
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        if (fields.size() > 13) {
            times.server = (fields[12].toDouble() + fields[13].toDouble()) /
                           static_cast<double>(sysconf(_SC_CLK_TCK));
        }
    }
    return times;
}

struct Medians {
    double ours = 0;
    double reference = 0;
    std::vector<double> ratios;  // of each round
    // Median CPU seconds: of this process while it ran ours, of the reference's process, and
    // of the server during each.
    double oursCpu = 0, referenceCpu = 0, serverOursCpu = 0, serverReferenceCpu = 0;
};

// The medians over the rounds of `ours` and `reference`, taking turns so that neither always
// runs after the other's work; each after `prepare` (not timed).
Medians medians(const std::function<void()>& prepare, const std::function<double()>& ours,
                const std::function<double()>& reference) {
    std::vector<double> oursSeconds, referenceSeconds, ratios;
    std::vector<double> oursCpu, referenceCpu, serverOursCpu, serverReferenceCpu;
    for (int round = 0; round < bench::rounds(); ++round) {
        prepare();
        const CpuTimes beforeOurs = cpuTimes();
        oursSeconds.push_back(ours());
        const CpuTimes afterOurs = cpuTimes();
        prepare();
        const CpuTimes beforeReference = cpuTimes();
        referenceSeconds.push_back(reference());
        const CpuTimes afterReference = cpuTimes();
        ratios.push_back(oursSeconds.back() / referenceSeconds.back());
        // Ours in this process, or in keldara-cli's when it runs end to end.
        oursCpu.push_back(afterOurs.self + afterOurs.children - beforeOurs.self -
                          beforeOurs.children);
        serverOursCpu.push_back(afterOurs.server - beforeOurs.server);
        referenceCpu.push_back(afterReference.children - beforeReference.children);
        serverReferenceCpu.push_back(afterReference.server - beforeReference.server);
    }
    return {median(oursSeconds),       median(referenceSeconds), ratios,
            median(oursCpu),           median(referenceCpu),     median(serverOursCpu),
            median(serverReferenceCpu)};
}

double timed(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class Bench {
  public:
    explicit Bench(QString folder) : folder_(std::move(folder)) {
        const QString server = env("KELDARA_MYSQL_HOST"), user = env("KELDARA_MYSQL_USER"),
                      password = env("KELDARA_MYSQL_PASSWORD"), port = env("KELDARA_MYSQL_PORT");
        dao::openConnection(target::ConnectionString(server, user, password, {}, port))
            ->execute("CREATE DATABASE IF NOT EXISTS " + kDatabase);
        mysql_ =
            dao::openConnection(target::ConnectionString(server, user, password, kDatabase, port));
        QFile pidFile(mysql_->openRecordset("SELECT @@pid_file")->valueAt(0, 0).standardText());
        if (pidFile.open(QIODevice::ReadOnly))
            serverStatFile = "/proc/" + pidFile.readAll().trimmed() + "/stat";
    }
    ~Bench() {
        durable_.reset();
        try {
            mysql_->execute("DROP DATABASE " + kDatabase);
        } catch (...) {
        }
    }

    // MariaDB's defaults for the buffer pool and log flushing (each commit on disk) until the
    // bench ends.
    void useDurableDefaults() {
        if (!durable_) durable_.emplace(*mysql_);
    }

    // The table of the records' script (its column types), keyed by id, on InnoDB.
    void createTable(const dao::Recordset& records) {
        QStringList columns;
        for (int i = 0; i < records.fieldCount(); ++i) {
            const dao::FieldInfo& field = records.fieldInfo(i);
            columns << dao::mysql::QuoteIdentifier(field.name) + ' ' +
                           transfer::MySQLColumnType(field);
        }
        mysql_->execute("DROP TABLE IF EXISTS " + kTable);
        mysql_->execute("CREATE TABLE " + kTable + " (" + columns.join(',') +
                        ", PRIMARY KEY (id)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");
    }

    void empty() { mysql_->execute("TRUNCATE TABLE " + kTable); }

    QString statementFile(const QString& action, const dao::Recordset& records) {
        StatementFile file;
        Silent silent;
        transfer::RunChoices literal;
        literal.literalStatements = true;
        transfer::MergeToTarget(action, kTable, "id", records, everyField(records), file, silent,
                                literal);
        return write(action + ".sql", file.lines);
    }

    // The records as the bulk insert leaves them in the table, as LOAD DATA reads them:
    // tab-separated, \N for Null.
    QString loadDataFile(const dao::Recordset& records) {
        empty();
        bulk(records);
        const auto rows = mysql_->openRecordset("SELECT * FROM " + kTable);
        QByteArray text;
        for (long r = 0; r < rows->recordCount(); ++r) {
            for (int c = 0; c < rows->fieldCount(); ++c) {
                const dao::Value value = rows->valueAt(r, c);
                QString cell = value.isNull() ? QStringLiteral("\\N") : value.standardText();
                if (!value.isNull())
                    cell.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n");
                text += cell.toUtf8() + (c + 1 < rows->fieldCount() ? '\t' : '\n');
            }
        }
        return write("rows.tsv", text);
    }

    double perRecord(const QString& action, const dao::Recordset& records) {
        Silent silent;
        return timed([&] {
            const auto result = transfer::MergeToTarget(action, kTable, "id", records,
                                                        everyField(records), *mysql_, silent);
            if (!result.completed()) throw std::runtime_error(result.message.toStdString());
        });
    }

    double bulk(const dao::Recordset& records, const transfer::RunChoices& choices = {}) {
        Silent silent;
        return timed([&] {
            const auto result = transfer::BulkInsert(kTable, records, everyField(records), *mysql_,
                                                     silent, choices);
            if (!result.completed()) throw std::runtime_error(result.message.toStdString());
        });
    }

    double bulkMerge(const dao::Recordset& records) {
        Silent silent;
        return timed([&] {
            const auto result = transfer::BulkMerge(false, kTable, "id", records,
                                                    everyField(records), *mysql_, silent);
            if (!result.completed() || result.recordsUpdated != records.recordCount())
                throw std::runtime_error(result.message.toStdString());
        });
    }

    // keldara-cli running `action` from the CSV file of `records` records, start to exit.
    double cli(const QString& action, long records) {
        QStringList arguments{"run",
                              "--source",
                              csvPath(folder_, records),
                              "--target",
                              "mysql://" + env("KELDARA_MYSQL_USER") + '@' +
                                  env("KELDARA_MYSQL_HOST") + ':' + env("KELDARA_MYSQL_PORT") +
                                  '/' + kDatabase + '/' + kTable,
                              "--action",
                              action,
                              "--progress",
                              "0"};
        if (action.contains("merge"))
            arguments << "--match"
                      << "id";
        return bench::commandSeconds(KELDARA_CLI_PATH, arguments);
    }

    QString folder() const { return folder_; }

    double client(const QString& sqlFile) {
        return bench::commandSeconds("mariadb", clientArguments(), sqlFile);
    }

    double loadData(const QString& tsv) {
        return bench::commandSeconds(
            "mariadb", clientArguments() +
                           QStringList{"-e", "LOAD DATA LOCAL INFILE '" + tsv + "' INTO TABLE " +
                                                 kTable + " CHARACTER SET utf8mb4"});
    }

    long rows() { return value("COUNT(*) FROM " + kTable).toLong(); }

  private:
    QString value(const QString& expression) {
        return mysql_->openRecordset("SELECT " + expression)->valueAt(0, 0).standardText();
    }

    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(folder_ + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + name.toStdString());
        return file.fileName();
    }

    QString folder_;
    std::unique_ptr<dao::Connection> mysql_;
    std::optional<bench::DurableSettings> durable_;
};

QString recordsText(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

// The ratio of each round, lowest to highest, and the CPU time of a statement on each side
// (with `statements` above 0).
void reportRounds(const QString& figure, Medians medians, long statements) {
    std::sort(medians.ratios.begin(), medians.ratios.end());
    QStringList texts;
    for (const double ratio : medians.ratios) texts << QString::number(ratio, 'f', 3);
    if (statements == 0) {
        std::printf("INFO\t%s\tratio of each round: %s\n", qPrintable(figure),
                    qPrintable(texts.join(", ")));
        return;
    }
    const auto micro = [&](double seconds) { return seconds * 1e6 / statements; };
    std::printf(
        "INFO\t%s\tratio of each round: %s; CPU per statement: server %.1f us (client's text "
        "%.1f us), sender %.1f us (client %.1f us)\n",
        qPrintable(figure), qPrintable(texts.join(", ")), micro(medians.serverOursCpu),
        micro(medians.serverReferenceCpu), micro(medians.oursCpu), micro(medians.referenceCpu));
}

// The insert and the merge with prepared statements, as the transfer sends them, against the
// client sending the literal statements as text.
void perRecordFigures(Bench& bench, const dao::Recordset& records) {
    const QString n = recordsText(records.recordCount());
    bench.createTable(records);
    const QString inserts = bench.statementFile("INSERT", records);
    const QString updates = bench.statementFile("UPDATE", records);
    const Medians insert =
        medians([&] { bench.empty(); }, [&] { return bench.perRecord("INSERT", records); },
                [&] { return bench.client(inserts); });
    const QString insertFigure = "insert transfer, " + n + " records";
    bench::report({insertFigure, "time s", insert.ours, "mariadb client, same statements as text",
                   insert.reference, 0.85});
    reportRounds(insertFigure, insert, records.recordCount());
    const Medians merge = medians([] {}, [&] { return bench.perRecord("UPDATE", records); },
                                  [&] { return bench.client(updates); });
    const QString mergeFigure = "merge by primary key, " + n + " records";
    bench::report({mergeFigure, "time s", merge.ours, "mariadb client, same statements as text",
                   merge.reference, 0.85});
    reportRounds(mergeFigure, merge, records.recordCount());
}

void bulkFigure(Bench& bench, const dao::Recordset& records) {
    bench.createTable(records);
    const QString tsv = bench.loadDataFile(records);
    // Each run must leave every record in the table.
    const auto all = [&](double seconds) {
        if (bench.rows() != records.recordCount()) throw std::runtime_error("rows were lost");
        return seconds;
    };
    const Medians bulk = medians([&] { bench.empty(); }, [&] { return all(bench.bulk(records)); },
                                 [&] { return all(bench.loadData(tsv)); });
    bench::report({"bulk insert, " + recordsText(records.recordCount()) + " records", "time s",
                   bulk.ours, "mariadb LOAD DATA LOCAL INFILE", bulk.reference, 1.43});
}

// Update or insert into an empty table, record by record: an update that finds nothing and
// an insert per record, against the client sending the same statements.
void upsertFigure(Bench& bench, const dao::Recordset& records) {
    bench.createTable(records);
    const QString statements = bench.statementFile("UPSERT", records);
    const Medians upsert =
        medians([&] { bench.empty(); }, [&] { return bench.perRecord("UPSERT", records); },
                [&] { return bench.client(statements); });
    bench::report(
        {"update or insert, " + recordsText(records.recordCount()) + " records into an empty table",
         "time s", upsert.ours, "mariadb client, same statements", upsert.reference, 1.10});
}

// The bulk merge of every record into a table that holds them all, keyed by the match field,
// against LOAD DATA LOCAL INFILE of the same rows into an empty table: half its rate is a time
// ratio of 2.
void bulkMergeFigure(Bench& bench, const dao::Recordset& records) {
    bench.createTable(records);
    const QString tsv = bench.loadDataFile(records);
    const Medians merge = medians(
        [&] {
            bench.empty();
            bench.bulk(records);
        },
        [&] { return bench.bulkMerge(records); },
        [&] {
            bench.empty();
            return bench.loadData(tsv);
        });
    bench::report({"bulk merge, " + recordsText(records.recordCount()) + " records into as many",
                   "time s", merge.ours, "mariadb LOAD DATA LOCAL INFILE, empty table",
                   merge.reference, 2.0});
}

// The bulk insert skipping 1% refused records (a repeated key every 100 records) against the
// clean bulk insert: half its rate is a time ratio of 2.
void skipFigure(Bench& bench, const dao::Recordset& records) {
    std::vector<dao::FieldInfo> fields;
    for (int c = 0; c < records.fieldCount(); ++c) fields.push_back(records.fieldInfo(c));
    dao::Recordset refused(fields);
    for (long r = 0; r < records.recordCount(); ++r) {
        std::vector<dao::Value> row;
        for (int c = 0; c < records.fieldCount(); ++c) row.push_back(records.valueAt(r, c));
        if (r % 100 == 99) row[0] = records.valueAt(r - 50, 0);
        refused.appendRow(row);
    }
    bench.createTable(records);
    const Medians skip = medians([&] { bench.empty(); },
                                 [&] {
                                     transfer::RejectsFile rejects(bench.folder() + "/rejects.csv");
                                     transfer::RunChoices choices;
                                     choices.rejects = &rejects;
                                     return bench.bulk(refused, choices);
                                 },
                                 [&] { return bench.bulk(records); });
    bench::report(
        {"bulk insert skipping 1% refused, " + recordsText(records.recordCount()) + " records",
         "time s", skip.ours, "the clean bulk insert", skip.reference, 2.0});
}

// keldara-cli, start to exit, on the durable settings: the bulk insert and bulk merge of both
// tables against LOAD DATA LOCAL of the same rows by the mariadb client (a rate of 0.85 is a
// time ratio of 1 / 0.85), and the per-record insert and merge of the smaller against the client
// sending the same statements.
void endToEndFigures(Bench& bench, const dao::Recordset& small, const dao::Recordset& large) {
    bench.useDurableDefaults();
    for (const dao::Recordset* records : {&small, &large}) {
        const bool isSmall = records == &small;
        const long n = records->recordCount();
        bench.createTable(*records);
        const QString tsv = bench.loadDataFile(*records);
        const auto all = [&](double seconds) {
            if (bench.rows() != n) throw std::runtime_error("rows were lost");
            return seconds;
        };
        const Medians bulk =
            medians([&] { bench.empty(); }, [&] { return all(bench.cli("bulk", n)); },
                    [&] { return all(bench.loadData(tsv)); });
        const QString bulkFigure = "keldara-cli bulk insert, " + recordsText(n) + " records";
        bench::report({bulkFigure, "time s", bulk.ours, "mariadb LOAD DATA LOCAL INFILE",
                       bulk.reference, isSmall ? 1 / 0.85 : 1 / 0.95});
        reportRounds(bulkFigure, bulk, 0);
        const Medians merge = medians(
            [&] {
                bench.empty();
                bench.bulk(*records);
            },
            [&] { return bench.cli("bulk-merge", n); },
            [&] {
                bench.empty();
                return bench.loadData(tsv);
            });
        const QString mergeFigure =
            "keldara-cli bulk merge, " + recordsText(n) + " records into as many";
        bench::report({mergeFigure, "time s", merge.ours,
                       "mariadb LOAD DATA LOCAL INFILE, empty table", merge.reference,
                       isSmall ? 1 / 0.60 : 1 / 0.75});
        reportRounds(mergeFigure, merge, 0);
    }
    bench.createTable(small);
    const long n = small.recordCount();
    for (const QString action : {"INSERT", "UPDATE"}) {
        const QString statements = bench.statementFile(action, small);
        const bool insert = action == "INSERT";
        const Medians figure = medians(
            [&] {
                if (insert) bench.empty();
            },
            [&] { return bench.cli(insert ? "insert" : "merge", n); },
            [&] { return bench.client(statements); });
        const QString name = "keldara-cli " + QString(insert ? "insert" : "merge") + ", " +
                             recordsText(n) + " records, one statement each";
        bench::report({name, "time s", figure.ours, "mariadb client, same statements as text",
                       figure.reference, 0.80});
        reportRounds(name, figure, n);
    }
}

// The script of the large table against ten times the small one's, in alternating rounds,
// so that both meet the machine in the same state.
void scriptFigure(const dao::Recordset& small, const dao::Recordset& large) {
    Silent silent;
    std::vector<double> smallSeconds, largeSeconds;
    for (int round = 0; round < bench::rounds(); ++round) {
        smallSeconds.push_back(timed([&] { transfer::CreateTableScript(kTable, small, silent); }));
        largeSeconds.push_back(timed([&] { transfer::CreateTableScript(kTable, large, silent); }));
    }
    bench::report({"create-table script, " + recordsText(large.recordCount()) + " records",
                   "time s", median(largeSeconds),
                   "10 x the script of " + recordsText(small.recordCount()) + " records",
                   10 * median(smallSeconds), 1.10});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    const bool bulkOnly = app.arguments().contains("--bulk");
    const bool modesOnly = app.arguments().contains("--modes");
    const bool bulkMergeOnly = app.arguments().contains("--bulk-merge");
    const bool perRecordOnly = app.arguments().contains("--per-record");
    const long small = quick ? 10000 : 100000;
    QTemporaryDir temporary;
    const QString folder = qEnvironmentVariableIsSet("KELDARA_BENCH_DATA")
                               ? qEnvironmentVariable("KELDARA_BENCH_DATA")
                               : temporary.path();
    return bench::guarded([&] {
        Bench bench(folder);
        const auto smallRecords = loadCsv(folder, small);
        if (app.arguments().contains("--end-to-end")) {
            endToEndFigures(bench, *smallRecords, *loadCsv(folder, small * 10));
            return 0;
        }
        if (perRecordOnly) {
            perRecordFigures(bench, *smallRecords);
            return 0;
        }
        if (bulkMergeOnly) {
            bulkMergeFigure(bench, *loadCsv(folder, small * 10));
            return 0;
        }
        if (modesOnly) {
            upsertFigure(bench, *smallRecords);
            skipFigure(bench, *smallRecords);
            bulkMergeFigure(bench, *loadCsv(folder, small * 10));
            return 0;
        }
        if (!bulkOnly) upsertFigure(bench, *smallRecords);
        if (!bulkOnly) perRecordFigures(bench, *smallRecords);
        bulkFigure(bench, *smallRecords);
        const auto largeRecords = loadCsv(folder, small * 10);
        // Before the large bulk insert, whose aftermath keeps the server busy for a while.
        scriptFigure(*smallRecords, *largeRecords);
        bulkFigure(bench, *largeRecords);
        skipFigure(bench, *smallRecords);
        bulkMergeFigure(bench, *largeRecords);
        // Last: it leaves the server on the durable settings until the bench ends.
        if (!bulkOnly) endToEndFigures(bench, *smallRecords, *largeRecords);
        return 0;
    });
}
