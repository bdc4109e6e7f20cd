// Loads a generated workbook of 1,000,000 rows and ten columns (integers, texts with accents,
// decimals, dates, date-times, Booleans, some blank cells) as .xlsx and as .ods through the
// Excel provider, against python3-openpyxl (read_only) reading every cell of the .xlsx, our
// peak memory against the same data written as CSV, the .ods load against the .xlsx load of
// the same data (the two timed in alternating rounds), and the .ods load against LibreOffice
// headless converting the .ods to CSV (measured only when soffice is installed: it is too
// large a package to install for a benchmark). The files are written by python3-xlsxwriter
// and by a small streaming writer of OpenDocument XML.
// Usage: keldara_sheets_bench [--quick] [--loads-only]
//        keldara_sheets_bench --load FILE      loads FILE once (run as a child for peak memory)
// --loads-only measures only the .ods load against the .xlsx load (no openpyxl, LibreOffice
// or memory figures).
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Bench.h"
#include "Data.h"
#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "source/SourceFiles.h"

namespace {

using namespace keldara;

const QString kPython = QStringLiteral("/usr/bin/python3");

// Writes the same rows to argv[1] (CSV), argv[2] (.xlsx) and argv[3] (.ods); argv[4] rows.
const char* const kWriter = R"(
import csv, datetime, sys, zipfile
import xlsxwriter
csv_path, xlsx_path, ods_path, rows = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
heads = ['Id', 'Name', 'City', 'Amount', 'Born', 'Active', 'Quantity', 'Code', 'Rate', 'Updated']
cities = ['Lisboa', 'München', 'Zürich', 'Kraków', 'Malmö', 'Ørsted', 'Αθήνα']
start = datetime.datetime(2000, 1, 1)
def row(i):
    return [i + 1, 'Customer %d' % (i * 7919 % 1000003), cities[i % len(cities)],
            (i % 1000000) / 100 - 5000 if i % 50 else None,
            (start + datetime.timedelta(days=i % 9000)).date(), i % 3 == 0, i % 100000,
            'C%X' % (i % 9973), (i % 9000) / 1000, start + datetime.timedelta(seconds=i * 37)]
with open(csv_path, 'w', newline='', encoding='utf-8') as f:
    w = csv.writer(f)
    w.writerow(heads)
    for i in range(rows):
        w.writerow(['' if v is None else v for v in row(i)])
book = xlsxwriter.Workbook(xlsx_path, {'constant_memory': True})
sheet = book.add_worksheet('Data')
date = book.add_format({'num_format': 'yyyy-mm-dd'})
stamp = book.add_format({'num_format': 'yyyy-mm-dd hh:mm:ss'})
sheet.write_row(0, 0, heads)
for i in range(rows):
    for c, v in enumerate(row(i)):
        if v is None:
            continue
        if isinstance(v, datetime.datetime):
            sheet.write_datetime(i + 1, c, v, stamp)
        elif isinstance(v, datetime.date):
            sheet.write_datetime(i + 1, c, v, date)
        else:
            sheet.write(i + 1, c, v)
book.close()
def cell(v):
    if v is None:
        return '<table:table-cell/>'
    if isinstance(v, bool):
        b = 'true' if v else 'false'
        return f'<table:table-cell office:value-type="boolean" office:boolean-value="{b}"><text:p>{b.upper()}</text:p></table:table-cell>'
    if isinstance(v, (int, float)):
        return f'<table:table-cell office:value-type="float" office:value="{v!r}"><text:p>{v}</text:p></table:table-cell>'
    if isinstance(v, datetime.date):
        t = v.isoformat()
        return f'<table:table-cell office:value-type="date" office:date-value="{t}"><text:p>{t}</text:p></table:table-cell>'
    return f'<table:table-cell office:value-type="string"><text:p>{v}</text:p></table:table-cell>'
with zipfile.ZipFile(ods_path, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet')
    z.writestr('META-INF/manifest.xml', '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2"><manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/><manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>')
    with z.open('content.xml', 'w', force_zip64=True) as part:
        part.write(b'<?xml version="1.0" encoding="UTF-8"?><office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"><office:body><office:spreadsheet><table:table table:name="Data">')
        part.write(('<table:table-row>' + ''.join(cell(h) for h in heads) + '</table:table-row>').encode())
        for i in range(rows):
            part.write(('<table:table-row>' + ''.join(cell(v) for v in row(i)) + '</table:table-row>').encode())
        part.write(b'</table:table></office:spreadsheet></office:body></office:document-content>')
)";

const char* const kOpenpyxlEveryCell = R"(
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True, data_only=True)
n = 0
for sheet in book.worksheets:
    for row in sheet.iter_rows(values_only=True):
        n += len(row)
)";

long load(const QString& path) {
    auto connection = dao::openConnection(source::SourceConnectionString(path, {}));
    return connection->openRecordset(QStringLiteral("SELECT * FROM [Data$]"))->recordCount();
}

double megabytes(const QString& path) {
    return QFileInfo(path).size() / (1024.0 * 1024.0);
}

// The median seconds of loading each file, the two loaded in turn in every round, so that
// both meet the machine in the same state.
std::pair<double, double> alternatingLoadSeconds(const QString& first, const QString& second) {
    std::vector<double> firsts, seconds, ratios;
    for (int round = 0; round < bench::rounds(); ++round) {
        firsts.push_back(bench::seconds([&] { load(first); }));
        seconds.push_back(bench::seconds([&] { load(second); }));
        ratios.push_back(seconds.back() / firsts.back());
    }
    const auto spread = [](const std::vector<double>& values) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        return QStringLiteral("%1 to %2").arg(*low, 0, 'f', 3).arg(*high, 0, 'f', 3);
    };
    std::printf("INFO\tper round: %s %s s, %s %s s, ratio %s\n",
                qPrintable(QFileInfo(first).suffix()), qPrintable(spread(firsts)),
                qPrintable(QFileInfo(second).suffix()), qPrintable(spread(seconds)),
                qPrintable(spread(ratios)));
    return {bench::median(firsts), bench::median(seconds)};
}

int run(bool quick, bool loadsOnly) {
    if (quick) qputenv("KELDARA_BENCH_ROUNDS", "1");
    const int rows = quick ? 100000 : 1000000;
    QTemporaryDir dir(bench::dataFolderPattern(QStringLiteral("sheets")));
    if (!dir.isValid()) throw std::runtime_error("cannot make a data folder");
    const QString csv = dir.filePath(QStringLiteral("rows.csv"));
    const QString xlsx = dir.filePath(QStringLiteral("rows.xlsx"));
    const QString ods = dir.filePath(QStringLiteral("rows.ods"));
    bench::commandSeconds(kPython, {QStringLiteral("-c"), QString::fromLatin1(kWriter), csv, xlsx,
                                    ods, QString::number(rows)});
    const QString count = QLocale(QLocale::English).toString(rows);

    for (const QString& file : {xlsx, ods}) {
        if (load(file) != rows) throw std::runtime_error("a workbook did not load all its rows");
    }
    const auto [ours, oursOds] = alternatingLoadSeconds(xlsx, ods);
    const QString odsName = QStringLiteral("ods load, %1 rows x 10 columns").arg(count);
    bench::report({odsName, QStringLiteral("time s"), oursOds,
                   QStringLiteral("xlsx load of the same data"), ours, 1.5});
    if (loadsOnly) return 0;
    const double openpyxl = bench::medianCommandSeconds(
        kPython, {QStringLiteral("-c"), QString::fromLatin1(kOpenpyxlEveryCell), xlsx});
    const QString xlsxName = QStringLiteral("xlsx load, %1 rows x 10 columns").arg(count);
    bench::report({xlsxName, QStringLiteral("time s"), ours,
                   QStringLiteral("python3-openpyxl read_only, every cell"), openpyxl, 0.10});
    const double peak =
        bench::peakMegabytes(QCoreApplication::applicationFilePath(), {"--load", xlsx});
    bench::report({xlsxName, QStringLiteral("peak MB"), peak,
                   QStringLiteral("the same data as CSV, MB"), megabytes(csv), 2.0});

    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::printf(
            "INFO\t%s\t%.3f s; LibreOffice (soffice) is not installed: the comparison "
            "with its conversion to CSV was not measured\n",
            qPrintable(odsName), oursOds);
    } else {
        const double libreOffice = bench::medianCommandSeconds(
            soffice, {"--headless", "--convert-to", "csv", "--outdir", dir.filePath("out"), ods});
        bench::report({odsName, QStringLiteral("time s"), oursOds,
                       QStringLiteral("LibreOffice headless, .ods to CSV"), libreOffice, 1.0});
    }
    const double odsPeak =
        bench::peakMegabytes(QCoreApplication::applicationFilePath(), {"--load", ods});
    bench::report({odsName, QStringLiteral("peak MB"), odsPeak,
                   QStringLiteral("the same data as CSV, MB"), megabytes(csv), 2.0});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    return bench::guarded([&] {
        if (arguments.size() == 3 && arguments[1] == QStringLiteral("--load"))
            return load(arguments[2]) >= 0 ? 0 : 1;
        return run(arguments.contains(QStringLiteral("--quick")),
                   arguments.contains(QStringLiteral("--loads-only")));
    });
}
