#!/usr/bin/python3
"""Makes the example summary-list template and its part pictures (run with /usr/bin/python3;
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
FIELDS = ["posnr", "name", "qty", "bmp"]


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
    # 150 x 100 pixels at 96 dpi = 112.5 x 75 points.
    for name, colour in [("bracket", (60, 120, 200)), ("cover", (200, 90, 60)), ("spacer", (90, 170, 90))]:
        image = Image.new("RGB", (150, 100), (255, 255, 255))
        draw = ImageDraw.Draw(image)
        draw.rounded_rectangle([10, 10, 140, 90], radius=18, fill=colour, outline=(0, 0, 0), width=3)
        image.save(os.path.join(folder, name + ".png"), dpi=(96, 96))


def main():
    wb = Workbook()
    ws = wb.active
    ws.title = "Summary Template"
    header_fill = PatternFill("solid", fgColor="FFE2EFDA")
    for column, field in enumerate(FIELDS, start=1):
        head = ws.cell(row=1, column=column, value="$head:" + field)
        head.font = Font(bold=True)
        head.fill = header_fill
        head.border = box
        cell = ws.cell(row=2, column=column, value="$pos:" + field)
        cell.alignment = Alignment(vertical="top", horizontal="left" if field == "name" else "center")
        cell.border = box
    ws.column_dimensions["B"].width = 30
    fit_a4_portrait(ws)
    wb.save(os.path.join(here, "template.xlsx"))
    make_pictures()


if __name__ == "__main__":
    main()
