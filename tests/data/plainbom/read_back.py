#!/usr/bin/python3
"""Prints what an independent reader (openpyxl) sees in a workbook, one "key<TAB>value" line each:
sheets, cell values and their types, bold fonts, borders, number formats, row heights,
column widths and pictures with their anchors."""
import sys

from openpyxl import load_workbook
from openpyxl.utils import get_column_letter


def emu_to_points(emu):
    return emu / 12700.0


def main(path):
    wb = load_workbook(path)
    print("sheets\t" + ",".join(wb.sheetnames))
    for ws in wb.worksheets:
        name = ws.title
        for row in ws.iter_rows():
            for cell in row:
                if cell.value is not None:
                    print(f"cell {name}!{cell.coordinate}\t{cell.value}")
                    print(f"type {name}!{cell.coordinate}\t{type(cell.value).__name__}")
                if cell.font is not None and cell.font.b:
                    print(f"bold {name}!{cell.coordinate}\tTrue")
                if cell.border is not None and cell.border.left is not None and cell.border.left.style:
                    print(f"border {name}!{cell.coordinate}\t{cell.border.left.style}")
                if cell.number_format != "General":
                    print(f"numfmt {name}!{cell.coordinate}\t{cell.number_format}")
        for index, dim in ws.row_dimensions.items():
            if dim.height is not None:
                print(f"height {name}!{index}\t{dim.height:g}")
        for letter, dim in ws.column_dimensions.items():
            if dim.width is not None and dim.customWidth:
                print(f"width {name}!{letter}\t{dim.width:g}")
            if dim.number_format and dim.number_format != "General":
                print(f"colfmt {name}!{letter}\t{dim.number_format}")
        for number, image in enumerate(ws._images):
            anchor = image.anchor
            start = anchor._from
            kind = type(anchor).__name__
            edit_as = getattr(anchor, "editAs", None)
            cell = f"{get_column_letter(start.col + 1)}{start.row + 1}"
            offset = f"{emu_to_points(start.colOff):g},{emu_to_points(start.rowOff):g}"
            if kind == "TwoCellAnchor":
                end = anchor.to
                size = f"to {get_column_letter(end.col + 1)}{end.row + 1}+{emu_to_points(end.colOff):g},{emu_to_points(end.rowOff):g}"
            else:
                size = f"{emu_to_points(anchor.ext.width):g}x{emu_to_points(anchor.ext.height):g}"
            print(f"image {name}#{number}\t{kind} {edit_as} {cell}+{offset} {size}")


if __name__ == "__main__":
    main(sys.argv[1])
