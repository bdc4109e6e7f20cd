#!/usr/bin/python3
# The dBase oracle: python3-dbfread reads each table named on the command line and prints it as
# tests/support/Oracle.h compares it, with the provider's type codes. A table without a language
# driver id is Windows-1252, the provider's rule; otherwise dbfread picks the code page.
import sys, json, datetime, codecs, dbfread, dbfread.memo

# Bytes that Windows-1252 leaves undefined decode to the character of the same number, as
# Windows decodes them (Python's codec refuses them).
codecs.register_error('same_number', lambda e: (e.object[e.start:e.end].decode('latin-1'), e.end))
# dBase IV memo blocks store their length counting the 8-byte block header.
open_memo = dbfread.memo.DB4MemoFile._open
def open_db4_memo(self):
    open_memo(self)
    self._read = lambda size, read=self._read: read(size - 8)
dbfread.memo.DB4MemoFile._open = open_db4_memo
TYPES = {'C': 129, 'N': 131, 'F': 5, 'D': 133, 'T': 135, 'L': 11, 'M': 201, 'I': 3, 'Y': 6}

def cell(v):
    if v is None: return None
    if isinstance(v, bool): return str(int(v))
    if isinstance(v, bytes): return v.hex().upper()
    if isinstance(v, float): return repr(v)
    if isinstance(v, datetime.datetime) and v.microsecond: return v.isoformat(' ').rstrip('0')
    return str(v)

def field(f):
    out = {'name': f.name, 'type': TYPES.get(f.type, -1)}
    if f.type in 'CN': out['size'] = f.length
    if f.type == 'N': out.update(precision=f.length, scale=f.decimal_count)
    return out

out = {}
for path in sys.argv[1:]:
    with open(path, 'rb') as f:
        ldid = f.read(32)[29]
    try:
        table = dbfread.DBF(path, encoding='cp1252' if ldid == 0 else None, recfactory=None,
                            char_decode_errors='same_number')
        keep = [i for i, f in enumerate(table.fields) if f.type != '0']
        out[path] = {'fields': [field(table.fields[i]) for i in keep],
                     'records': [[cell(items[i][1]) for i in keep] for items in table]}
    except Exception as e:
        out[path] = {'error': type(e).__name__ + ': ' + str(e)}
print(json.dumps(out))
