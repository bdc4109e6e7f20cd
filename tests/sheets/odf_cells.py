"""Prints an OpenDocument spreadsheet (argument) as python3-odf reads it, shaped into tables by
the same rules as tests/excel/xlrd_cells.py: {"tables": [{"name", "fields", "records"}]}.
Covered (merged-away) cells are blank; repeated rows and cells count only when they hold
something."""
import datetime, json, os, re, sys
from odf.namespaces import OFFICENS, TABLENS, TEXTNS
from odf.opendocument import load

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "excel"))
from xlrd_cells import jet_name, table  # noqa: E402

import xlrd.xldate  # noqa: E402

CALCEXTNS = "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"


def attr(element, space, name):
    return element.attributes.get((space, name))


def text_of(node):
    parts = []
    for child in node.childNodes:
        if child.nodeType == child.TEXT_NODE:
            parts.append(child.data)
        elif child.qname[0] == TEXTNS:
            name = child.qname[1]
            if name == "s":
                parts.append(" " * int(attr(child, TEXTNS, "c") or 1))
            elif name == "tab":
                parts.append("\t")
            elif name == "line-break":
                parts.append("\n")
            elif name != "note":
                parts.append(text_of(child))
    return "".join(parts)


def time_text(moment):
    return moment.time().isoformat("milliseconds").rstrip("0").rstrip(".")


def shown_text(cell):
    paragraphs = [c for c in cell.childNodes if c.qname in ((TEXTNS, "p"), (TEXTNS, "h"))]
    return "\n".join(text_of(p) for p in paragraphs)


def cell_of(cell):
    kind = attr(cell, OFFICENS, "value-type")
    if attr(cell, CALCEXTNS, "value-type") == "error":
        return "error", None
    if kind in ("float", "percentage", "currency"):
        return "number", float(attr(cell, OFFICENS, "value"))
    if kind == "boolean":
        return "bool", attr(cell, OFFICENS, "boolean-value") == "true"
    written = attr(cell, OFFICENS, "date-value" if kind == "date" else "time-value")
    duration = re.fullmatch(r"P(?:(\d+)D)?T(?:(\d+)H)?(?:(\d+)M)?(?:([\d.]+)S)?", written or "")
    try:
        moment = datetime.datetime.fromisoformat(written) if kind == "date" else None
    except ValueError:  # a year before 1 or after 9999: the text the cell shows
        moment = None
    if kind in ("date", "time") and not (moment or duration):
        return "text", shown_text(cell) or written
    if kind == "date":
        time = time_text(moment)
        return "date", moment.date().isoformat() + ("" if time == "00:00:00" else " " + time)
    if kind == "time":
        d, h, m, s = duration.groups()
        serial = (int(d or 0) * 86400 + int(h or 0) * 3600 + int(m or 0) * 60
                  + float(s or 0)) / 86400
        moment = xlrd.xldate.xldate_as_datetime(serial, 0)
        if serial < 1:
            return "date", time_text(moment)
        return "date", moment.date().isoformat() + " " + time_text(moment)
    text = attr(cell, OFFICENS, "string-value")
    if text is None:
        text = shown_text(cell)
    if not text:  # a string cell counts even when its text is empty
        return ("empty", None) if kind == "string" else None
    return "text", text


def rows_of(node):
    for child in node.childNodes:
        if child.nodeType != child.ELEMENT_NODE or child.qname[0] != TABLENS:
            continue
        if child.qname[1] == "table-row":
            yield child
        elif child.qname[1] in ("table-row-group", "table-header-rows", "table-rows"):
            yield from rows_of(child)


def cells_of(sheet):
    cells, row = {}, 0
    for element in rows_of(sheet):
        repeat = int(attr(element, TABLENS, "number-rows-repeated") or 1)
        found, column = {}, 0
        for cell in element.childNodes:
            if cell.qname not in ((TABLENS, "table-cell"), (TABLENS, "covered-table-cell")):
                continue
            across = int(attr(cell, TABLENS, "number-columns-repeated") or 1)
            entry = cell_of(cell) if cell.qname[1] == "table-cell" else None
            if entry:
                found.update({column + i: entry for i in range(across)})
            column += across
        for r in range(repeat if found else 0):
            cells.update({(row + r, c): entry for c, entry in found.items()})
        row += repeat
    return cells


def main():
    document = load(sys.argv[1])
    tables = []
    for sheet in document.spreadsheet.childNodes:
        if sheet.qname != (TABLENS, "table"):
            continue
        fields, records = table(cells_of(sheet))
        tables.append({"name": jet_name(attr(sheet, TABLENS, "name")), "fields": fields,
                       "records": records})
    json.dump({"tables": tables}, sys.stdout)


if __name__ == "__main__":
    main()
