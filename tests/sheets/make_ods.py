"""Writes the OpenDocument spreadsheets the .ods tests read (python3-odf) into the folder given."""
import os, sys
from odf.opendocument import OpenDocumentSpreadsheet
from odf.office import Annotation
from odf.table import CoveredTableCell, Table, TableCell, TableRow
from odf.text import LineBreak, P, S, Span, Tab

folder = sys.argv[1]


def cell(value_type=None, text=None, repeat=None, **values):
    attributes = {"valuetype": value_type} if value_type else {}
    attributes.update(values)
    if repeat:
        attributes["numbercolumnsrepeated"] = repeat
    element = TableCell(**attributes)
    if text is not None:
        element.addElement(P(text=text))
    return element


def row(*cells, repeat=None):
    element = TableRow(numberrowsrepeated=repeat) if repeat else TableRow()
    for c in cells:
        element.addElement(c)
    return element


def save(name, *tables):
    document = OpenDocumentSpreadsheet()
    for table in tables:
        document.spreadsheet.addElement(table)
    document.save(os.path.join(folder, name))


def kinds():
    """Every value type, repeats, merged cells and the ways a cell's text is written."""
    table = Table(name="Kinds")
    table.addElement(row(*(cell("string", name) for name in [
        "float", "percent", "currency", "date", "moment", "time", "flag", "text", "mixed"])))
    spaced = cell("string")
    paragraph = P(text="two")
    paragraph.addElement(S(c=3))
    paragraph.addElement(Span(text="spaces"))
    paragraph.addElement(Tab())
    paragraph.addElement(LineBreak())
    paragraph.addElement(S())
    spaced.addElement(paragraph)
    spaced.addElement(P(text="second paragraph"))
    noted = cell("string", "noted")
    note = Annotation()
    note.addElement(P(text="an annotation is no part of the value"))
    noted.addElement(note)
    merged = cell("string", "merged", numbercolumnsspanned=2)
    table.addElement(row(cell("float", value="0.1"), cell("percentage", value="0.25"),
                         cell("currency", value="-12.5", currency="EUR"),
                         cell("date", datevalue="2024-02-29"),
                         cell("date", datevalue="1999-12-31T23:59:58.5"),
                         cell("time", timevalue="PT13H45M30S"),
                         cell("boolean", booleanvalue="true"), spaced, cell("float", value="7")))
    table.addElement(row(cell("float", value="1e-300"), cell(repeat=5),
                         cell("boolean", booleanvalue="false"), noted, merged,
                         CoveredTableCell()))
    table.addElement(row(cell("float", value="3", repeat=3), cell(repeat=4),
                         cell("string", "text"), repeat=3))
    table.addElement(row(cell("time", timevalue="PT36H"), cell(repeat=6),
                         cell("string", "last"), cell("date", datevalue="2024-01-01T00:00:00")))
    table.addElement(row(cell(repeat=1024), repeat=1048570))
    hidden = Table(name="Q1 'data' 2024")
    hidden.addElement(row(cell(repeat=2), cell("string", "top left")))
    save("kinds.ods", table, hidden, Table(name="Empty"))


def empties():
    """Two values, then empty cells to the last column and empty rows to the last row."""
    table = Table(name="Sheet1")
    table.addElement(row(cell("string", "head"), cell(repeat=16383)))
    table.addElement(row(cell("float", value="1"), cell(repeat=16383)))
    table.addElement(row(cell(repeat=16384), repeat=1048574))
    save("empties.ods", table)


def repeated_content():
    """One value repeated over a thousand columns and a million rows: too many cells."""
    table = Table(name="Sheet1")
    table.addElement(row(cell("float", value="1", repeat=1000), repeat=1000000))
    save("repeated.ods", table)


def empty_texts():
    """String cells without text are cells: the whole header row, the last column and the last
    two rows; an untyped cell without text, below them, is blank."""
    table = Table(name="Data")
    table.addElement(row(cell("string", ""), cell("string", ""), cell("string", "")))
    table.addElement(row(cell("string", "a"), cell("float", value="1"), cell("string", "")))
    table.addElement(row(cell("string", "b"), cell("float", value="2")))
    table.addElement(row(cell("string", "")))
    table.addElement(row(cell(), cell("string")))
    table.addElement(row(cell(text="")))
    save("emptytexts.ods", table)


def odd_dates():
    """Dates and times no value holds, as some writers give texts, among valid ones."""
    table = Table(name="Data")
    table.addElement(row(cell("string", "when"), cell("string", "other")))
    for number, moment in enumerate([cell("date", "2024-01-01", datevalue="2024-01-01"),
                                     cell("date", "n/a", datevalue="-0001-12-30"),
                                     cell("time", "-01:00", timevalue="-PT01H00M00S"),
                                     cell("date", datevalue="10000-01-01")], start=1):
        table.addElement(row(moment, cell("float", value=str(number))))
    save("odddates.ods", table)


kinds()
empties()
repeated_content()
empty_texts()
odd_dates()
