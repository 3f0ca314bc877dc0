#!/usr/bin/python3
"""Conformance-test workbooks by openpyxl: make DIR | cells FILE SHEET REF... | package FILE"""
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


def cells(path, sheet, *refs):
    ws = openpyxl.load_workbook(path)[sheet]
    for ref in refs:
        print(ws[ref].value)


def package(path):
    with zipfile.ZipFile(path) as z:
        types = z.read("[Content_Types].xml").decode()
        rels = z.read("xl/_rels/workbook.xml.rels").decode()
        main = "macros" if "macroEnabled.main+xml" in types else "plain"
        print(main, "xl/vbaProject.bin" in z.namelist(), "vbaProject" in rels)
    print(",".join(openpyxl.load_workbook(path).sheetnames))


if __name__ == "__main__":
    {"make": make, "cells": cells, "package": package}[sys.argv[1]](*sys.argv[2:])
