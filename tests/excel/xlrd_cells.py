"""Prints every non-blank cell of a workbook as xlrd reads it, as one JSON document.

Usage: python3 xlrd_cells.py <file.xls> [sheet name ...]   (all sheets when none is named)
Output: {"datemode": 0|1, "sheets": [{"name": ..., "cells": [[row, col, kind, value], ...]}]}
kind is "text", "number", "date" (value: ISO text with milliseconds, or the serial number
when xlrd cannot turn it into a date), "bool" or "error" (value: the error code).
"""
import json
import sys

import xlrd


def date_text(serial, datemode):
    try:
        value = xlrd.xldate.xldate_as_datetime(serial, datemode)
    except Exception:
        return None
    return value.isoformat(sep=" ", timespec="milliseconds")


def cell_entry(cell, datemode):
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return "text", cell.value
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return "number", repr(float(cell.value))
    if cell.ctype == xlrd.XL_CELL_DATE:
        text = date_text(cell.value, datemode)
        return ("date", text) if text is not None else ("number", repr(float(cell.value)))
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return "bool", bool(cell.value)
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return "error", int(cell.value)
    return None


def main():
    book = xlrd.open_workbook(sys.argv[1], on_demand=False, ragged_rows=True,
                              logfile=sys.stderr)
    sheets = []
    wanted = sys.argv[2:]
    for sheet in book.sheets():
        if wanted and sheet.name not in wanted:
            continue
        cells = []
        for row in range(sheet.nrows):
            for col in range(sheet.row_len(row)):
                entry = cell_entry(sheet.cell(row, col), book.datemode)
                if entry is not None:
                    cells.append([row, col, entry[0], entry[1]])
        sheets.append({"name": sheet.name, "cells": cells})
    json.dump({"datemode": book.datemode, "biff": book.biff_version, "sheets": sheets},
              sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
