// Reads a generated Visual FoxPro table of a million records (integer, character, numeric,
// date, logical, date-time, currency, memo) through the provider and compares the time with
// a plain read of the same bytes. Usage: keldara_dbase_bench [records]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

using namespace keldara::dao;

namespace {

void put32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

void putBig32(QByteArray& out, quint32 v) {
    for (int i = 3; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
}

struct Field {
    const char* name;
    char type;
    int length;
    int decimals;
};

const Field kFields[] = {{"ID", 'I', 4, 0},    {"NAME", 'C', 30, 0},  {"AMOUNT", 'N', 12, 2},
                         {"BORN", 'D', 8, 0},  {"ACTIVE", 'L', 1, 0}, {"STAMP", 'T', 8, 0},
                         {"PRICE", 'Y', 8, 0}, {"NOTES", 'M', 4, 0}};

// Writes the table and its memo file (one memo in every tenth record) in one go.
void writeTable(const QString& folder, quint32 records) {
    int recordLength = 1;
    for (const Field& f : kFields) recordLength += f.length;
    const int fieldCount = int(std::size(kFields));
    const int headerLength = 32 + 32 * fieldCount + 1 + 263;

    QByteArray memo(512, '\0');
    memo[6] = 0;
    memo[7] = 64;  // block size 64
    QByteArray table(32, '\0');
    table[0] = 0x30;
    table[29] = 0x03;
    QByteArray count;
    put32(count, records);
    table.replace(4, 4, count);
    table[8] = char(headerLength & 0xFF);
    table[9] = char(headerLength >> 8);
    table[10] = char(recordLength & 0xFF);
    table[11] = char(recordLength >> 8);
    int offset = 1;
    for (const Field& f : kFields) {
        QByteArray d(32, '\0');
        d.replace(0, int(qstrlen(f.name)), f.name);
        d[11] = f.type;
        QByteArray o;
        put32(o, quint32(offset));
        d.replace(12, 4, o);
        d[16] = char(f.length);
        d[17] = char(f.decimals);
        table += d;
        offset += f.length;
    }
    table += '\r';
    table += QByteArray(headerLength - table.size(), '\0');
    table.reserve(table.size() + qsizetype(records) * recordLength + 1);
    for (quint32 i = 0; i < records; ++i) {
        table += i % 97 == 0 ? '*' : ' ';
        put32(table, i);
        table += QByteArray("Customer name number ") + QByteArray::number(i).leftJustified(9, ' ');
        const QByteArray amount = QByteArray::number(i % 100000) + "." +
                                  QByteArray::number(i % 100).rightJustified(2, '0');
        table += amount.rightJustified(12, ' ');
        table += QByteArray::number(1950 + i % 70) + "0" + QByteArray::number(1 + i % 9) + "15";
        table += i % 2 ? 'T' : 'F';
        put32(table, 2451545 + i % 5000);
        put32(table, (i * 1000u) % 86400000u);
        put32(table, i * 7);
        put32(table, 0);
        if (i % 10 == 0) {
            const quint32 block = quint32(memo.size() / 64);
            const QByteArray text = "Memo of record " + QByteArray::number(i) + "\r\nsecond line";
            putBig32(memo, 1);
            putBig32(memo, quint32(text.size()));
            memo += text;
            memo += QByteArray((64 - memo.size() % 64) % 64, '\0');
            put32(table, block);
        } else {
            put32(table, 0);
        }
    }
    table += '\x1A';
    QFile tableFile(folder + "/bench.dbf");
    QFile memoFile(folder + "/bench.fpt");
    if (!tableFile.open(QIODevice::WriteOnly) || !memoFile.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write the table\n");
        std::exit(2);
    }
    tableFile.write(table);
    memoFile.write(memo);
}

double plainReadSeconds(const QString& folder) {
    QElapsedTimer timer;
    timer.start();
    quint64 sum = 0;
    for (const char* name : {"/bench.dbf", "/bench.fpt"}) {
        QFile file(folder + name);
        if (!file.open(QIODevice::ReadOnly)) return 0;
        const QByteArray bytes = file.readAll();
        for (char c : bytes) sum += static_cast<unsigned char>(c);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("plain read of the bytes: %.3f s (checksum %llu)\n", seconds,
                static_cast<unsigned long long>(sum));
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const quint32 records = argc > 1 ? quint32(std::atol(argv[1])) : 1000000u;
    QTemporaryDir dir;
    writeTable(dir.path(), records);
    const double reference = plainReadSeconds(dir.path());
    try {
        QElapsedTimer timer;
        timer.start();
        auto connection = openConnection(
            "Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=" + dir.path());
        const auto rs = connection->openRecordset("SELECT * FROM [bench.dbf]");
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("provider read of %ld live records (%u stored): %.3f s, %.0f records/s\n",
                    rs->recordCount(), records, seconds, rs->recordCount() / seconds);
        std::printf("ratio provider / plain read: %.1f\n", seconds / reference);
    } catch (const DaoError& error) {
        std::fprintf(stderr, "error: %s\n", error.description().toUtf8().constData());
        return 1;
    }
    return 0;
}
