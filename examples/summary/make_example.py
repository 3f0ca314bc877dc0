#!/usr/bin/python3
"""Makes the example summary-list template and its part pictures (run with /usr/bin/python3;
needs openpyxl and Pillow). The BOM that goes with them is bom.json beside this script.

Sheet "Summary Template": a title, the captions row of "$head:" placeholders, the
position row of "$pos:" placeholders and below it rows formatted like it (font,
alignment, borders), as many as a page of the default 20 positions takes: the
summary writes each position over the next of them, so every filled row looks the
same. Every cell is in Arial."""
import os
import sys

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.worksheet.page import PageMargins
from openpyxl.worksheet.properties import PageSetupProperties
from PIL import Image, ImageDraw

here = os.path.dirname(os.path.abspath(sys.argv[0]))
thin = Side(style="thin")
medium = Side(style="medium")
box = Border(left=thin, right=thin, top=thin, bottom=thin)
FONT = "Arial"
# field, column width, horizontal alignment
FIELDS = [("posnr", 7, "center"), ("name", 36, "left"), ("qty", 9, "center"), ("bmp", 18, "center")]
CAPTION_ROW, POSITION_ROW, LIST_ROWS = 3, 4, 20


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
        image = Image.new("RGBA", (150, 100), (255, 255, 255, 0))  # transparent: the cell's borders show
        draw = ImageDraw.Draw(image)
        draw.rounded_rectangle([10, 10, 140, 90], radius=18, fill=colour, outline=(0, 0, 0), width=3)
        image.save(os.path.join(folder, name + ".png"), dpi=(96, 96))


def main():
    wb = Workbook()
    ws = wb.active
    ws.title = "Summary Template"
    ws["A1"] = "Stückliste \u2013 Übersicht"
    ws["A1"].font = Font(name=FONT, size=14, bold=True)
    header_fill = PatternFill("solid", fgColor="FFE2EFDA")
    for column, (field, width, horizontal) in enumerate(FIELDS, start=1):
        head = ws.cell(row=CAPTION_ROW, column=column, value="$head:" + field)
        head.font = Font(name=FONT, size=10, bold=True)
        head.fill = header_fill
        head.alignment = Alignment(horizontal=horizontal, vertical="center")
        head.border = Border(left=thin, right=thin, top=medium, bottom=medium)
        ws.column_dimensions[head.column_letter].width = width
        ws.cell(row=POSITION_ROW, column=column, value="$pos:" + field)
        for row in range(POSITION_ROW, POSITION_ROW + LIST_ROWS):
            cell = ws.cell(row=row, column=column)
            cell.font = Font(name=FONT, size=10)
            cell.alignment = Alignment(horizontal=horizontal, vertical="center")
            cell.border = box
    ws.print_title_rows = f"{CAPTION_ROW}:{CAPTION_ROW}"
    fit_a4_portrait(ws)
    wb.save(os.path.join(here, "template.xlsx"))
    make_pictures()


if __name__ == "__main__":
    main()
