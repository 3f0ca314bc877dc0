#!/usr/bin/python3
"""Makes the engine's test templates with openpyxl (an independent writer).

Run with /usr/bin/python3 (it has openpyxl and Pillow):
    /usr/bin/python3 make_templates.py [basic|fidelity|odd_cells|formulas ...]
Writes basic.xlsx, fidelity.xlsx, odd_cells.xlsx and formulas.xlsx (or the
named ones) next to this script.
"""
import datetime
import io
import os
import zipfile

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.drawing.image import Image
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.worksheet.datavalidation import DataValidation
from PIL import Image as PilImage

HERE = os.path.dirname(os.path.abspath(__file__))


def make_basic():
    wb = Workbook()
    ws = wb.active
    ws.title = "Data"
    ws["A1"] = "$head:drawno"
    ws["B1"] = "Title"
    ws["A2"] = 42
    ws["B2"] = 3.25
    ws["C2"] = True
    ws["D2"] = datetime.datetime(2024, 3, 15)
    ws["D2"].number_format = "yyyy-mm-dd"
    ws["E2"] = 1234.5
    ws["E2"].number_format = "#,##0.00"
    ws["F2"] = 0.125
    ws["F2"].number_format = "0.0%"
    ws["G2"] = "00123"
    ws["A3"] = "$pos:qty"
    ws["A3"].font = Font(name="Arial", bold=True, italic=True, size=12, color="FFFF0000", underline="double")
    ws["A3"].alignment = Alignment(horizontal="center", vertical="top")
    ws["B3"] = "=A2*2"
    ws.column_dimensions["B"].width = 20
    ws.row_dimensions[3].height = 30
    second = wb.create_sheet("Second")
    second["A1"] = "other sheet"
    wb.save(os.path.join(HERE, "basic.xlsx"))


def png_bytes():
    img = PilImage.new("RGB", (40, 20), (200, 30, 30))
    buf = io.BytesIO()
    img.save(buf, format="PNG")
    buf.seek(0)
    return buf


def make_fidelity():
    wb = Workbook()
    ws = wb.active
    ws.title = "BOM"
    ws["A1"] = "$head:title"
    ws.merge_cells("A1:D1")
    thin = Side(style="thin", color="FF000000")
    ws["A3"] = "$pos:pos"
    ws["B3"] = "$pos:name"
    for col in "ABCD":
        ws[col + "3"].border = Border(left=thin, right=thin, top=thin, bottom=thin)
        ws[col + "3"].fill = PatternFill("solid", fgColor="FFFFFF00")
    ws.conditional_formatting.add("A3:A50", CellIsRule(operator="greaterThan", formula=["10"],
                                                        fill=PatternFill("solid", bgColor="FFFFC7CE")))
    dv = DataValidation(type="whole", operator="between", formula1="0", formula2="100")
    ws.add_data_validation(dv)
    dv.add("C3:C50")
    ws.print_area = "A1:D40"
    ws["D2"] = "note"
    ws["D2"].comment = Comment("keep me", "tester")
    for r in range(5, 8):
        ws.cell(row=r, column=6, value=r)
    chart = BarChart()
    chart.add_data(Reference(ws, min_col=6, min_row=5, max_row=7))
    ws.add_chart(chart, "H2")
    ws.add_image(Image(png_bytes()), "F10")
    wb.save(os.path.join(HERE, "fidelity.xlsx"))


def make_odd_cells():
    """A sheet written by hand: inline and rich strings, errors, a cached
    formula string and a shared-string with runs, as other writers produce."""
    wb = Workbook()
    wb.active.title = "Odd"
    wb.active["A1"] = "placeholder"
    path = os.path.join(HERE, "odd_cells.xlsx")
    wb.save(path)
    sheet = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
             '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
             '<sheetData>'
             '<row r="1"><c r="A1" t="inlineStr"><is><t>inline text</t></is></c>'
             '<c r="B1" t="inlineStr"><is><r><rPr><b/></rPr><t>rich </t></r><r><t>inline</t></r></is></c>'
             '<c r="C1" t="s"><v>0</v></c><c r="D1" t="e"><v>#N/A</v></c></row>'
             '<row r="2"><c r="A2" t="str"><f>"a"&amp;"b"</f><v>ab</v></c><c r="B2"><f>1+1</f><v>2</v></c>'
             '<c r="C2" t="b"><v>1</v></c><c r="D2" t="s"><v>1</v></c></row>'
             '</sheetData></worksheet>')
    strings = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
               '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">'
               '<si><r><rPr><i/></rPr><t>shared </t></r><r><t>rich</t></r></si>'
               '<si><t>plain shared</t></si></sst>')
    rels_part = "xl/_rels/workbook.xml.rels"
    with zipfile.ZipFile(path) as src:
        items = [(i, src.read(i.filename)) for i in src.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        has_sst = any(i.filename == "xl/sharedStrings.xml" for i, _ in items)
        for info, data in items:
            if info.filename == "xl/worksheets/sheet1.xml":
                data = sheet.encode()
            elif info.filename == "xl/sharedStrings.xml":
                data = strings.encode()
            elif info.filename == rels_part and not has_sst:
                data = data.replace(b"</Relationships>",
                                    b'<Relationship Id="rIdSst" Type="http://schemas.openxmlformats.org/'
                                    b'officeDocument/2006/relationships/sharedStrings" '
                                    b'Target="sharedStrings.xml"/></Relationships>')
            elif info.filename == "[Content_Types].xml" and not has_sst:
                data = data.replace(b"</Types>",
                                    b'<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
                                    b'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
            out.writestr(info, data)
        if not has_sst:
            out.writestr("xl/sharedStrings.xml", strings)


def make_formulas():
    """Shared formulas and a calculation chain, as spreadsheet programs write them."""
    wb = Workbook()
    ws = wb.active
    ws.title = "Calc"
    for r in range(1, 4):
        ws.cell(row=r, column=1, value=r)
    path = os.path.join(HERE, "formulas.xlsx")
    wb.save(path)
    sheet = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
             '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
             '<row r="1"><c r="A1"><v>1</v></c><c r="B1"><f t="shared" ref="B1:B3" si="0">A1*2</f><v>2</v></c>'
             '<c r="C1"><f>SUM(A1:A3)</f><v>6</v></c></row>'
             '<row r="2"><c r="A2"><v>2</v></c><c r="B2"><f t="shared" si="0"/><v>4</v></c></row>'
             '<row r="3"><c r="A3"><v>3</v></c><c r="B3"><f t="shared" si="0"/><v>6</v></c></row>'
             '</sheetData></worksheet>')
    chain = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
             '<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
             '<c r="B1" i="1"/><c r="B2"/><c r="B3"/><c r="C1"/></calcChain>')
    with zipfile.ZipFile(path) as src:
        items = [(i, src.read(i.filename)) for i in src.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for info, data in items:
            if info.filename == "xl/worksheets/sheet1.xml":
                data = sheet.encode()
            elif info.filename == "xl/_rels/workbook.xml.rels":
                data = data.replace(b"</Relationships>",
                                    b'<Relationship Id="rIdChain" Type="http://schemas.openxmlformats.org/'
                                    b'officeDocument/2006/relationships/calcChain" Target="calcChain.xml"/>'
                                    b'</Relationships>')
            elif info.filename == "[Content_Types].xml":
                data = data.replace(b"</Types>",
                                    b'<Override PartName="/xl/calcChain.xml" ContentType="application/'
                                    b'vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/></Types>')
            out.writestr(info, data)
        out.writestr("xl/calcChain.xml", chain)


MAKERS = {"basic": make_basic, "fidelity": make_fidelity, "odd_cells": make_odd_cells, "formulas": make_formulas}

if __name__ == "__main__":
    import sys
    for name in sys.argv[1:] or MAKERS:
        MAKERS[name]()
