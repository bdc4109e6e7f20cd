"""Writes the generated test workbooks (BIFF8, through xlwt) into the folder given."""
import datetime, os, sys
import xlwt


def dates_book(path, dates_1904):
    book = xlwt.Workbook()
    book.dates_1904 = dates_1904
    sheet = book.add_sheet("Dates")
    formats = ["yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss.000", "hh:mm:ss", '"Day "dd" of "mmmm yyyy',
               '0.00" days"']
    for col, name in enumerate(["date", "datetime", "time", "quoted", "not_a_date"]):
        sheet.write(0, col, name)
    dates = [datetime.date(1900, 1, 1), datetime.date(1900, 3, 1), datetime.date(2000, 1, 1),
             datetime.date(9999, 12, 31)]
    # 1999-12-31 12:00:00.250 as a serial number: xlwt drops fractions of seconds.
    moments = [datetime.datetime(1900, 2, 27, 23), 36525 + (12 * 3600 + 0.25) / 86400,
               datetime.datetime(2024, 2, 29, 6, 30), datetime.datetime(1904, 1, 2, 0, 0, 1)]
    times = [datetime.time(0, 0), datetime.time(6, 34), datetime.time(12, 56),
             datetime.time(23, 59, 59)]
    for i in range(4):
        moment = moments[i] - (1462 if dates_1904 else 0) if i == 1 else moments[i]
        values = [dates[i], moment, times[i], datetime.date(2020 + i, 5, 17), 1.5 + i]
        for col, value in enumerate(values):
            if not (dates_1904 and isinstance(value, datetime.date) and value.year < 1904):
                sheet.write(i + 1, col, value, xlwt.easyxf(num_format_str=formats[col]))
    book.save(path)


def strings_book(path):
    book = xlwt.Workbook()
    sheet = book.add_sheet("Strings")
    sheet.write(0, 0, "n")
    sheet.write(0, 1, "text")
    # Enough distinct strings that the shared-string table spans many CONTINUE records,
    # with long Latin-1 and long Cyrillic ones split across record boundaries.
    for i in range(1, 400):
        sheet.write(i, 0, i)
        if i % 50 == 0:
            value = ("Ж%03d-" % i) * 700
        elif i % 50 == 25:
            value = ("é%03d-" % i) * 900
        else:
            value = ("Москва №%d" if i % 7 == 0 else "row %d ü") % i
        sheet.write(i, 1, value)
    book.save(path)


def shapes_book(path):
    book = xlwt.Workbook()
    for name in ["My Sheet", "2019", "a-b", "Ünïcode", "O'Brien's data", "under_score"]:
        sheet = book.add_sheet(name)
        sheet.write(0, 0, name)
        sheet.write(1, 0, 1)
    mixed = book.add_sheet("Mixed")
    mixed.write(0, 0, "mixed")
    mixed.write(0, 2, 7)  # a numeric header; column B has a blank header
    mixed.write(0, 3, "mixed")  # a repeated header
    values = [1.0, 0.1, 1e21, "text", True, False, datetime.date(2001, 2, 3),
              datetime.datetime(2001, 2, 3, 4, 5, 6), -2.5, 123456789012345.0]
    for i, value in enumerate(values):
        date_format = "dd/mm/yyyy hh:mm:ss" if isinstance(value, datetime.datetime) else "dd/mm/yyyy"
        is_date = isinstance(value, datetime.date)
        mixed.write(i + 1, 0, value, xlwt.easyxf(num_format_str=date_format if is_date else "General"))
        mixed.write(i + 1, 3, i)
    mixed.write(5, 1, "only value of B")
    # Formatted but empty cells below the data and to the right.
    blank_style = xlwt.easyxf("pattern: pattern solid, fore_colour yellow")
    for row in range(12, 20):
        for col in range(0, 6):
            mixed.write(row, col, None, blank_style)
    # The row limit of BIFF8 (65536 rows) and the column limit (256 columns, A to IV).
    big = book.add_sheet("Big")
    big.write(0, 0, "n")
    for row in range(1, 65536):
        big.write(row, 0, row)
        if row % 1000 == 0:
            big.write(row, 1, "row %d" % row)
    big.write(0, 1, "label")
    wide = book.add_sheet("Wide")
    for col in range(256):
        wide.write(0, col, "c%d" % col)
        wide.write(1, col, col * 1.25)
    book.save(path)


def main():
    path = lambda name: os.path.join(sys.argv[1], name)
    dates_book(path("dates1900.xls"), False)
    dates_book(path("dates1904.xls"), True)
    strings_book(path("strings.xls"))
    shapes_book(path("shapes.xls"))


if __name__ == "__main__":
    main()
