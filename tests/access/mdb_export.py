#!/usr/bin/python3
# The Access oracle: Debian's mdbtools. Usage: mdb_export.py [--system] [--charset=CS] FILE
# [TABLE...]. Prints {"tables": what mdb-tables lists (system tables too with --system), and for
# each TABLE (a name or a pattern, the first listed table it matches; without any, every listed
# table by its name) {"fields": [{"name"}], "records": [[cell, ...], ...]}} as
# tests/support/Oracle.h compares it: Null as null, dates as "YYYY-MM-DD HH:MM:SS", binary data
# as hexadecimal digits. The text is read as UTF-8 whatever the machine's locale; CS is passed
# as MDB_JET3_CHARSET. With --mark-unread, the cells of the columns below print as true.
import fnmatch, json, os, re, subprocess, sys

# The columns of Access 2007+ samples that mdb-export cannot read: it prints characters beyond
# the Basic Multilingual Plane as "??", extended dates as empty, the bytes of calculated results
# as if they were plain values, and complex fields as their keys. AceProviderTest checks them
# against values established otherwise.
UNREAD = {
    'testEmoticonsV2010/data': ['data'],
    'extDateTestV2019/Table1': ['DateExt', 'DateNormalCalc'],
    'calcFieldTestV2010/Table1': ['LastFirst', 'LastFirstLen', 'MonthlySalary', 'IsRich', 'AllNames',
                                  'WeeklySalary', 'SalaryTest', 'BoolTest', 'DecimalTest',
                                  'FloatTest', 'BigNumTest'],
    'complexDataTestV20*/*': ['VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880',
                              'multi-value-data', 'attach-data'],
    'unsupportedFieldsTestV2007/Test': ['UnknownComplex'],
}
NULL = '\x01NULL\x01'  # no sample holds this text
ESCAPES = {'t': '\t', 'n': '\n', 'r': '\r'}
args = [a for a in sys.argv[1:] if not a.startswith('--')]
options = [a for a in sys.argv[1:] if a.startswith('--')]
env = {k: v for k, v in os.environ.items() if k not in ('MDB_ICONV', 'MDB_JET3_CHARSET')}
env['LC_ALL'] = 'C.UTF-8'
for option in options:
    if option.startswith('--charset='): env['MDB_JET3_CHARSET'] = option.split('=', 1)[1]

def run(*command):
    out = subprocess.run(command, env=env, check=True, stdout=subprocess.PIPE).stdout
    return out.decode('utf-8', errors='replace')

def export(file, table):
    fmt = '%Y-%m-%d %H:%M:%S'
    lines = run('mdb-export', '-Q', '-e', '-d', '\t', '-R', '\n', '-b', 'hex', '-D', fmt, '-T', fmt,
                '-0', NULL, file, table).split('\n')[:-1]  # after the last record's end
    rows = [[re.sub(r'\\(.)', lambda m: ESCAPES.get(m[1], m[1]), cell, flags=re.S)
             for cell in line.split('\t')] for line in lines]
    where = os.path.splitext(os.path.basename(file))[0] + '/' + table
    unread = [c for pattern, columns in UNREAD.items() if fnmatch.fnmatchcase(where, pattern)
              for c in columns] if '--mark-unread' in options else []
    return {'fields': [{'name': name} for name in rows[0]],
            'records': [[True if name in unread else None if cell == NULL else cell
                         for name, cell in zip(rows[0], row)] for row in rows[1:]]}

file, wanted = args[0], args[1:]
listed = run('mdb-tables', *(['-S'] if '--system' in options else []), '-1', file).split('\n')
listed = [t for t in listed if t]
result = {'tables': listed}
for name in wanted or listed:
    result[name] = export(file, next(t for t in listed if fnmatch.fnmatchcase(t, name)))
json.dump(result, sys.stdout)
