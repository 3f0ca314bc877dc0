#!/usr/bin/python3
"""The conformance tests' templates, made by openpyxl: workbooks.py DIR"""
import io
import sys
import zipfile

import openpyxl


def make(folder):
    wb = openpyxl.Workbook()
    wb.active.title = "Deckblatt"
    for title in ("Stückliste", "Łożyska"):
        ws = wb.create_sheet(title)
        ws["A1"], ws["A3"], ws["B3"] = "$head:title", "$pos:posnr", "$pos:name"
    wb.save(folder + "/names.xlsx")

    vba = io.BytesIO()  # what openpyxl copies into a macro-enabled workbook
    with zipfile.ZipFile(vba, "w") as z:
        z.writestr("[Content_Types].xml", '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
        z.writestr("_rels/.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>')
        z.writestr("xl/vbaProject.bin", b"VBA project stand-in")
    macros = openpyxl.Workbook()
    macros.vba_archive = zipfile.ZipFile(vba)
    macros.save(folder + "/macros.xlsm")


if __name__ == "__main__":
    make(sys.argv[1])
