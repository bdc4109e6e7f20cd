// Streamed sources: reading a CSV file streamed against loading it (the same file, every value
// read), and keldara-cli's bulk insert of a generated 10 GB CSV into InnoDB against the mariadb
// client's LOAD DATA LOCAL INFILE of the same file, with keldara-cli's peak memory against
// 256 MB.
//
// keldara_stream_bench [--quick] [--read-only] [--bulk-gb N]: a 1 GB file to read and a 10 GB
// one to insert (--quick: 100 MB and 200 MB, one round; --read-only: no insert; --bulk-gb: N GB
// to insert, which takes the server about half an hour a round for 10 GB on 2 cores; at 1 GB
// and below the target is 0.95 of LOAD DATA's rate, above it 1.15 times its time). The bulk
// figure sets the server's InnoDB buffer pool and log flushing to MariaDB's defaults for its rounds
// and puts them back after. Needs KELDARA_MYSQL_HOST, _PORT, _USER and _PASSWORD; the files lie
// under $KELDARA_BENCH_DATA when set.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <optional>
#include <stdexcept>

#include "Bench.h"
#include "Data.h"
#include "DurableSettings.h"
#include "platform/dao/Connection.h"
#include "profiles/ProfileFile.h"
#include "target/DBBits.h"

using namespace keldara;

namespace {

const QString kDatabase = QStringLiteral("keldara_stream_bench");
const QString kTable = QStringLiteral("streamed");

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

std::unique_ptr<dao::Connection> textFolder(const QString& csv) {
    return dao::openConnection(bench::textConnectionString(csv));
}

// Opens the file's table loaded or streamed and reads every value in order.
void readAll(const QString& csv, bool streamed) {
    const auto connection = textFolder(csv);
    const QString sql = "SELECT * FROM [" + QFileInfo(csv).fileName() + ']';
    const auto records =
        streamed ? connection->openStreamedRecordset(sql, 10000) : connection->openRecordset(sql);
    qint64 kinds = 0;
    for (long row = 0; row < records->recordCount(); ++row) {
        for (int column = 0; column < records->fieldCount(); ++column)
            kinds += static_cast<int>(records->valueAt(row, column).kind());
    }
    if (kinds == 0) throw std::runtime_error("nothing was read");
}

void readFigure(const QString& csv) {
    std::vector<double> loaded, streamed;
    readAll(csv, true);  // untimed: the file in the page cache for both
    for (int round = 0; round < bench::rounds(); ++round) {
        loaded.push_back(bench::seconds([&] { readAll(csv, false); }));
        streamed.push_back(bench::seconds([&] { readAll(csv, true); }));
        std::printf("INFO\tstream read round %d: streamed %.2f s, loaded %.2f s\n", round,
                    streamed.back(), loaded.back());
        std::fflush(stdout);
    }
    const QString size = QString::number(QFileInfo(csv).size() / 1e6, 'f', 0);
    bench::report({"streamed read of a " + size + " MB CSV, every value", "time s",
                   bench::median(streamed), "the same file loaded", bench::median(loaded), 1.10});
}

class Server {
  public:
    Server() {
        const QString server = env("KELDARA_MYSQL_HOST"), user = env("KELDARA_MYSQL_USER"),
                      password = env("KELDARA_MYSQL_PASSWORD"), port = env("KELDARA_MYSQL_PORT");
        dao::openConnection(target::ConnectionString(server, user, password, {}, port))
            ->execute("CREATE DATABASE IF NOT EXISTS " + kDatabase);
        mysql_ =
            dao::openConnection(target::ConnectionString(server, user, password, kDatabase, port));
        durable_.emplace(*mysql_);
    }
    ~Server() {
        durable_.reset();
        try {
            mysql_->execute("DROP DATABASE " + kDatabase);
        } catch (...) {
        }
    }

    void createTable() {
        mysql_->execute("DROP TABLE IF EXISTS " + kTable);
        mysql_->execute("CREATE TABLE " + kTable +
                        " (id INT PRIMARY KEY, name VARCHAR(255), amount DOUBLE, day DATE, "
                        "note VARCHAR(255)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4");
    }
    QString value(const QString& expression) {
        return mysql_->openRecordset("SELECT " + expression)->valueAt(0, 0).standardText();
    }

  private:
    std::unique_ptr<dao::Connection> mysql_;
    std::optional<bench::DurableSettings> durable_;
};

void bulkFigure(const QString& csv, const QString& folder) {
    Server server;
    profiles::Profile profile{csv,
                              QFileInfo(csv).fileName(),
                              env("KELDARA_MYSQL_HOST"),
                              env("KELDARA_MYSQL_USER"),
                              env("KELDARA_MYSQL_PASSWORD"),
                              kDatabase,
                              kTable,
                              env("KELDARA_MYSQL_PORT")};
    const QString profilePath = folder + "/bulk.pro";
    const auto record = profiles::recordFromProfile(profile, QDateTime::currentDateTime());
    if (!record || !profiles::WriteProfile(profilePath, *record))
        throw std::runtime_error("cannot write the profile");
    const QString load = "LOAD DATA LOCAL INFILE '" + csv + "' INTO TABLE " + kTable +
                         " CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED "
                         "BY '\"' LINES TERMINATED BY '\\n' IGNORE 1 LINES";
    const QString rows = "(SELECT COUNT(*) FROM " + kTable + ")";
    std::vector<double> ours, reference, peaks;
    QString counts;
    for (int round = 0; round < bench::rounds(); ++round) {
        server.createTable();
        double peak = 0;
        ours.push_back(bench::seconds([&] {
            peak = bench::peakMegabytes(KELDARA_CLI_PATH, {"run", profilePath, "--action", "bulk"});
        }));
        peaks.push_back(peak);
        const QString ourRows = server.value(rows);
        server.createTable();
        reference.push_back(bench::commandSeconds(
            "mariadb", bench::clientArguments(kDatabase) + QStringList{"-e", load}));
        if (server.value(rows) != ourRows) throw std::runtime_error("the row counts differ");
        counts = ourRows;
        std::printf("INFO\tstream bulk round %d: ours %.1f s, %.0f MB; LOAD DATA %.1f s\n", round,
                    ours.back(), peak, reference.back());
        std::fflush(stdout);
    }
    server.createTable();  // empty: the disk space back
    const QString what = "keldara-cli bulk insert of a " +
                         QString::number(QFileInfo(csv).size() / 1e9, 'f', 1) + " GB CSV (" +
                         QLocale(QLocale::English).toString(counts.toLongLong()) + " records)";
    // At 1 GB or less the run keeps 0.95 of LOAD DATA's rate; a larger one takes at most 1.15
    // times its time.
    const double target = QFileInfo(csv).size() <= qint64{1} << 30 ? 1 / 0.95 : 1.15;
    bench::report({what, "time s", bench::median(ours), "mariadb LOAD DATA LOCAL INFILE",
                   bench::median(reference), target});
    bench::report({what, "peak MB", bench::median(peaks), "256 MB", 256, 1.0});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    QTemporaryDir folder(bench::dataFolderPattern("stream"));
    return bench::guarded([&] {
        const QString readCsv = folder.filePath("read.csv");
        bench::writeLongCsv(readCsv, (quick ? qint64{100} : qint64{1000}) << 20);
        readFigure(readCsv);
        QFile::remove(readCsv);
        if (app.arguments().contains("--read-only")) return 0;
        const QString bulkCsv = folder.filePath("bulk.csv");
        const qsizetype gb = app.arguments().indexOf("--bulk-gb");
        const double gigabytes =
            gb > 0 && gb + 1 < app.arguments().size() ? app.arguments()[gb + 1].toDouble() : 10;
        bench::writeLongCsv(bulkCsv,
                            quick ? qint64{200} << 20 : static_cast<qint64>(gigabytes * 1e9));
        bulkFigure(bulkCsv, folder.path());
        return 0;
    });
}
