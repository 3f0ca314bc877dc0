#!/usr/bin/python3
"""Makes the workbook templates of the picture and sheet copy tests with openpyxl
(run with /usr/bin/python3; the picture files come from make_pictures.py)."""
import os
import sys

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.drawing.image import Image
from openpyxl.worksheet.table import Table, TableStyleInfo
from openpyxl.workbook.defined_name import DefinedName

here = os.path.dirname(os.path.abspath(sys.argv[0]))


def image_and_chart():
    """One sheet holding an image at D2 and a bar chart at D12."""
    wb = Workbook()
    ws = wb.active
    ws.title = "Data"
    for row in range(1, 6):
        ws.cell(row=row, column=1, value="Item %d" % row)
        ws.cell(row=row, column=2, value=row * 10)
    ws.add_image(Image(os.path.join(here, "green_120x80px_nodpi.png")), "D2")
    chart = BarChart()
    chart.title = "Quantities"
    chart.add_data(Reference(ws, min_col=2, min_row=1, max_row=5))
    chart.set_categories(Reference(ws, min_col=1, min_row=1, max_row=5))
    ws.add_chart(chart, "D12")
    wb.save(os.path.join(here, "image_and_chart.xlsx"))


def copy_source():
    """Sheets Cover, Parts, Notes. Parts holds an image, a comment, a table,
    a print area and print titles; Notes has its own print area; Notes is the
    active tab; a workbook-wide name points into Parts."""
    wb = Workbook()
    cover = wb.active
    cover.title = "Cover"
    cover["A1"] = "Cover page"
    parts = wb.create_sheet("Parts")
    notes = wb.create_sheet("Notes")
    notes["A1"] = "Notes"

    parts["A1"] = "Parts list"
    parts["A1"].comment = Comment("Checked by QA", "Tester")
    parts.append([])
    parts.append([])
    parts.append([])
    parts.append(["Part", "Quantity", "Material"])
    parts.append(["Bolt", 4, "Steel"])
    parts.append(["Nut", 4, "Steel"])
    parts.append(["Washer", 8, "Brass"])
    table = Table(displayName="PartsTable", ref="A5:C8")
    table.tableStyleInfo = TableStyleInfo(name="TableStyleMedium9", showRowStripes=True)
    parts.add_table(table)
    parts.add_image(Image(os.path.join(here, "green_120x80px_nodpi.png")), "E3")
    parts.print_area = "A1:F20"
    parts.print_title_rows = "1:2"
    notes.print_area = "A1:B5"
    wb.defined_names.append(DefinedName("PartCount", attr_text="Parts!$B$6:$B$8"))
    wb.active = 2
    wb.save(os.path.join(here, "copy_source.xlsx"))


def comment_and_table():
    """One sheet with a comment and a table but no drawing yet."""
    wb = Workbook()
    ws = wb.active
    ws.title = "Sheet1"
    ws["A1"] = "Header"
    ws["A1"].comment = Comment("Keep me", "Tester")
    ws.append(["Name", "Value"])
    ws.append(["a", 1])
    ws.add_table(Table(displayName="Values", ref="A2:B3"))
    wb.save(os.path.join(here, "comment_and_table.xlsx"))


if __name__ == "__main__":
    image_and_chart()
    copy_source()
    comment_and_table()
