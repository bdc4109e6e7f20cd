"""Prints a workbook (argument) as openpyxl reads it (read_only, data_only), shaped into tables by
the same rules as tests/excel/xlrd_cells.py: {"tables": [{"name", "fields", "records"}]}."""
import datetime, json, os, sys
import openpyxl
from openpyxl.utils.escape import unescape

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "excel"))
from xlrd_cells import jet_name, table  # noqa: E402

import xlrd.xldate  # noqa: E402


def moment_text(moment):
    time = moment.time().isoformat("milliseconds").rstrip("0").rstrip(".")
    return moment.date().isoformat() + ("" if time == "00:00:00" else " " + time)


def cell_of(cell, epoch_1904):
    """The cell's kind and value; None for a blank cell."""
    value = cell.value
    if cell.data_type == "e":
        return "error", None
    # An empty shared or inline string, or a formula's empty result (None of type "str").
    if value == "" or (value is None and cell.data_type == "str"):
        return "empty", None
    if value is None:
        return None
    if isinstance(value, bool):
        return "bool", value
    if isinstance(value, (int, float)):
        return "number", value
    if isinstance(value, str):
        # openpyxl leaves the _xHHHH_ escapes (but drops "x005F_" from shared strings, so an
        # escaped "_x" cannot be told apart: the workbooks compared hold none); its own
        # unescape() reads them.
        return "text", unescape(value)
    if isinstance(value, datetime.datetime):
        return "date", moment_text(value)
    if isinstance(value, datetime.date):  # a date cell (t="d") without a time of day
        return "date", value.isoformat()
    if isinstance(value, datetime.time):
        return "date", value.isoformat("milliseconds").rstrip("0").rstrip(".")
    if isinstance(value, datetime.timedelta):  # an elapsed-time format: a serial number
        serial = value.total_seconds() / 86400
        if serial < 1:
            return "date", (datetime.datetime.min + value).time().isoformat(
                "milliseconds").rstrip("0").rstrip(".")
        return "date", moment_text(xlrd.xldate.xldate_as_datetime(serial, int(epoch_1904)))
    raise TypeError(type(value))


def main():
    book = openpyxl.load_workbook(sys.argv[1], read_only=True, data_only=True)
    epoch_1904 = book.epoch == datetime.datetime(1904, 1, 1)
    tables = []
    for sheet in book.worksheets:
        sheet.reset_dimensions()  # read every row, whatever the dimension element says
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                entry = cell_of(cell, epoch_1904) if hasattr(cell, "row") else None
                if entry:
                    cells[(cell.row - 1, cell.column - 1)] = entry
        fields, records = table(cells)
        tables.append({"name": jet_name(sheet.title), "fields": fields, "records": records})
    json.dump({"tables": tables}, sys.stdout)


if __name__ == "__main__":
    main()
