#!/usr/bin/python3
"""Makes the copy-export test workbooks with openpyxl and LibreOffice.

three_sheets.xlsx  three sheets; the middle one holds numbers, dates, a tab
                   and quotes; the last sheet is the active one.
three_sheets.xls   the same workbook converted by LibreOffice Calc.
rich.xlsx          fonts, alignments, borders, merged cells and a picture on
                   three sheets, for measuring what a trip through .xls keeps.

Run: /usr/bin/python3 make_templates.py  (in this directory)
"""
import datetime
import io
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.drawing.image import Image
from openpyxl.styles import Alignment, Border, Font, Side
from PIL import Image as PilImage

HERE = os.path.dirname(os.path.abspath(__file__))


def three_sheets(path):
    wb = openpyxl.Workbook()
    head = wb.active
    head.title = "Kopf"
    head["A1"] = "Zeichnung"
    head["B1"] = "ZN-4711"

    lst = wb.create_sheet("Liste")
    lst.append(["Pos", "Benennung", "Menge", "Datum", "Preis"])
    lst.append([1, "Schraube M6", 12, datetime.datetime(2026, 3, 14), 2.5])
    lst.append([2, "Tab\there", 3.75, datetime.datetime(2026, 12, 24), 1234.5])
    lst.append([3, 'Mutter 3/4"', -7, datetime.datetime(2027, 1, 2), 0.125])
    lst.append([4, 'say "hi"', 1000000, None, 42])
    for row in range(2, 6):
        lst.cell(row, 4).number_format = "DD.MM.YYYY"
        lst.cell(row, 5).number_format = "0.00"

    notes = wb.create_sheet("Notizen")
    notes["A1"] = "nur Notiz"
    wb.active = 2
    wb.save(path)


def picture_png():
    image = PilImage.new("RGB", (40, 30), (200, 30, 30))
    data = io.BytesIO()
    image.save(data, format="PNG")
    data.seek(0)
    return data


def rich(path):
    wb = openpyxl.Workbook()
    first = wb.active
    first.title = "Erste"
    first["A1"] = "Text"
    first["B1"] = 17
    first["C1"] = 3.25
    first["D1"] = datetime.datetime(2026, 5, 1)
    first["D1"].number_format = "DD.MM.YYYY"
    first["E1"] = True

    first["A2"] = "bold"
    first["A2"].font = Font(name="Arial", size=11, bold=True)
    first["B2"] = "italic 14"
    first["B2"].font = Font(name="Arial", italic=True, size=14)
    first["C2"] = "red underline"
    first["C2"].font = Font(name="Arial", size=11, color="FFFF0000", underline="single")
    first["D2"] = "strike"
    first["D2"].font = Font(name="Times New Roman", size=11, strike=True)

    first["A3"] = "center"
    first["A3"].alignment = Alignment(horizontal="center")
    first["B3"] = "right top"
    first["B3"].alignment = Alignment(horizontal="right", vertical="top")
    first["C3"] = "wrapped text here"
    first["C3"].alignment = Alignment(wrap_text=True)
    first["D3"] = "left bottom"
    first["D3"].alignment = Alignment(horizontal="left", vertical="bottom")

    thin = Side(style="thin")
    first["A4"] = "thin box"
    first["A4"].border = Border(left=thin, right=thin, top=thin, bottom=thin)
    first["B4"] = "thick bottom"
    first["B4"].border = Border(bottom=Side(style="thick"))
    first["C4"] = "dashed left"
    first["C4"].border = Border(left=Side(style="dashed"))
    first["D4"] = "double top"
    first["D4"].border = Border(top=Side(style="double"))

    first["A6"] = "merged"
    first.merge_cells("A6:C7")
    first["E6"] = "merged 2"
    first.merge_cells("E6:E9")

    first.add_image(Image(picture_png()), "G2")

    second = wb.create_sheet("Zweite")
    second["A1"] = "zwei"
    second.add_image(Image(picture_png()), "B3")
    third = wb.create_sheet("Dritte")
    third["A1"] = "drei"
    wb.save(path)


def to_xls(xlsx, xls):
    with tempfile.TemporaryDirectory() as work:
        profile = "file://" + os.path.join(work, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--norestore",
                        "--convert-to", "xls:MS Excel 97", "--outdir", work, xlsx],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        produced = os.path.join(work, os.path.splitext(os.path.basename(xlsx))[0] + ".xls")
        shutil.copyfile(produced, xls)


def main():
    three_sheets(os.path.join(HERE, "three_sheets.xlsx"))
    to_xls(os.path.join(HERE, "three_sheets.xlsx"), os.path.join(HERE, "three_sheets.xls"))
    rich(os.path.join(HERE, "rich.xlsx"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
