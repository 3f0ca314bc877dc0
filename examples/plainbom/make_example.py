#!/usr/bin/python3
"""Makes the example plain BOM template and its part pictures (run with /usr/bin/python3;
needs openpyxl and Pillow). The BOM that goes with them is bom.json beside this script."""
import os
import sys

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.worksheet.page import PageMargins
from openpyxl.worksheet.properties import PageSetupProperties
from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(sys.argv[0]))
thin = Side(style="thin")
box = Border(left=thin, right=thin, top=thin, bottom=thin)

COLUMNS = [
    ("Pos", "$pos:posnr", 6),
    ("Benennung", "$pos:name", 24),
    ("Sachnummer", "$pos:partno", 14),
    ("Verw. 1", "$pos:verw1", 8),
    ("Verw. 2", "$pos:verw2", 8),
    ("Menge", "$pos:count", 8),
    ("!", "$pos:warn", 8),
    ("Bild", "$pos:bmp", 12),
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
        image = Image.new("RGB", (64, 48), (255, 255, 255))
        draw = ImageDraw.Draw(image)
        if shape == "rect":
            draw.rectangle([6, 6, 58, 42], fill=colour, outline=(0, 0, 0))
        elif shape == "bar":
            draw.rectangle([4, 20, 60, 28], fill=colour, outline=(0, 0, 0))
        else:
            draw.ellipse([12, 4, 52, 44], fill=colour, outline=(0, 0, 0))
        image.save(os.path.join(folder, name + ".png"), dpi=(96, 96))


def main():
    wb = Workbook()
    ws = wb.active
    ws.title = "Stueckliste"
    ws["A1"] = "Stückliste"
    ws["A1"].font = Font(bold=True, size=14)
    ws["A2"] = "Zeichnung:"
    ws["B2"] = "$head:drawno"
    ws["A3"] = "Benennung:"
    ws["B3"] = "$head:title"
    ws["D2"] = "Datum:"
    ws["E2"] = "$head:date"
    header_fill = PatternFill("solid", fgColor="FFDDEBF7")
    for column, (caption, placeholder, width) in enumerate(COLUMNS, start=1):
        head = ws.cell(row=5, column=column, value=caption)
        head.font = Font(bold=True)
        head.fill = header_fill
        head.border = box
        cell = ws.cell(row=6, column=column, value=placeholder)
        cell.border = box
        cell.alignment = Alignment(horizontal="center" if column != 2 else "left", vertical="center")
        ws.column_dimensions[head.column_letter].width = width
        for row in range(7, 40):
            ws.cell(row=row, column=column).border = box
    ws.print_title_rows = "5:5"
    fit_a4_portrait(ws)
    wb.save(os.path.join(here, "template.xlsx"))
    make_pictures()


if __name__ == "__main__":
    main()
