// keldara-cli migrate end to end: a folder of ten CSV files of about 1 GB together against the
// mariadb client's LOAD DATA LOCAL of the same files, one after the other, into the tables the
// migration's own dry run creates beforehand (the reference does less: no reading of types, no
// structure), with the migration's peak memory; and the Northwind sample database whole.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "target/DBBits.h"

using namespace keldara;

namespace {

const QString kDatabase = QStringLiteral("keldara_migrate_bench");

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

QString targetUrl() {
    return QStringLiteral("mysql://%1@%2:%3/%4")
        .arg(env("KELDARA_MYSQL_USER"), env("KELDARA_MYSQL_HOST"), env("KELDARA_MYSQL_PORT"),
             kDatabase);
}

std::unique_ptr<dao::Connection> server() {
    return dao::openConnection(
        target::ConnectionString(env("KELDARA_MYSQL_HOST"), env("KELDARA_MYSQL_USER"),
                                 env("KELDARA_MYSQL_PASSWORD"), {}, env("KELDARA_MYSQL_PORT")));
}

void emptyDatabase(dao::Connection& mysql) {
    mysql.execute("DROP DATABASE IF EXISTS " + kDatabase);
    mysql.execute("CREATE DATABASE " + kDatabase + " CHARACTER SET utf8mb4");
}

QString output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        throw std::runtime_error(
            (program + " failed: " + process.readAllStandardError()).toStdString());
    return QString::fromUtf8(process.readAllStandardOutput());
}

long long totalRows(dao::Connection& mysql) {
    return mysql
        .openRecordset(
            "SELECT SUM(TABLE_ROWS) FROM information_schema.TABLES WHERE "
            "TABLE_SCHEMA = '" +
            kDatabase + "'")
        ->valueAt(0, 0)
        .standardText()
        .toLongLong();
}

// The reference: the migration's tables created beforehand (untimed), then each file loaded.
double referenceSeconds(dao::Connection& mysql, const QString& folder, const QStringList& files) {
    emptyDatabase(mysql);
    const QString ddl = output(KELDARA_CLI_PATH, {"migrate", folder, targetUrl(), "--dry-run"});
    QProcess client;
    client.start("mariadb", bench::clientArguments(kDatabase));
    client.write(ddl.toUtf8());
    client.closeWriteChannel();
    client.waitForFinished(-1);
    QString loads;
    for (const QString& file : files) {
        loads += "LOAD DATA LOCAL INFILE '" + QDir(folder).filePath(file) + "' INTO TABLE `" +
                 QFileInfo(file).completeBaseName() +
                 "` CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY "
                 "'\"' LINES TERMINATED BY '\\n' IGNORE 1 LINES;";
    }
    return bench::commandSeconds("mariadb",
                                 bench::clientArguments(kDatabase) + QStringList{"-e", loads});
}

void folderFigure(const QString& folder, qint64 bytes) {
    QStringList files;
    for (int i = 1; i <= 10; ++i) {
        files << QStringLiteral("part%1.csv").arg(i, 2, 10, QLatin1Char('0'));
        bench::writeLongCsv(QDir(folder).filePath(files.back()), bytes / 10);
    }
    const auto mysql = server();
    std::vector<double> ours, reference, peaks;
    for (int round = 0; round < bench::rounds(); ++round) {
        emptyDatabase(*mysql);
        double peak = 0;
        ours.push_back(bench::seconds([&] {
            peak = bench::peakMegabytes(KELDARA_CLI_PATH,
                                        {"migrate", folder, targetUrl(), "--if-exists", "replace",
                                         "--jobs", "2", "--retry-for", "0"});
        }));
        peaks.push_back(peak);
        const long long ourRows = totalRows(*mysql);
        reference.push_back(referenceSeconds(*mysql, folder, files));
        std::printf(
            "INFO\tmigrate round %d: ours %.1f s, %.0f MB, ~%lld rows; LOAD DATA %.1f s, "
            "~%lld rows\n",
            round, ours.back(), peak, ourRows, reference.back(), totalRows(*mysql));
        std::fflush(stdout);
    }
    emptyDatabase(*mysql);
    const QString what = "keldara-cli migrate of a folder of 10 CSV files, " +
                         QString::number(bytes / 1e9, 'f', 1) + " GB, --jobs 2";
    bench::report({what, "time s", bench::median(ours),
                   "mariadb LOAD DATA LOCAL of each file into tables made beforehand",
                   bench::median(reference), 1.0});
    bench::report({what, "peak MB", bench::median(peaks), "256 MB", 256, 1.0});
}

void northwindFigure(const QString& file) {
    if (!QFileInfo::exists(file)) {
        std::printf("INFO\tNorthwind not timed: %s is missing\n", qPrintable(file));
        return;
    }
    const auto mysql = server();
    std::vector<double> times;
    for (int round = 0; round < bench::rounds(); ++round) {
        emptyDatabase(*mysql);
        times.push_back(bench::commandSeconds(KELDARA_CLI_PATH, {"migrate", file, targetUrl()}));
    }
    emptyDatabase(*mysql);
    bench::report({"keldara-cli migrate of Northwind.mdb (8 tables, 7 relationships)", "time s",
                   bench::median(times), "2 seconds", 2.0, 1.0});
}

// What one small table costs beyond starting the program: a 10-record table copied end to end
// by the bulk insert (connection, the table's fields, the load, the row count) against
// keldara-cli --version, over ten times the rounds.
void fixedCostFigure(const QString& folder) {
    QDir(folder).mkpath("small");
    const QString csv = QDir(folder).filePath("small/ten.csv");
    QByteArray text = "id,name\n";
    for (int i = 1; i <= 10; ++i)
        text += QByteArray::number(i) + ",n" + QByteArray::number(i) + '\n';
    bench::writeFile(csv, text);
    const auto mysql = server();
    emptyDatabase(*mysql);
    mysql->execute("CREATE TABLE " + kDatabase + ".t (id INT, name VARCHAR(10))");
    std::vector<double> runs, versions;
    for (int round = 0; round < 10 * bench::rounds(); ++round) {
        versions.push_back(bench::commandSeconds(KELDARA_CLI_PATH, {"--version"}));
        runs.push_back(bench::commandSeconds(
            KELDARA_CLI_PATH,
            {"run", "--source", csv, "--target", targetUrl() + "/t", "--action", "bulk"}));
    }
    emptyDatabase(*mysql);
    bench::report({"keldara-cli bulk copy of a 10-record table, beyond keldara-cli --version",
                   "time s", bench::median(runs) - bench::median(versions), "50 ms", 0.050, 1.0});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    QTemporaryDir folder(bench::dataFolderPattern("migrate"));
    return bench::guarded([&] {
        qputenv("KELDARA_MYSQL_PASSWORD", env("KELDARA_MYSQL_PASSWORD").toUtf8());
        northwindFigure(QStringLiteral(KELDARA_SOURCE_DIR) +
                        "/../shared/fixtures/mdb/statdata__Northwind-Databse/Northwind.mdb");
        fixedCostFigure(folder.path());
        folderFigure(folder.path(), quick ? qint64{100} << 20 : qint64{1000} << 20);
        return 0;
    });
}
