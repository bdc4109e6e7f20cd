// Loads a generated Excel 97-2003 workbook of 100,000 rows and ten columns (integers,
// decimals, texts with accents, dates, date-times, Booleans, some blank cells) through the
// Excel provider into recordsets, against python3-xlrd opening the same file and reading
// every cell. A .xls worksheet holds at most 65,536 rows, so the rows are spread over two
// sheets of 50,000 and both are loaded. The workbook is written by python3-xlwt.
// Usage: keldara_excel_bench [--quick]
//        keldara_excel_bench --load FILE      load only (for profiling)
#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace {

using namespace keldara;

const QString kPython = QStringLiteral("/usr/bin/python3");

// Writes argv[1] with int(argv[2]) rows over argv[3] sheets.
const char* const kXlwtWriter = R"(
import sys, datetime, xlwt
path, rows, sheets = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
book = xlwt.Workbook(encoding='utf-8')
date = xlwt.easyxf(num_format_str='yyyy-mm-dd')
stamp = xlwt.easyxf(num_format_str='yyyy-mm-dd hh:mm:ss')
money = xlwt.easyxf(num_format_str='#,##0.00')
cities = ['Lisboa', 'München', 'Zürich', 'Kraków', 'Malmö', 'Ørsted', 'Αθήνα']
heads = ['Id', 'Name', 'City', 'Amount', 'Born', 'Active', 'Quantity', 'Code', 'Rate', 'Updated']
start = datetime.datetime(2000, 1, 1)
per_sheet = rows // sheets
for s in range(sheets):
    sheet = book.add_sheet('Part%d' % (s + 1))
    for c, head in enumerate(heads):
        sheet.write(0, c, head)
    for r in range(per_sheet):
        i = s * per_sheet + r
        row = sheet.row(r + 1)
        row.write(0, i + 1)
        row.write(1, 'Customer %d' % (i * 7919 % 1000003))
        row.write(2, cities[i % len(cities)])
        if i % 50:
            row.write(3, (i % 1000000) / 100 - 5000, money)
        row.write(4, start + datetime.timedelta(days=i % 9000), date)
        row.write(5, i % 3 == 0)
        row.write(6, i % 100000)
        row.write(7, 'C%X' % (i % 9973))
        row.write(8, (i % 9000) / 1000)
        row.write(9, start + datetime.timedelta(seconds=i * 37), stamp)
        if r % 1000 == 0:
            sheet.flush_row_data()
book.save(path)
)";

const char* const kXlrdEveryCell = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
n = 0
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for value in sheet.row_values(r):
            n += 1
)";

long load(const QString& path, int sheets) {
    auto connection = dao::openConnection(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data "
                                                         "Source=%1;Extended Properties=Excel 8.0;")
                                              .arg(path));
    long records = 0;
    for (int sheet = 1; sheet <= sheets; ++sheet) {
        records += connection->openRecordset(QStringLiteral("SELECT * FROM [Part%1$]").arg(sheet))
                       ->recordCount();
    }
    return records;
}

int run(bool quick) {
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    const int rows = quick ? 20000 : 100000;
    const int sheets = 2;
    QTemporaryDir dir(bench::dataFolderPattern(QStringLiteral("excel")));
    const QString path = dir.filePath(QStringLiteral("rows.xls"));
    bench::commandSeconds(kPython, {QStringLiteral("-c"), QString::fromLatin1(kXlwtWriter), path,
                                    QString::number(rows), QString::number(sheets)});

    long loaded = 0;
    const double ours = bench::medianSeconds([&] { loaded = load(path, sheets); });
    std::fprintf(stderr, "excel: %ld records loaded\n", loaded);
    if (loaded != rows) throw std::runtime_error("the workbook did not load all its rows");
    const double reference = bench::medianCommandSeconds(
        kPython, {QStringLiteral("-c"), QString::fromLatin1(kXlrdEveryCell), path});
    bench::report(
        {QStringLiteral("excel load, %1 rows").arg(QLocale(QLocale::English).toString(rows)),
         QStringLiteral("time s"), ours, QStringLiteral("python3-xlrd, every cell"), reference,
         0.10});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    return bench::guarded([&] {
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--load")) {
            return load(arguments[2], 2) > 0 ? 0 : 1;
        }
        return run(arguments.contains(QStringLiteral("--quick")));
    });
}
