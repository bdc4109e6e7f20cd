// Loads a generated dBase III table of a million records (ten character, numeric, date and
// logical fields, 101-byte records) through the dBase provider into a recordset, against
// python3-dbfread reading every record of the same file; and the load's peak memory against
// the file's size.
// Usage: keldara_dbase_bench [--quick]          the figures
//        keldara_dbase_bench --load FOLDER      load only (the child whose memory is measured)
//        keldara_dbase_bench --write FOLDER     writes FOLDER/million.dbf (for profiling)
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <stdexcept>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace {

using namespace keldara;

struct FieldSpec {
    const char* name;
    char type;
    int length;
    int decimals;
};

constexpr std::array<FieldSpec, 10> kFields{{{"ID", 'N', 9, 0},
                                             {"NAME", 'C', 24, 0},
                                             {"CITY", 'C', 16, 0},
                                             {"AMOUNT", 'N', 12, 2},
                                             {"BORN", 'D', 8, 0},
                                             {"ACTIVE", 'L', 1, 0},
                                             {"QTY", 'N', 6, 0},
                                             {"CODE", 'C', 8, 0},
                                             {"RATE", 'N', 8, 3},
                                             {"UPDATED", 'D', 8, 0}}};

const char* const kCities[] = {"Lisboa", "München", "Zürich", "Kraków", "Malmö", "Ørsted"};

void putLittle(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

QByteArray right(const QByteArray& text, int width) {
    return text.rightJustified(width, ' ', true);
}

QByteArray left(const QByteArray& text, int width) {
    return text.leftJustified(width, ' ', true);
}

QByteArray header(quint32 records, int recordLength) {
    const int headerLength = 32 + 32 * int(kFields.size()) + 1;
    QByteArray out;
    out += char(0x03);                     // dBase III without memo
    out += QByteArray("\x7E\x0C\x06", 3);  // last update 2026-12-06
    putLittle(out, records, 4);
    putLittle(out, quint32(headerLength), 2);
    putLittle(out, quint32(recordLength), 2);
    out += QByteArray(17, '\0');
    out += char(0x57);  // language driver: Windows ANSI (1252)
    out += QByteArray(2, '\0');
    for (const FieldSpec& field : kFields) {
        QByteArray descriptor(32, '\0');
        descriptor.replace(0, int(qstrlen(field.name)), field.name);
        descriptor[11] = field.type;
        descriptor[16] = char(field.length);
        descriptor[17] = char(field.decimals);
        out += descriptor;
    }
    out += '\r';
    return out;
}

QByteArray record(quint32 i) {
    QByteArray out = i % 101 == 0 ? "*" : " ";
    out += right(QByteArray::number(i + 1), 9);
    out += left("Customer " + QByteArray::number(i * 7919 % 1000003), 24);
    out += left(QString::fromUtf8(kCities[i % std::size(kCities)]).toLatin1(), 16);
    out += i % 50 == 0 ? QByteArray(12, ' ')
                       : right(QByteArray::number(double(i % 1000000) / 100 - 5000, 'f', 2), 12);
    out += QByteArray::number(19500101 + (i % 70) * 10000 + (i % 12) * 100 + i % 28);
    out += i % 3 == 0 ? 'T' : (i % 3 == 1 ? 'F' : '?');
    out += right(QByteArray::number(i % 100000), 6);
    out += left("C" + QByteArray::number(i % 9973, 16).toUpper(), 8);
    out += right(QByteArray::number(double(i % 9000) / 1000, 'f', 3), 8);
    out += QByteArray::number(20240101 + (i % 9) * 100 + i % 27);
    return out;
}

int recordLength() {
    int length = 1;
    for (const FieldSpec& field : kFields) length += field.length;
    return length;
}

QString writeTable(const QString& folder, quint32 records) {
    const QString path = folder + QStringLiteral("/million.dbf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the table");
    file.write(header(records, recordLength()));
    QByteArray chunk;
    for (quint32 i = 0; i < records; ++i) {
        chunk += record(i);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += '\x1A';
    file.write(chunk);
    return path;
}

long load(const QString& folder) {
    auto connection = dao::openConnection(
        QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
        folder);
    return connection->openRecordset(QStringLiteral("SELECT * FROM [million.dbf]"))->recordCount();
}

const char* const kDbfreadEveryRecord =
    "import sys\n"
    "from dbfread import DBF\n"
    "n = 0\n"
    "for record in DBF(sys.argv[1], encoding='cp1252'):\n"
    "    n += len(record)\n";

int run(bool quick) {
    const quint32 records = quick ? 100000 : 1000000;
    QTemporaryDir dir(bench::dataFolderPattern(QStringLiteral("dbase")));
    const QString path = writeTable(dir.path(), records);
    const QString size = quick ? QStringLiteral("100,000") : QStringLiteral("1,000,000");

    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    long loaded = 0;
    const double ours = bench::medianSeconds([&] { loaded = load(dir.path()); });
    std::fprintf(stderr, "dbase: %ld live records loaded\n", loaded);
    const double reference = bench::medianCommandSeconds(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QString::fromLatin1(kDbfreadEveryRecord), path});
    bench::report({QStringLiteral("dbase load, %1 records").arg(size), QStringLiteral("time s"),
                   ours, QStringLiteral("python3-dbfread, every record"), reference, 0.10});

    const double peak = bench::peakMegabytes(QCoreApplication::applicationFilePath(),
                                             {QStringLiteral("--load"), dir.path()});
    bench::report({QStringLiteral("dbase load, %1 records").arg(size), QStringLiteral("peak MB"),
                   peak, QStringLiteral("file size MB"),
                   double(QFileInfo(path).size()) / (1024.0 * 1024.0), 2.0});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    return bench::guarded([&] {
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--load")) {
            return load(arguments[2]) > 0 ? 0 : 1;
        }
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--write")) {
            writeTable(arguments[2], 1000000);
            return 0;
        }
        return run(arguments.contains(QStringLiteral("--quick")));
    });
}
