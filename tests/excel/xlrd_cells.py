"""Prints a workbook (argument) as xlrd reads it, shaped by the provider's rules written out on
their own, as tests/support/Oracle.h compares it: {"tables": [{"name", "fields", "records"}]}.
"""
import decimal, json, os, re, sys
import xlrd

DOUBLE, DATE, BOOLEAN, TEXT, LONG_TEXT = 5, 7, 11, 202, 203


def number_text(x):
    if x != 0 and not 1e-7 <= abs(x) < 1e16:
        return repr(x)
    text = format(decimal.Decimal(repr(x)), "f")
    return text.rstrip("0").rstrip(".") if "." in text else text


def cell_of(cell, datemode):
    """The cell's kind and value; None for a blank cell."""
    kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_DATE: "date",
            xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_ERROR: "error"}.get(cell.ctype)
    if kind == "text":
        return (kind, cell.value) if cell.value else ("empty", None)
    if kind in ("number", "bool"):
        return kind, bool(cell.value) if kind == "bool" else cell.value
    if kind != "date":
        return (kind, None) if kind else None
    try:
        moment = xlrd.xldate.xldate_as_datetime(cell.value, datemode)
    except Exception:
        return "number", cell.value
    time = moment.time().isoformat("milliseconds").rstrip("0").rstrip(".")
    if cell.value < 1:
        return "date", time
    return "date", moment.date().isoformat() + ("" if time == "00:00:00" else " " + time)


def text_of(kind, value):
    if kind == "bool":
        return "TRUE" if value else "FALSE"
    return number_text(value) if kind == "number" else value


def table(cells):
    """The used range (cells with a value, an empty text or an error); its first row names the
    fields (blank: F and the position; repeated: the lowest free number appended). A column of
    one kind of value has that type, else all are texts. Errors and empty texts are Null."""
    if not cells:
        return [{"name": "F1", "type": TEXT, "size": 255}], []
    top, left = min(r for r, _ in cells), min(c for _, c in cells)
    width = max(c for _, c in cells) - left + 1
    names, taken = [], set()
    for i in range(width):
        base = text_of(*cells.get((top, left + i), ("error", None))) or "F%d" % (i + 1)
        name, n = base, 1
        while name.lower() in taken:
            name, n = base + str(n), n + 1
        taken.add(name.lower())
        names.append(name)
    body = {(r - top - 1, c - left): kv for (r, c), kv in cells.items() if r > top}
    kinds, longest = [set() for _ in names], [0] * width
    for (_, c), (kind, value) in body.items():
        kinds[c] |= {kind} - {"error", "empty"}
        longest[c] = max(longest[c], len(value) if kind == "text" else 0)
    fields = []
    for i, name in enumerate(names):
        only = next(iter(kinds[i])) if len(kinds[i]) == 1 else None
        kind = {"number": DOUBLE, "date": DATE, "bool": BOOLEAN}.get(only)
        fields.append({"name": name, "type": kind or (LONG_TEXT if longest[i] > 255 else TEXT)})
        if fields[-1]["type"] == TEXT:
            fields[-1]["size"] = 255
    records = [[None] * width for _ in range(max(r for r, _ in cells) - top)]
    for (r, c), (kind, value) in body.items():
        if value is not None:
            plain = kind == "bool" and len(kinds[c]) == 1
            records[r][c] = str(int(value)) if plain else text_of(kind, value)
    return fields, records


def jet_name(sheet):
    if re.fullmatch(r"[^\W\d]\w*", sheet):
        return sheet + "$"
    return "'" + sheet.replace("'", "''") + "$'"


def main():
    path = sys.argv[1]
    book = xlrd.open_workbook(path, ragged_rows=True, logfile=sys.stderr)
    tables = []
    for sheet in book.sheets():
        cells = {(r, c): cell_of(sheet.cell(r, c), book.datemode)
                 for r in range(sheet.nrows) for c in range(sheet.row_len(r))}
        fields, records = table({at: entry for at, entry in cells.items() if entry})
        # A BIFF4 worksheet file has no sheet name; it is named after the file.
        name = os.path.splitext(os.path.basename(path))[0] + "$"
        tables.append({"name": name if book.biff_version < 50 else jet_name(sheet.name),
                       "fields": fields, "records": records})
    json.dump({"tables": tables}, sys.stdout)


if __name__ == "__main__":
    main()
