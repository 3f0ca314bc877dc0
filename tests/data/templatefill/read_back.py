#!/usr/bin/python3
"""Reads a filled workbook back with openpyxl (an independent reader).

Usage: /usr/bin/python3 read_back.py <workbook> <sheet>
Prints tab-separated lines:
  workbook  <sheet names joined by ",">  <active sheet>
  sheet     <merged ranges joined by ",">  <image count>  <print area>
  cell      <coordinate> <type s|n|b|d> <value> <number format> <bold> <italic> <size>
            <font color> <font name> <horizontal> <vertical> <border left,right,top,bottom>
for every cell that holds a value or a border.
"""
import sys

from openpyxl import load_workbook


def flag(value):
    return "1" if value else "0"


def kind(value):
    if isinstance(value, bool):
        return "b"
    if isinstance(value, (int, float)):
        return "n"
    if isinstance(value, str):
        return "s"
    return "d"


def text(value):
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def color(font):
    c = font.color
    if c is None:
        return "-"
    if c.type == "rgb":
        return str(c.rgb)
    return f"{c.type}:{c.value}"


def border(cell):
    b = cell.border
    return ",".join(str(side.style) if side is not None and side.style else "-" for side in (b.left, b.right, b.top, b.bottom))


book = load_workbook(sys.argv[1])
sheet = book[sys.argv[2]]
print("workbook", ",".join(book.sheetnames), book.active.title, sep="\t")
merged = ",".join(sorted(str(r) for r in sheet.merged_cells.ranges))
print("sheet", merged or "-", len(sheet._images), sheet.print_area or "-", sep="\t")
for row in sheet.iter_rows():
    for cell in row:
        if cell.value is None and border(cell) == "-,-,-,-":
            continue
        font = cell.font
        print("cell", cell.coordinate, kind(cell.value) if cell.value is not None else "-",
              text(cell.value) if cell.value is not None else "", cell.number_format,
              flag(font.b), flag(font.i), text(font.sz) if font.sz is not None else "-", color(font), font.name or "-",
              cell.alignment.horizontal or "general", cell.alignment.vertical or "bottom", border(cell), sep="\t")
