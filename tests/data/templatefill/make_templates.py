#!/usr/bin/python3
"""Writes the template-fill test templates with openpyxl (an independent tool).

Usage: /usr/bin/python3 make_templates.py [output directory]
"""
import io
import sys
from pathlib import Path

from openpyxl import Workbook
from openpyxl.drawing.image import Image
from openpyxl.styles import Alignment, Border, Font, Side
from PIL import Image as PilImage, ImageDraw

THIN = Side(style="thin")
BOX = Border(left=THIN, right=THIN, top=THIN, bottom=THIN)


def logo():
    picture = PilImage.new("RGB", (96, 48), (255, 255, 255))
    draw = ImageDraw.Draw(picture)
    draw.rectangle([4, 4, 91, 43], outline=(0, 70, 140), width=3)
    draw.ellipse([12, 10, 40, 38], fill=(200, 30, 30))
    data = io.BytesIO()
    picture.save(data, format="PNG")
    data.seek(0)
    return Image(data)


def fill_template(path):
    book = Workbook()
    cover = book.active
    cover.title = "Cover"
    cover["A1"] = "$head:title"
    parts = book.create_sheet("Parts")

    parts["A1"] = "$head:drawno"
    parts["A1"].border = BOX
    parts["B1"] = "$head:title"
    parts.merge_cells("B1:C1")
    parts["D1"] = "$Head:Weight"
    parts["E1"] = "$head:owner"
    parts["AY1"] = "$head:drawno"  # column 51: outside the scanned rectangle
    parts["A3"] = "$pos:posnr"  # an upper position row: stays as text
    for column, caption in zip("ABC", ("Pos", "Name", "Qty")):
        parts[f"{column}5"] = caption
        parts[f"{column}5"].font = Font(bold=True)
    parts["A6"] = "$pos:posnr"
    parts["A6"].font = Font(name="Arial", bold=True, size=12, color="FFFF0000")
    parts["A6"].alignment = Alignment(horizontal="center", vertical="top")
    parts["B6"] = "$POS:Name"
    parts["B6"].font = Font(italic=True)
    parts["B6"].alignment = Alignment(horizontal="left")
    parts["C6"] = "$pos:qty"
    parts["C6"].alignment = Alignment(horizontal="right")
    parts["D6"] = "keep"
    for column in "ABCD":
        parts[f"{column}6"].border = BOX
    parts["D8"] = "untouched"
    parts["A60"] = "$pos:posnr"  # row 60: outside the scanned rectangle
    parts.add_image(logo(), "G1")
    parts.print_area = "A1:E20"
    book.active = 0
    book.save(path)


def reverse_template(path):
    book = Workbook()
    sheet = book.active
    sheet.title = "Reverse"
    sheet["A1"] = "$head:title"
    sheet["A2"] = "Header 2"
    sheet["A2"].font = Font(bold=True)
    sheet["A4"] = "$pos:n"
    sheet["A4"].font = Font(italic=True)
    sheet["A4"].alignment = Alignment(horizontal="right")
    sheet["B4"] = "$pos:m"
    # Right of the mirrored block in row 1: must survive the reverse.
    sheet["C1"] = "beside"
    sheet["C1"].font = Font(bold=True, size=14)
    sheet["C1"].alignment = Alignment(horizontal="right", vertical="center")
    book.save(path)


def groups_template(path):
    book = Workbook()
    sheet = book.active
    sheet.title = "Groups"
    sheet["A2"] = "$pos:f0"
    sheet["B2"] = "$pos:f1"
    sheet["C2"] = "$pos:f2"
    book.save(path)


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    fill_template(out / "fill.xlsx")
    reverse_template(out / "reverse.xlsx")
    groups_template(out / "groups.xlsx")
