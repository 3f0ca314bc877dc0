#!/usr/bin/python3
"""Writes the bundled template-fill example, template.xlsx, with openpyxl.

Sheet "Stueckliste": a title block of "$head:" placeholders with borders (each
label and each value in merged cells wide enough for it) and a logo picture,
column captions, and one position row of "$pos:" placeholders followed by rows
formatted like it (font, alignment, borders), so that every filled row looks the
same. Sheet "Deckblatt": a cover page with header placeholders of its own.
Every cell is in Arial, a font every spreadsheet program has or replaces by one
of the same widths.

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

FONT = "Arial"
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
    """Three rows: a label in A:B, its value in C:D, a label in E, its value in F."""
    rows = [
        ("Zeichnungsnummer", "$head:drawno", "Datum", "$head:date"),
        ("Benennung", "$head:title", "Bearbeiter", "$head:author"),
        ("Projekt", "$head:project", "Revision", "$head:rev"),
    ]
    label_font = Font(name=FONT, size=8, color="FF555555")
    value_font = Font(name=FONT, size=10, bold=True)
    for offset, (label1, field1, label2, field2) in enumerate(rows):
        row = 2 + offset
        sheet.row_dimensions[row].height = 16
        for column, text, font in [(1, label1, label_font), (3, field1, value_font),
                                   (5, label2, label_font), (6, field2, value_font)]:
            cell = sheet.cell(row, column, text)
            cell.font = font
            cell.alignment = Alignment(horizontal="left", vertical="center")
        sheet.merge_cells(start_row=row, start_column=1, end_row=row, end_column=2)
        sheet.merge_cells(start_row=row, start_column=3, end_row=row, end_column=4)
        for column in range(1, 7):
            top = MEDIUM if row == 2 else THIN
            bottom = MEDIUM if row == 4 else THIN
            sheet.cell(row, column).border = Border(left=THIN, right=THIN, top=top, bottom=bottom)
    sheet["A1"] = "Stückliste"
    sheet["A1"].font = Font(name=FONT, size=16, bold=True)
    sheet["A1"].alignment = Alignment(vertical="bottom")
    sheet.row_dimensions[1].height = 48
    sheet.add_image(logo(), "E1")


def position_table(sheet):
    caption_row, position_row = 6, 7
    header_fill = PatternFill("solid", fgColor="FFDDE6F0")
    for column, (caption, field, width, horizontal) in enumerate(COLUMNS, start=1):
        letter = sheet.cell(1, column).column_letter
        sheet.column_dimensions[letter].width = width
        head = sheet.cell(caption_row, column, caption)
        head.font = Font(name=FONT, size=10, bold=True)
        head.fill = header_fill
        head.alignment = Alignment(horizontal=horizontal, vertical="center")
        head.border = Border(left=THIN, right=THIN, top=MEDIUM, bottom=MEDIUM)
        sheet.cell(position_row, column, f"$pos:{field}")
        for row in range(position_row, position_row + POSITION_ROWS):
            cell = sheet.cell(row, column)
            cell.alignment = Alignment(horizontal=horizontal, vertical="center")
            cell.font = Font(name=FONT, size=10)
            cell.border = BOX
    sheet.print_area = f"A1:F{position_row + POSITION_ROWS - 1}"
    sheet.print_title_rows = f"{caption_row}:{caption_row}"


def cover(sheet):
    sheet.column_dimensions["A"].width = 4
    sheet.column_dimensions["B"].width = 22
    sheet.column_dimensions["C"].width = 40
    sheet["B3"] = "$head:title"
    sheet["B3"].font = Font(name=FONT, size=20, bold=True)
    for row, (label, field) in enumerate([("Zeichnungsnummer", "$head:drawno"), ("Projekt", "$head:project"),
                                          ("Datum", "$head:date")], start=5):
        sheet.cell(row, 2, label).font = Font(name=FONT, size=10, color="FF555555")
        sheet.cell(row, 3, field).font = Font(name=FONT, size=10, bold=True)


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
