#!/usr/bin/python3
"""Writes the bundled template-fill example, template.xlsx, with openpyxl.

Sheet "Stueckliste": a title block of "$head:" placeholders with borders, a merged
title cell and a logo picture, column captions, and one position row of "$pos:"
placeholders followed by pre-bordered rows for the positions written below it.
Sheet "Deckblatt": a cover page with header placeholders of its own.

Usage: /usr/bin/python3 make_template.py [output file]
"""
import io
import sys
from pathlib import Path

from openpyxl import Workbook
from openpyxl.drawing.image import Image
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.worksheet.page import PageMargins
from openpyxl.worksheet.properties import PageSetupProperties
from PIL import Image as PilImage, ImageDraw

THIN = Side(style="thin")
MEDIUM = Side(style="medium")
BOX = Border(left=THIN, right=THIN, top=THIN, bottom=THIN)
POSITION_ROWS = 32

COLUMNS = [  # caption, field, width, horizontal alignment
    ("Pos.", "posnr", 6, "center"),
    ("Menge", "qty", 8, "right"),
    ("Einheit", "unit", 8, "center"),
    ("Benennung", "name", 34, "left"),
    ("Sachnummer", "partno", 16, "left"),
    ("Werkstoff", "material", 16, "left"),
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


def logo():
    picture = PilImage.new("RGB", (160, 64), (255, 255, 255))
    draw = ImageDraw.Draw(picture)
    draw.rectangle([2, 2, 157, 61], outline=(0, 70, 140), width=4)
    draw.polygon([(16, 52), (40, 12), (64, 52)], fill=(200, 30, 30))
    draw.rectangle([76, 20, 148, 44], fill=(0, 70, 140))
    data = io.BytesIO()
    picture.save(data, format="PNG")
    data.seek(0)
    return Image(data)


def title_block(sheet):
    rows = [
        ("Zeichnungsnummer", "$head:drawno", "Datum", "$head:date"),
        ("Benennung", "$head:title", "Bearbeiter", "$head:author"),
        ("Projekt", "$head:project", "Revision", "$head:rev"),
    ]
    for offset, (label1, field1, label2, field2) in enumerate(rows):
        row = 2 + offset
        sheet.cell(row, 1, label1).font = Font(size=8, color="FF555555")
        sheet.cell(row, 2, field1).font = Font(bold=True)
        sheet.merge_cells(start_row=row, start_column=2, end_row=row, end_column=4)
        sheet.cell(row, 5, label2).font = Font(size=8, color="FF555555")
        sheet.cell(row, 6, field2).font = Font(bold=True)
        for column in range(1, 7):
            sheet.cell(row, column).border = BOX
    for column in range(1, 7):
        sheet.cell(2, column).border = Border(left=THIN, right=THIN, top=MEDIUM, bottom=THIN)
        sheet.cell(4, column).border = Border(left=THIN, right=THIN, top=THIN, bottom=MEDIUM)
    sheet["A1"] = "Stückliste"
    sheet["A1"].font = Font(size=16, bold=True)
    sheet.row_dimensions[1].height = 48
    sheet.add_image(logo(), "E1")


def position_table(sheet):
    caption_row, position_row = 6, 7
    header_fill = PatternFill("solid", fgColor="FFDDE6F0")
    for column, (caption, field, width, horizontal) in enumerate(COLUMNS, start=1):
        letter = sheet.cell(1, column).column_letter
        sheet.column_dimensions[letter].width = width
        head = sheet.cell(caption_row, column, caption)
        head.font = Font(bold=True)
        head.fill = header_fill
        head.border = Border(left=THIN, right=THIN, top=MEDIUM, bottom=MEDIUM)
        model = sheet.cell(position_row, column, f"$pos:{field}")
        model.alignment = Alignment(horizontal=horizontal, vertical="center")
        model.font = Font(name="Arial", size=10)
        for row in range(position_row, position_row + POSITION_ROWS):
            sheet.cell(row, column).border = BOX
    sheet.print_area = f"A1:F{position_row + POSITION_ROWS - 1}"
    sheet.print_title_rows = f"{caption_row}:{caption_row}"


def cover(sheet):
    sheet["B3"] = "$head:title"
    sheet["B3"].font = Font(size=20, bold=True)
    sheet["B5"] = "Zeichnung"
    sheet["C5"] = "$head:drawno"


def main(target):
    book = Workbook()
    bom = book.active
    bom.title = "Stueckliste"
    title_block(bom)
    position_table(bom)
    cover(book.create_sheet("Deckblatt"))
    for sheet in book.worksheets:
        fit_a4_portrait(sheet)
    book.save(target)


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("template.xlsx"))
