"""Writes the generated test workbooks (BIFF8, through xlwt) into a folder.

Usage: python3 make_workbooks.py <folder>
"""
import datetime
import os
import sys

import xlwt


def write_row(sheet, row, values):
    for col, value in enumerate(values):
        sheet.write(row, col, value)


def dates_book(path, dates_1904):
    book = xlwt.Workbook()
    book.dates_1904 = dates_1904
    sheet = book.add_sheet("Dates")
    date_style, datetime_style, time_style, quoted_style, text_letters_style = (
        xlwt.easyxf(num_format_str=f) for f in ("yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss.000",
                                                "hh:mm:ss", '"Day "dd" of "mmmm yyyy',
                                                '0.00" days"'))
    write_row(sheet, 0, ["date", "datetime", "time", "quoted", "not_a_date"])
    rows = [
        (datetime.date(1900, 1, 1), datetime.datetime(1900, 2, 27, 23, 0, 0)),
        (datetime.date(1900, 3, 1), datetime.datetime(1999, 12, 31, 12, 0, 0, 250000)),
        (datetime.date(2000, 1, 1), datetime.datetime(2024, 2, 29, 6, 30, 0)),
        (datetime.date(9999, 12, 31), datetime.datetime(1904, 1, 2, 0, 0, 1)),
    ]
    times = [datetime.time(0, 0, 0), datetime.time(6, 34, 0), datetime.time(12, 56, 0),
             datetime.time(23, 59, 59)]
    for i, (day, moment) in enumerate(rows):
        if not (dates_1904 and day.year < 1904):
            sheet.write(i + 1, 0, day, date_style)
        if i == 1:
            # 1999-12-31 12:00:00.250 as a serial number: xlwt drops fractions of seconds.
            serial = 36525 + (12 * 3600 + 0.25) / 86400 - (1462 if dates_1904 else 0)
            sheet.write(i + 1, 1, serial, datetime_style)
        elif not (dates_1904 and moment.year < 1904):
            sheet.write(i + 1, 1, moment, datetime_style)
        sheet.write(i + 1, 2, times[i], time_style)
        sheet.write(i + 1, 3, datetime.date(2020 + i, 5, 17), quoted_style)
        sheet.write(i + 1, 4, 1.5 + i, text_letters_style)
    book.save(path)


def strings_book(path):
    book = xlwt.Workbook()
    sheet = book.add_sheet("Strings")
    write_row(sheet, 0, ["n", "text"])
    # Enough distinct strings that the shared-string table spans many CONTINUE records,
    # with long Latin-1 and long Cyrillic ones split across record boundaries.
    for i in range(1, 400):
        sheet.write(i, 0, i)
        if i % 50 == 0:
            value = ("Ж%03d-" % i) * 700
        elif i % 50 == 25:
            value = ("é%03d-" % i) * 900
        elif i % 7 == 0:
            value = "Москва №%d" % i
        else:
            value = "row %d ü" % i
        sheet.write(i, 1, value)
    book.save(path)


def shapes_book(path):
    book = xlwt.Workbook()
    names = ["My Sheet", "2019", "a-b", "Ünïcode", "O'Brien's data", "under_score"]
    for name in names:
        sheet = book.add_sheet(name)
        write_row(sheet, 0, [name])
        write_row(sheet, 1, [1])
    mixed = book.add_sheet("Mixed")
    mixed.write(0, 0, "mixed")
    mixed.write(0, 2, 7)             # a numeric header; column B has a blank header
    mixed.write(0, 3, "mixed")       # a repeated header
    values = [1.0, 0.1, 1e21, "text", True, False, datetime.date(2001, 2, 3),
              datetime.datetime(2001, 2, 3, 4, 5, 6), -2.5, 123456789012345.0]
    date_style = xlwt.easyxf(num_format_str="dd/mm/yyyy")
    datetime_style = xlwt.easyxf(num_format_str="dd/mm/yyyy hh:mm:ss")
    for i, value in enumerate(values):
        style = xlwt.Style.default_style
        if isinstance(value, datetime.datetime):
            style = datetime_style
        elif isinstance(value, datetime.date):
            style = date_style
        mixed.write(i + 1, 0, value, style)
        mixed.write(i + 1, 3, i)
    mixed.write(5, 1, "only value of B")
    # Formatted but empty cells below the data and to the right.
    blank_style = xlwt.easyxf("pattern: pattern solid, fore_colour yellow")
    for row in range(12, 20):
        for col in range(0, 6):
            mixed.write(row, col, None, blank_style)
    # The row limit of BIFF8 (65536 rows) and the column limit (256 columns, A to IV).
    big = book.add_sheet("Big")
    write_row(big, 0, ["n", "label"])
    for row in range(1, 65536):
        big.write(row, 0, row)
        if row % 1000 == 0:
            big.write(row, 1, "row %d" % row)
    wide = book.add_sheet("Wide")
    write_row(wide, 0, ["c%d" % col for col in range(256)])
    write_row(wide, 1, [col * 1.25 for col in range(256)])
    book.save(path)


def main():
    path = lambda name: os.path.join(sys.argv[1], name)
    dates_book(path("dates1900.xls"), False)
    dates_book(path("dates1904.xls"), True)
    strings_book(path("strings.xls"))
    shapes_book(path("shapes.xls"))


if __name__ == "__main__":
    main()
