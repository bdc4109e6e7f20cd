"""Writes the workbooks the .xlsx tests read (python3-xlsxwriter) into the folder given."""
import datetime, io, os, struct, sys, zipfile
import xlsxwriter

folder = sys.argv[1]


def kinds(path, options):
    """Every kind of cell, sparse rows and columns, and sheets whose names need quoting."""
    book = xlsxwriter.Workbook(os.path.join(folder, path), options)
    date = book.add_format({"num_format": "yyyy-mm-dd"})
    moment = book.add_format({"num_format": "dd/mm/yyyy hh:mm:ss.000"})
    clock = book.add_format({"num_format": "h:mm:ss AM/PM"})
    elapsed = book.add_format({"num_format": "[h]:mm"})
    bold = book.add_format({"bold": True})
    sheet = book.add_worksheet("Kinds")
    for column, name in enumerate(["number", "date", "moment", "clock", "elapsed", "flag", "text",
                                   "mixed", "formula", "", "far"]):
        sheet.write_string(0, column, name)
    numbers = [0, 1, -1.5, 0.1, 1 / 3, 1e-300, 1e308, 5e-324, 123456789012345678,
               2.5e-7]
    for row, number in enumerate(numbers, start=1):
        sheet.write_number(row, 0, number)
        sheet.write_datetime(row, 1, datetime.date(1900 + row * 13, row, row * 3), date)
        sheet.write_datetime(row, 2, datetime.datetime(2000 + row, 2, 28, row, 59, 58, row * 1000),
                             moment)
        sheet.write_number(row, 3, row / 10, clock)
        sheet.write_number(row, 4, row * 0.7, elapsed)
        sheet.write_boolean(row, 5, row % 2 == 0)
    texts = ["plain", " spaced ", "tab\there", "line\nbreak\r\nand return",
             "emoji \U0001F600", "quote ' and \"", "x" * 300]
    for row, text in enumerate(texts, start=1):
        sheet.write_string(row, 6, text)
    sheet.write_rich_string(len(texts) + 1, 6, "rich ", bold, "bold", " text")
    sheet.write(1, 7, 42)
    sheet.write(2, 7, "text")
    sheet.write(3, 7, True)
    sheet.write_datetime(4, 7, datetime.date(2024, 2, 29), date)
    sheet.write_formula(1, 8, '="con"&"cat"', None, "concat")
    sheet.write_formula(2, 8, "=1/0", None, "#DIV/0!")
    sheet.write_formula(3, 8, "=2*21", None, 42)
    sheet.write_formula(4, 8, "=TRUE()", None, True)
    sheet.write_number(15, 10, 7)  # far below and to the right: blank rows and a blank column
    book.add_worksheet("Q1 'data' 2024").write("B3", "top left of the used range")
    hidden = book.add_worksheet("Hidden")
    hidden.write("A1", "hidden sheets are read too")
    hidden.hide()
    book.add_worksheet("Empty")
    wide = book.add_worksheet("Widest")
    wide.write(0, 0, "first")
    wide.write(0, 16383, "XFD")
    wide.write(1, 16383, 1)
    book.close()


kinds("kinds.xlsx", {})
kinds("kinds1904.xlsx", {"date_1904": True})
kinds("inline.xlsx", {"constant_memory": True})

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
DOC = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
TYPES = "http://schemas.openxmlformats.org/package/2006/content-types"
SHEET_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml"


class Unseekable(io.RawIOBase):
    """A stream zipfile cannot seek back in: it writes data descriptors after the parts."""
    def __init__(self):
        super().__init__()
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, data):
        self.data += data
        return len(data)

    def tell(self):
        raise OSError


def package(path, sheet_xml, shared_strings=None, styles=None, more_sheets=(),
            name=lambda part: part, streamed=False):
    """A workbook of one sheet "Data" written part by part: a styles part and a shared strings
    part only when given. `sheet_xml` is bytes or a function that writes them to a stream.
    `more_sheets` are the names and relationship ids of sheet entries after "Data"; `name`
    gives the name a part is stored under. `streamed`: written as by a writer that cannot seek
    back, data descriptors after the parts, but the sizes in the local headers too."""
    rels = [(f"{DOC}/worksheet", "worksheets/sheet1.xml")]
    if shared_strings is not None:
        rels.append((f"{DOC}/sharedStrings", "sharedStrings.xml"))
    if styles is not None:
        rels.append((f"{DOC}/styles", "styles.xml"))
    target = Unseekable() if streamed else os.path.join(folder, path)
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        writestr = lambda part, data: z.writestr(name(part), data)
        writestr("[Content_Types].xml", f"<Types xmlns='{TYPES}'>"
                   "<Default Extension='rels' ContentType='application/vnd.openxmlformats-package"
                   ".relationships+xml'/><Default Extension='xml' ContentType='application/xml'/>"
                   f"<Override PartName='/xl/workbook.xml' ContentType='{SHEET_TYPE}.sheet.main+xml'/>"
                   "<Override PartName='/xl/worksheets/sheet1.xml' ContentType='"
                   f"{SHEET_TYPE}.worksheet+xml'/></Types>")
        writestr("_rels/.rels", f"<Relationships xmlns='{RELS}'><Relationship Id='rId1' "
                 f"Type='{DOC}/officeDocument' Target='xl/workbook.xml'/></Relationships>")
        writestr("xl/workbook.xml", f"<workbook xmlns='{MAIN}' xmlns:r='{DOC}'><sheets>"
                 "<sheet name='Data' sheetId='1' r:id='rId1'/>" + "".join(
                     f"<sheet name='{sheet}' sheetId='{i + 2}' r:id='{id}'/>"
                     for i, (sheet, id) in enumerate(more_sheets)) + "</sheets></workbook>")
        writestr("xl/_rels/workbook.xml.rels", f"<Relationships xmlns='{RELS}'>" + "".join(
            f"<Relationship Id='rId{i + 1}' Type='{t}' Target='{target}'/>"
            for i, (t, target) in enumerate(rels)) + "</Relationships>")
        if shared_strings is not None:
            writestr("xl/sharedStrings.xml", shared_strings)
        if styles is not None:
            writestr("xl/styles.xml", styles)
        if callable(sheet_xml):
            with z.open(name("xl/worksheets/sheet1.xml"), "w", force_zip64=True) as part:
                sheet_xml(part)
        else:
            writestr("xl/worksheets/sheet1.xml", sheet_xml)
    if streamed:
        with open(os.path.join(folder, path), "wb") as file:
            file.write(with_sizes_in_local_headers(bytes(target.data)))


def with_sizes_in_local_headers(data):
    """The package with each part's sizes written into its local header too, its CRC left 0
    there, the data-descriptor flag kept."""
    data = bytearray(data)
    with zipfile.ZipFile(io.BytesIO(bytes(data))) as z:
        for info in z.infolist():
            assert data[info.header_offset + 6] & 0x08
            struct.pack_into("<II", data, info.header_offset + 18, info.compress_size,
                             info.file_size)
    return bytes(data)


def sheet(rows):
    return f"<worksheet xmlns='{MAIN}'><sheetData>{rows}</sheetData></worksheet>".encode()


def bomb(part):
    part.write(f"<worksheet xmlns='{MAIN}'><sheetData>".encode())
    spaces = b" " * (1 << 20)
    for _ in range(300):
        part.write(spaces)
    part.write(b"</sheetData></worksheet>")


LAUGHS = ("<?xml version='1.0'?><!DOCTYPE sst [<!ENTITY a 'aaaaaaaaaa'>"
          "<!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'>"
          "<!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>]>"
          f"<sst xmlns='{MAIN}'><si><t>&d;</t></si></sst>")

# No styles and no shared strings; rows and cells without "r" follow the ones before them; a
# dimension that claims less than the cells; a formula with its cached result.
package("bare.xlsx", f"<worksheet xmlns='{MAIN}'><dimension ref='A1:A1'/><sheetData>"
        "<row><c t='inlineStr'><is><t>name</t></is></c><c t='inlineStr'><is><t>amount</t></is>"
        "</c></row><row><c t='inlineStr'><is><r><t>An</t></r><r><t>na</t></r></is></c><c>"
        "<f>1+1</f><v>2</v></c></row><row r='5'><c r='B5'><v>1E-3</v></c><c><v>7</v></c></row>"
        "</sheetData></worksheet>".encode())
package("bomb.xlsx", bomb)
package("laughs.xlsx", sheet("<row r='1'><c r='A1' t='s'><v>0</v></c></row>"), LAUGHS)
package("beyond.xlsx", sheet("<row r='1'><c r='A1'><v>1</v></c><c r='A1048577'><v>2</v></c>"
                             "</row>"))
package("broken.xlsx", sheet("<row><c><v>1</v></row>"))
package("stray.xlsx", sheet("<row r='1'><c r='A1'><v>1</v></c></row>"
                            "<row r='1048576'><c r='XFD1048576'><v>2</v></c></row>"))

# Empty texts are cells: the header row holds only empty ones (a shared string, an inline
# string, a formula's result), as do the last column and the last two rows.
package("emptytexts.xlsx", sheet(
    "<row r='1'><c r='A1' t='s'><v>0</v></c><c r='B1' t='inlineStr'><is><t/></is></c>"
    "<c r='C1' t='str'><f>\"\"</f><v></v></c></row>"
    "<row r='2'><c r='A2' t='s'><v>1</v></c><c r='B2'><v>1</v></c>"
    "<c r='C2' t='str'><f>\"\"</f><v/></c></row>"
    "<row r='3'><c r='A3' t='s'><v>2</v></c><c r='B3'><v>2</v></c></row>"
    "<row r='4'><c r='A4' t='s'><v>0</v></c></row>"
    "<row r='5'><c r='B5' t='inlineStr'><is><t></t></is></c></row>"),
    f"<sst xmlns='{MAIN}'><si><t/></si><si><t>a</t></si><si><t>b</t></si></sst>")

# 37438 (2002-07-01) under every built-in format of the East Asian versions, which the file
# does not define, and under 37, a number format.
LOCALE_FORMATS = [14, *range(27, 37), *range(50, 59), 37]
package("localedates.xlsx", sheet(
    "<row r='1'>" + "".join(f"<c t='inlineStr'><is><t>id{f}</t></is></c>" for f in LOCALE_FORMATS)
    + "</row><row r='2'>" + "".join(f"<c s='{i + 1}'><v>37438</v></c>"
                                    for i in range(len(LOCALE_FORMATS))) + "</row>"),
    styles=f"<styleSheet xmlns='{MAIN}'><cellXfs><xf numFmtId='0'/>" + "".join(
        f"<xf numFmtId='{f}' applyNumberFormat='1'/>" for f in LOCALE_FORMATS)
    + "</cellXfs></styleSheet>")

# Sheet entries whose parts cannot be found: one with an empty relationship id, one naming a
# relationship the workbook does not have.
package("lostsheets.xlsx", sheet("<row><c t='inlineStr'><is><t>kept</t></is></c></row>"
                                 "<row><c><v>1</v></c></row>"),
        more_sheets=[("Lost", ""), ("Gone", "rId9")])

# Packages as some writers make them: the sizes in the local headers along with the
# data-descriptor flag; part names with "\" for "/".
KEPT = sheet("<row><c t='inlineStr'><is><t>kept</t></is></c></row><row><c><v>1</v></c></row>")
package("descriptors.xlsx", KEPT, streamed=True)
package("backslashes.xlsx", KEPT, name=lambda part: part.replace("/", "\\"))

# Date cells (t="d") of valid and unheld dates.
package("odddates.xlsx", sheet(
    "<row><c t='inlineStr'><is><t>when</t></is></c><c t='inlineStr'><is><t>other</t></is></c>"
    "</row><row><c t='d'><v>2024-01-01</v></c><c><v>1</v></c></row>"
    "<row><c t='d'><v>-0001-12-30</v></c><c><v>2</v></c></row>"))
