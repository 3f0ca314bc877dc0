#!/usr/bin/python3
"""Makes the summary-list test template and picture (run with /usr/bin/python3; needs openpyxl and Pillow)."""
import os
import sys

from openpyxl import Workbook
from openpyxl.styles import Font
from PIL import Image

here = os.path.dirname(os.path.abspath(sys.argv[0]))


def main():
    wb = Workbook()
    ws = wb.active
    ws.title = "Layout"
    for column, name in enumerate(["posnr", "qty", "bmp"], start=1):
        ws.cell(row=1, column=column, value="$head:" + name).font = Font(bold=True)
    ws["A2"] = "$pos:posnr"
    ws["B2"] = "$pos:QTY"
    ws["C2"] = "$pos:bmp"
    ws["D2"] = "$pos:unknown"
    ws["BB2"] = "$pos:posnr"  # column 54: right of RecordSize 3 + 50
    ws["A2"].font = Font(italic=True)
    ws["A9"] = "note"
    wb.save(os.path.join(here, "summary_template.xlsx"))

    # 200 x 100 pixels at 72 dpi = 200 x 100 points.
    Image.new("RGB", (200, 100), (200, 30, 30)).save(os.path.join(here, "red_200x100pt.png"), dpi=(72, 72))


if __name__ == "__main__":
    main()
