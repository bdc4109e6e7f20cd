#pragma once

#include <gtest/gtest.h>

#include "platform/dao/Connection.h"
#include "support/Files.h"
#include "support/Oracle.h"
#include "support/Paths.h"

namespace keldara::test::text {

// The connection string the source side builds for the text files of a folder.
inline QString textConnectionString(const QString& dataSource,
                                    const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"%2\"")
        .arg(dataSource, properties);
}

// Opens the folder through the provider factory and reads one of its files.
inline std::unique_ptr<dao::Recordset> readTextFile(
    const QString& folder, const QString& file,
    const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return dao::openConnection(textConnectionString(folder + QLatin1Char('\\'), properties))
        ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(file));
}

// Compares a recordset with the records of the file as Python's csv module reads them (UTF-16
// after its byte order mark, UTF-8 when valid, else Windows-1252; "," for .csv, else a tab when the
// first line holds one), shaped by the provider's rules: blank names are F and the position, a
// repeated name gets
// "_2", "_3", ... appended; blank lines are dropped where there are several fields, and so
// are empty fields beyond the header's; empty fields are Null; dates with a time of day are
// written in full.
inline void expectSameAsPython(const dao::Recordset& recordset, const QString& path) {
    SCOPED_TRACE(path.toStdString());
    expectSameAsOracle(recordset, oracleOutput({"-c", R"PY(
import codecs, csv, datetime, io, json, re, sys
codecs.register_error('c1', lambda e: (''.join(chr(b) for b in e.object[e.start:e.end]), e.end))
path = sys.argv[1]
raw = open(path, 'rb').read()
try:
    text = raw.decode('utf-16' if raw.startswith(b'\xff\xfe') else 'utf-8').removeprefix('\ufeff')
except UnicodeDecodeError:
    text = raw.removeprefix(b'\xef\xbb\xbf').decode('cp1252', errors='c1')
first = next((l for l in re.split(r'\r\n|\r|\n', text) if l), '')
delimiter = ',' if path.lower().endswith('.csv') else ('\t' if '\t' in first else ',')
rows = list(csv.reader(io.StringIO(text, newline=''), delimiter=delimiter))
while rows and not rows[-1]: rows.pop()
while rows and not rows[0]: rows.pop(0)
header = rows.pop(0) if rows else []
names, taken = [], set()
for i, name in enumerate(header):
    name = name if name.strip() else 'F%d' % (i + 1)
    base, n = name, 2
    while name.lower() in taken: name, n = '%s_%d' % (base, n), n + 1
    names.append(name)
    taken.add(name.lower())
def cell(text):
    if re.fullmatch(r'\d{4}-\d\d-\d\d[T ]\d\d:\d\d(:\d\d(\.\d{1,6})?)?', text):
        try:
            moment = datetime.datetime.fromisoformat(text)
            return moment.isoformat(' ').rstrip('0') if moment.microsecond else moment.isoformat(' ')
        except ValueError: pass
    return text or None
rows = [row if any(row[len(header):]) else row[:len(header)] for row in rows if row or len(header) == 1]
json.dump({'fields': [{'name': n} for n in names], 'records': [[cell(t) for t in row] for row in rows]}, sys.stdout)
)PY",
                                                path})
                                      .object());
}

}  // namespace keldara::test::text
