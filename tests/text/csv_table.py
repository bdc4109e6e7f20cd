#!/usr/bin/python3
# The text oracle: Python's csv module reads the file named on the command line, shaped by the
# provider's rules (names: blank is F and the position, repeated gets "_2", ...; blank lines and
# empty fields beyond the header's dropped; empty fields Null; dates with a time of day in full),
# and prints it as tests/support/Oracle.h compares it.
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
