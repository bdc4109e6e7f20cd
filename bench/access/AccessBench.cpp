// Loads Access tables of 200,000 rows through the Access provider into a recordset, against
// `mdb-export` of the same table to /dev/null.
//
// No program here writes .mdb files, and the fixtures' tables hold a few rows each, so each
// table is grown from a fixture: its rows are packed, repeated, into new data pages appended
// to a copy of the file; the table's usage map is turned into one that lists the new pages
// through bitmap pages, and its row count is set. The catalogue, the table definition and the
// other tables stay as they were. Four tables, for their formats and columns: Table1 of
// testV1997.mdb (Jet 3: two texts, byte, integer, long, double, date, currency, Boolean),
// t_funcs of functionsV2000.mdb (Jet 4: integer, memo, decimal, date), Table1 of
// testV2007.accdb (Access 2007: the types of the Jet 3 one) and Table1 of
// calcFieldTestV2010.accdb (Access 2010: texts, currency, decimal and eleven calculated
// fields, one of them a memo). The calculated table's time per row is also compared with the
// plain Access 2007 table's.
// Usage: keldara_access_bench [--quick] [--loads-only]
//        keldara_access_bench --write FOLDER    writes the grown tables there (for profiling)
//        keldara_access_bench --load FILE TABLE loads the table once (for profiling)
// --loads-only leaves out mdb-export and gives only the per-row figure.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace {

using namespace keldara;

struct Source {
    const char* fixture;  // under tests/data
    const char* table;
};

constexpr Source kSources[] = {{"mdb/jahlborn__jackcess/testV1997.mdb", "Table1"},
                               {"mdb/spannm__ucanaccess/functionsV2000.mdb", "t_funcs"},
                               {"accdb/jahlborn__jackcess/testV2007.accdb", "Table1"},
                               {"accdb/jahlborn__jackcess/calcFieldTestV2010.accdb", "Table1"}};

constexpr int kDataPage = 0x01;
constexpr int kUsageBitmapPage = 0x05;
constexpr quint16 kRowDeleted = 0x4000;
constexpr quint16 kRowLookup = 0x8000;
constexpr quint16 kRowOffsetMask = 0x1FFF;
constexpr int kMostRowsPerPage = 255;

// Where the two Jet versions keep what is changed here.
struct Layout {
    int pageSize;
    int rowCountOffset;   // of a data page; its row offsets follow
    int tableRowsOffset;  // of a table definition page
    int usageMapOffset;   // of a table definition page: page << 8 | row of the usage map
};

Layout layoutOf(const QByteArray& file) {
    const bool jet3 = file.size() > 0x14 && file[0x14] == 0;
    return jet3 ? Layout{2048, 8, 12, 35} : Layout{4096, 12, 16, 55};
}

[[noreturn]] void fail(const QString& why) {
    throw std::runtime_error(why.toStdString());
}

QString findFixture(const char* name) {
    const QString path = QStringLiteral("tests/data/") + QLatin1String(name);
    for (QDir dir(QCoreApplication::applicationDirPath());;) {
        if (dir.exists(path)) return dir.filePath(path);
        if (!dir.cdUp()) break;
    }
    if (QDir::current().exists(path)) return QDir::current().filePath(path);
    fail(QStringLiteral("cannot find %1 above the program's folder").arg(path));
}

// The table's definition page, from its catalogue entry as mdb-export lists it.
quint32 definitionPage(const QString& path, const QString& table) {
    QProcess exporter;
    exporter.start(QStringLiteral("mdb-export"), {path, QStringLiteral("MSysObjects")});
    if (!exporter.waitForFinished(60000) || exporter.exitCode() != 0)
        fail(QStringLiteral("mdb-export cannot list the catalogue of %1").arg(path));
    const QRegularExpression entry(QStringLiteral("^(-?\\d+),-?\\d+,\"%1\",1,").arg(table),
                                   QRegularExpression::MultilineOption);
    const auto match = entry.match(QString::fromLatin1(exporter.readAllStandardOutput()));
    if (!match.hasMatch()) fail(QStringLiteral("no table %1 in %2").arg(table, path));
    return match.captured(1).toUInt() & 0x00FFFFFF;
}

class Page {
  public:
    Page(QByteArray& file, const Layout& layout, quint32 number)
        : data_(reinterpret_cast<uchar*>(file.data()) + qsizetype(number) * layout.pageSize),
          layout_(layout) {
        if ((number + 1) * qsizetype(layout.pageSize) > file.size())
            fail(QStringLiteral("page %1 lies outside the file").arg(number));
    }
    int type() const { return data_[0]; }
    quint32 int32(int offset) const { return qFromLittleEndian<quint32>(data_ + offset); }
    int rowCount() const { return qFromLittleEndian<quint16>(data_ + layout_.rowCountOffset); }
    quint16 rowEntry(int row) const {
        return qFromLittleEndian<quint16>(data_ + layout_.rowCountOffset + 2 + 2 * row);
    }
    int rowStart(int row) const { return rowEntry(row) & kRowOffsetMask; }
    int rowEnd(int row) const { return row == 0 ? layout_.pageSize : rowStart(row - 1); }
    QByteArray row(int row) const {
        return QByteArray(reinterpret_cast<const char*>(data_) + rowStart(row),
                          rowEnd(row) - rowStart(row));
    }
    uchar* data() { return data_; }

  private:
    uchar* data_;
    Layout layout_;
};

// The pages an inline (type 0) or paged (type 1) usage map lists.
std::vector<quint32> mappedPages(QByteArray& file, const Layout& layout, const QByteArray& map) {
    std::vector<quint32> pages;
    const auto* bytes = reinterpret_cast<const uchar*>(map.constData());
    auto addBitmap = [&](const uchar* bitmap, int bits, quint32 first) {
        for (int bit = 0; bit < bits; ++bit)
            if (bitmap[bit / 8] >> (bit % 8) & 1) pages.push_back(first + quint32(bit));
    };
    if (bytes[0] == 0) {
        addBitmap(bytes + 5, int(map.size() - 5) * 8, qFromLittleEndian<quint32>(bytes + 1));
    } else {
        const int bitsPerPage = (layout.pageSize - 4) * 8;
        for (int i = 0; 1 + 4 * i + 4 <= map.size(); ++i) {
            const quint32 mapPage = qFromLittleEndian<quint32>(bytes + 1 + 4 * i);
            if (mapPage)
                addBitmap(Page(file, layout, mapPage).data() + 4, bitsPerPage,
                          quint32(i) * quint32(bitsPerPage));
        }
    }
    return pages;
}

// Appends a data page of `tablePage` holding `rows` (from the end of the page backwards).
void appendDataPage(QByteArray& file, const Layout& layout, quint32 tablePage,
                    const std::vector<QByteArray>& rows) {
    QByteArray page(layout.pageSize, '\0');
    auto* p = reinterpret_cast<uchar*>(page.data());
    p[0] = kDataPage;
    p[1] = 0x01;
    qToLittleEndian<quint32>(tablePage, p + 4);
    qToLittleEndian<quint16>(quint16(rows.size()), p + layout.rowCountOffset);
    int start = layout.pageSize;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        start -= int(rows[r].size());
        std::memcpy(p + start, rows[r].constData(), std::size_t(rows[r].size()));
        qToLittleEndian<quint16>(quint16(start), p + layout.rowCountOffset + 2 + 2 * int(r));
    }
    const int used = layout.rowCountOffset + 2 + 2 * int(rows.size());
    qToLittleEndian<quint16>(quint16(start - used), p + 2);
    file += page;
}

// Copies the fixture with its table grown to `wanted` rows; returns the rows it holds.
long writeGrownTable(const QString& fixture, const QString& table, const QString& path,
                     long wanted) {
    QFile in(fixture);
    if (!in.open(QIODevice::ReadOnly)) fail(QStringLiteral("cannot read %1").arg(fixture));
    QByteArray file = in.readAll();
    const Layout layout = layoutOf(file);
    const quint32 tablePage = definitionPage(fixture, table);
    Page definition(file, layout, tablePage);
    const quint32 mapRef = definition.int32(layout.usageMapOffset);
    Page mapPage(file, layout, mapRef >> 8);
    const int mapRow = int(mapRef & 0xFF);
    const QByteArray map = mapPage.row(mapRow);

    std::vector<QByteArray> rows;
    for (quint32 number : mappedPages(file, layout, map)) {
        Page page(file, layout, number);
        if (page.type() != kDataPage || page.int32(4) != tablePage) continue;
        for (int r = 0; r < page.rowCount(); ++r) {
            if (page.rowEntry(r) & kRowDeleted) continue;
            if (page.rowEntry(r) & kRowLookup) fail(QStringLiteral("the table has overflow rows"));
            rows.push_back(page.row(r));
        }
    }
    if (rows.empty()) fail(QStringLiteral("table %1 has no rows").arg(table));

    // New data pages, as full as they get, from the end of the file on.
    const quint32 firstNewPage = quint32(file.size() / layout.pageSize);
    long written = 0;
    std::vector<QByteArray> pageRows;
    int free = layout.pageSize - layout.rowCountOffset - 2;
    for (std::size_t i = 0; written < wanted; ++written, i = (i + 1) % rows.size()) {
        const int need = int(rows[i].size()) + 2;
        if (need > free || int(pageRows.size()) == kMostRowsPerPage) {
            appendDataPage(file, layout, tablePage, pageRows);
            pageRows.clear();
            free = layout.pageSize - layout.rowCountOffset - 2;
        }
        pageRows.push_back(rows[i]);
        free -= need;
    }
    appendDataPage(file, layout, tablePage, pageRows);
    const quint32 endOfData = quint32(file.size() / layout.pageSize);

    // Bitmap pages for the new pages, and a paged usage map that lists them.
    const quint32 bitsPerPage = quint32(layout.pageSize - 4) * 8;
    const quint32 bitmapPages = (endOfData + bitsPerPage - 1) / bitsPerPage;
    if (1 + 4 * qsizetype(bitmapPages) > map.size())
        fail(QStringLiteral("the usage map row is too short for %1 bitmap pages").arg(bitmapPages));
    const quint32 firstBitmap = endOfData;
    for (quint32 b = 0; b < bitmapPages; ++b) {
        QByteArray bitmap(layout.pageSize, '\0');
        bitmap[0] = char(kUsageBitmapPage);
        bitmap[1] = 0x01;
        for (quint32 page = std::max(firstNewPage, b * bitsPerPage);
             page < std::min(endOfData, (b + 1) * bitsPerPage); ++page) {
            const quint32 bit = page - b * bitsPerPage;
            bitmap[4 + int(bit / 8)] = char(bitmap[4 + int(bit / 8)] | (1 << (bit % 8)));
        }
        file += bitmap;
    }
    Page mapPageAgain(file, layout, mapRef >> 8);
    uchar* mapBytes = mapPageAgain.data() + mapPageAgain.rowStart(mapRow);
    std::memset(mapBytes, 0, std::size_t(map.size()));
    mapBytes[0] = 1;
    for (quint32 b = 0; b < bitmapPages; ++b)
        qToLittleEndian<quint32>(firstBitmap + b, mapBytes + 1 + 4 * b);
    Page definitionAgain(file, layout, tablePage);
    qToLittleEndian<quint32>(quint32(written), definitionAgain.data() + layout.tableRowsOffset);

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        fail(QStringLiteral("cannot write %1").arg(path));
    return written;
}

long load(const QString& path, const QString& table) {
    auto connection = dao::openConnection(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;").arg(path));
    return connection->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table))
        ->recordCount();
}

struct Grown {
    QString path;
    QString table;
    long rows;
};

Grown grow(const Source& source, const QString& folder, long rows) {
    const QString fixture = findFixture(source.fixture);
    const QString table = QLatin1String(source.table);
    const QString path = folder + QLatin1Char('/') + QFileInfo(fixture).completeBaseName() +
                         QLatin1Char('.') + QFileInfo(fixture).suffix();
    const long written = writeGrownTable(fixture, table, path, rows);
    if (load(path, table) != written)
        fail(QStringLiteral("the grown table %1 did not load all its rows").arg(path));
    return {path, table, written};
}

void measureAgainstMdbExport(const Grown& grown) {
    const double ours = bench::medianSeconds([&] { load(grown.path, grown.table); });
    const double reference =
        bench::medianCommandSeconds(QStringLiteral("mdb-export"), {grown.path, grown.table});
    bench::report({QStringLiteral("access load, %1 rows of %2 %3")
                       .arg(QLocale(QLocale::English).toString(qlonglong(grown.rows)),
                            QFileInfo(grown.path).fileName(), grown.table),
                   QStringLiteral("time s"), ours, QStringLiteral("mdb-export to /dev/null"),
                   reference, 1.0});
}

// The calculated table's load time per row against the plain one's, the two loaded in turn
// in every round, with the spread of the rounds.
void measurePerRow(const Grown& plain, const Grown& calculated) {
    std::vector<double> plains, calculateds, ratios;
    for (int round = 0; round < bench::rounds(); ++round) {
        plains.push_back(bench::seconds([&] { load(plain.path, plain.table); }) / plain.rows * 1e6);
        calculateds.push_back(bench::seconds([&] { load(calculated.path, calculated.table); }) /
                              calculated.rows * 1e6);
        ratios.push_back(calculateds.back() / plains.back());
    }
    const auto spread = [](const std::vector<double>& values) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        return QStringLiteral("%1 to %2").arg(*low, 0, 'f', 3).arg(*high, 0, 'f', 3);
    };
    std::printf("INFO\tper round: plain %s us, calculated %s us a row, ratio %s\n",
                qPrintable(spread(plains)), qPrintable(spread(calculateds)),
                qPrintable(spread(ratios)));
    bench::report({QStringLiteral("access load of calcFieldTestV2010.accdb Table1 (eleven "
                                  "calculated fields), per row"),
                   QStringLiteral("time us"), bench::median(calculateds),
                   QStringLiteral("testV2007.accdb Table1, per row"), bench::median(plains), 3.0});
}

int run(bool quick, bool loadsOnly) {
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    QTemporaryDir dir(bench::dataFolderPattern(QStringLiteral("access")));
    std::vector<Grown> grown;
    for (const Source& source : kSources)
        grown.push_back(grow(source, dir.path(), quick ? 20000 : 200000));
    if (!loadsOnly) {
        for (const Grown& table : grown) measureAgainstMdbExport(table);
    }
    measurePerRow(grown[2], grown[3]);  // in the order of kSources
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    return bench::guarded([&] {
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--write")) {
            for (const Source& source : kSources) {
                const QFileInfo fixture(findFixture(source.fixture));
                writeGrownTable(fixture.filePath(), QLatin1String(source.table),
                                arguments[2] + QLatin1Char('/') + fixture.fileName(), 200000);
            }
            return 0;
        }
        if (arguments.size() == 4 && arguments[1] == QStringLiteral("--load"))
            return load(arguments[2], arguments[3]) >= 0 ? 0 : 1;
        return run(arguments.contains(QStringLiteral("--quick")),
                   arguments.contains(QStringLiteral("--loads-only")));
    });
}
