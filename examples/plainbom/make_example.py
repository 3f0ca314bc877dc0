#!/usr/bin/python3
"""Makes the example plain BOM template and its part pictures (run with /usr/bin/python3;
needs openpyxl and Pillow). The BOM that goes with them is bom.json beside this script.

Sheet "Stueckliste": a title, a title block of "$head:" placeholders (a small label
above each value, both in merged cells as wide as the value needs), column captions,
the position row of "$pos:" placeholders in row 6 and below it rows formatted like it
(font, alignment, borders): every position and every gap row the export writes there
looks the same. Every cell is in Arial."""
import os
import sys

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.worksheet.page import PageMargins
from openpyxl.worksheet.properties import PageSetupProperties
from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(sys.argv[0]))
FONT = "Arial"
thin = Side(style="thin")
medium = Side(style="medium")
box = Border(left=thin, right=thin, top=thin, bottom=thin)
LIST_ROWS = 30  # the position row and the rows below it, one page of the default 30 positions

COLUMNS = [  # caption, placeholder, width, horizontal alignment
    ("Pos", "$pos:posnr", 6, "center"),
    ("Benennung", "$pos:name", 26, "left"),
    ("Sachnummer", "$pos:partno", 15, "left"),
    ("Verw. 1", "$pos:verw1", 8, "center"),
    ("Verw. 2", "$pos:verw2", 8, "center"),
    ("Menge", "$pos:count", 8, "center"),
    ("!", "$pos:warn", 8, "center"),
    ("Bild", "$pos:bmp", 12, "center"),
]

# Title block fields: label, placeholder, first and last column.
TITLE_FIELDS = [
    ("Benennung", "$head:title", 1, 2),
    ("Zeichnungsnummer", "$head:drawno", 3, 5),
    ("Datum", "$head:date", 6, 8),
]


def fit_a4_portrait(sheet):
    """Prints each sheet on A4 portrait: narrow margins, scaled to the page width
    (the reader's fonts decide the real column widths)."""
    sheet.page_setup.paperSize = sheet.PAPERSIZE_A4
    sheet.page_setup.orientation = sheet.ORIENTATION_PORTRAIT
    sheet.page_margins = PageMargins(left=0.5, right=0.5, top=0.6, bottom=0.6, header=0.3, footer=0.3)
    sheet.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    sheet.page_setup.fitToWidth = 1
    sheet.page_setup.fitToHeight = 0


def make_pictures():
    folder = os.path.join(here, "pictures")
    os.makedirs(folder, exist_ok=True)
    for name, colour, shape in [("housing", (90, 110, 140), "rect"), ("shaft", (150, 150, 160), "bar"),
                                ("gear", (200, 140, 40), "circle")]:
        image = Image.new("RGBA", (64, 48), (255, 255, 255, 0))  # transparent: the cell's borders show
        draw = ImageDraw.Draw(image)
        if shape == "rect":
            draw.rectangle([6, 6, 58, 42], fill=colour, outline=(0, 0, 0))
        elif shape == "bar":
            draw.rectangle([4, 20, 60, 28], fill=colour, outline=(0, 0, 0))
        else:
            draw.ellipse([12, 4, 52, 44], fill=colour, outline=(0, 0, 0))
        image.save(os.path.join(folder, name + ".png"), dpi=(96, 96))


def title_block(ws):
    """Row 2 the labels, row 3 the values, each field boxed over its columns."""
    for label, placeholder, first, last in TITLE_FIELDS:
        for row, text, font in [(2, label, Font(name=FONT, size=8, color="FF555555")),
                                (3, placeholder, Font(name=FONT, size=10, bold=True))]:
            cell = ws.cell(row=row, column=first, value=text)
            cell.font = font
            cell.alignment = Alignment(horizontal="left", vertical="bottom" if row == 2 else "center")
            ws.merge_cells(start_row=row, start_column=first, end_row=row, end_column=last)
            for column in range(first, last + 1):
                ws.cell(row=row, column=column).border = Border(
                    left=medium if column == 1 else thin, right=medium if column == len(COLUMNS) else thin,
                    top=medium if row == 2 else None, bottom=medium if row == 3 else None)
    ws.row_dimensions[2].height = 12
    ws.row_dimensions[3].height = 18


def main():
    wb = Workbook()
    ws = wb.active
    ws.title = "Stueckliste"
    ws["A1"] = "Stückliste"
    ws["A1"].font = Font(name=FONT, bold=True, size=14)
    title_block(ws)
    header_fill = PatternFill("solid", fgColor="FFDDEBF7")
    for column, (caption, placeholder, width, horizontal) in enumerate(COLUMNS, start=1):
        head = ws.cell(row=5, column=column, value=caption)
        head.font = Font(name=FONT, size=10, bold=True)
        head.fill = header_fill
        head.border = box
        head.alignment = Alignment(horizontal=horizontal, vertical="center")
        ws.column_dimensions[head.column_letter].width = width
        ws.cell(row=6, column=column, value=placeholder)
        for row in range(6, 6 + LIST_ROWS):
            cell = ws.cell(row=row, column=column)
            cell.font = Font(name=FONT, size=10)
            cell.alignment = Alignment(horizontal=horizontal, vertical="center")
            cell.border = box
    ws.print_title_rows = "5:5"
    fit_a4_portrait(ws)
    wb.save(os.path.join(here, "template.xlsx"))
    make_pictures()


if __name__ == "__main__":
    main()
