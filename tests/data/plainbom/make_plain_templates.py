#!/usr/bin/python3
"""Makes the plain BOM test template and pictures (run with /usr/bin/python3; needs openpyxl and Pillow)."""
import os
import sys

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, Side
from PIL import Image

here = os.path.dirname(os.path.abspath(sys.argv[0]))
thin = Side(style="thin")
box = Border(left=thin, right=thin, top=thin, bottom=thin)

POSITION_ROW = ["$pos:posnr", "$POS:Name", "$pos:verw1", "$pos:verw2", "$pos:count", "$pos:warn", "$pos:bmp", "$pos:bmp"]
CAPTIONS = ["Pos", "Name", "Use 1", "Use 2", "Qty", "Warn", "Picture", "Picture 2"]


def lay_out_bom_sheet(ws):
    ws["A1"] = "Title:"
    ws["B1"] = "$head:title"
    ws["A2"] = "Drawing:"
    ws["B2"] = "$HEAD:DrawNo"
    for column, caption in enumerate(CAPTIONS, start=1):
        ws.cell(row=4, column=column, value=caption).font = Font(bold=True)
    for column, text in enumerate(POSITION_ROW, start=1):
        cell = ws.cell(row=5, column=column, value=text)
        cell.border = box
        if column == 1:
            cell.alignment = Alignment(horizontal="center")
        if column == 2:
            cell.font = Font(bold=True, color="FFC00000")
    for row in range(6, 30):
        for column in range(1, len(POSITION_ROW) + 1):
            ws.cell(row=row, column=column).border = box


def main():
    wb = Workbook()
    cover = wb.active
    cover.title = "Cover"
    cover["A1"] = "Cover sheet"
    lay_out_bom_sheet(wb.create_sheet("BOM"))
    lay_out_bom_sheet(wb.create_sheet("Other"))
    wb.active = 1
    wb.save(os.path.join(here, "plain_template.xlsx"))

    # 40 x 30 pixels at 96 dpi = 30 x 22.5 points.
    Image.new("RGB", (40, 30), (30, 120, 200)).save(os.path.join(here, "part_40x30px.png"), dpi=(96, 96))
    with open(os.path.join(here, "not_a_picture.png"), "w") as out:
        out.write("This text file only has a picture's name.\n")


if __name__ == "__main__":
    main()
