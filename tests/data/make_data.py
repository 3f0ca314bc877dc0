#!/usr/bin/python3
# Makes every test input in this directory with independent tools: pictures with
# Pillow, workbooks with openpyxl (two patched by hand the way other writers store
# cells), and the 97-2003 copy with LibreOffice Calc.
# Run: /usr/bin/python3 make_data.py   (in this directory; needs openpyxl, Pillow, soffice)
import datetime, io, os, re, shutil, subprocess, tempfile, zipfile

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.drawing.image import Image
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.worksheet.table import Table
from PIL import Image as Picture

HERE = os.path.dirname(os.path.abspath(__file__))
BOX = Border(*[Side(style="thin")] * 4)
BOLD, ITALIC = Font(bold=True), Font(italic=True)
ATTRIBUTE = {Font: "font", Alignment: "alignment", Border: "border", PatternFill: "fill", Comment: "comment"}


def path(name):
    return os.path.join(HERE, name)


def put(ws, cells):
    # Cells as {"A1": value or (value, style, ...)}; a style is a Font, Alignment, Border, fill or comment.
    for ref, spec in cells.items():
        value, *styles = spec if isinstance(spec, tuple) else (spec,)
        ws[ref] = value
        for style in styles:
            setattr(ws[ref], ATTRIBUTE[type(style)], style)


def book(sheets, active=0):
    wb = Workbook()
    for index, (title, cells) in enumerate(sheets.items()):
        ws = wb.active if index == 0 else wb.create_sheet(title)
        ws.title = title
        put(ws, cells)
    wb.active = active
    return wb


def pictures():
    solid = Picture.new
    solid("RGB", (200, 100), (200, 30, 30)).save(path("red_200x100pt_72dpi.png"), dpi=(72, 72))
    solid("RGB", (120, 80), (30, 160, 30)).save(path("green_120x80px_nodpi.png"))  # 96 dpi: 90 x 60 points
    solid("RGB", (300, 150), (30, 30, 200)).save(path("blue_300x150px_150dpi.jpg"), dpi=(150, 150))
    solid("RGB", (64, 32), (250, 200, 0)).convert("P").save(path("yellow_64x32px.gif"))
    solid("RGB", (40, 20), (0, 200, 200)).save(path("cyan_40x20px_96dpi.bmp"), dpi=(96, 96))
    open(path("not_a_picture.png"), "w").write("This is a text file with a picture's name.\n")
    open(path("truncated.png"), "wb").write(open(path("red_200x100pt_72dpi.png"), "rb").read(20))


def basic():
    wb = book({"Data": {"A1": "$head:drawno", "B1": "Title", "A2": 42, "B2": 3.25, "C2": True,
                        "D2": datetime.datetime(2024, 3, 15), "E2": 1234.5, "F2": 0.125, "G2": "00123",
                        "A3": ("$pos:qty", Font(name="Arial", bold=True, italic=True, size=12, color="FFFF0000",
                                                underline="double"), Alignment(horizontal="center", vertical="top")),
                        "B3": "=A2*2"},
               "Second": {"A1": "other sheet"}})
    ws = wb["Data"]
    for ref, code in (("D2", "yyyy-mm-dd"), ("E2", "#,##0.00"), ("F2", "0.0%")):
        ws[ref].number_format = code
    ws.column_dimensions["B"].width = 20
    ws.row_dimensions[3].height = 30
    second = wb["Second"]  # one width for the columns B to E; a bold row 5
    second.column_dimensions["B"].width, second.column_dimensions["B"].min, second.column_dimensions["B"].max = 20, 2, 5
    second.row_dimensions[5].font = Font(bold=True)
    wb.save(path("basic.xlsx"))


def odd_cells():
    # Cells as other writers store them (inline and rich strings, an error, cached
    # formula results) and shared formulas with a calculation chain; a workbook
    # part without workbookPr and bookViews, as minimal writers leave it.
    book({"Odd": {"A1": "placeholder"}, "More": {}}).save(path("odd_cells.xlsx"))
    main = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    ctype = "application/vnd.openxmlformats-officedocument.spreadsheetml."
    replaced = {
        "xl/worksheets/sheet1.xml": '<worksheet %s><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>inline '
        'text</t></is></c><c r="B1" t="inlineStr"><is><r><rPr><b/></rPr><t>rich </t></r><r><t>inline</t></r></is>'
        '</c><c r="C1" t="s"><v>0</v></c><c r="D1" t="e"><v>#N/A</v></c></row><row r="2"><c r="A2" t="str"><f>"a"'
        '&amp;"b"</f><v>ab</v></c><c r="B2"><f>1+1</f><v>2</v></c><c r="C2" t="b"><v>1</v></c><c r="D2" t="s"><v>1'
        '</v></c></row>' % main + "".join(
            '<row r="%d"><c r="A%d"><v>%d</v></c><c r="B%d"><f%s</f><v>%d</v></c>%s</row>' % (
                r, r, r - 3, r, ' t="shared" ref="B4:B6" si="0">A4*2' if r == 4 else ' t="shared" si="0">', 2 * r - 6,
                '<c r="C4"><f>SUM(A4:A6)</f><v>6</v></c>' if r == 4 else "") for r in (4, 5, 6))
        + "</sheetData></worksheet>",
        "xl/sharedStrings.xml": '<sst %s><si><r><rPr><i/></rPr><t>shared </t></r><r><t>rich</t></r></si><si><t>plain '
        'shared</t></si></sst>' % main,
        "xl/calcChain.xml": '<calcChain %s><c r="B4" i="1"/><c r="B5"/><c r="B6"/><c r="C4"/></calcChain>' % main,
    }
    with zipfile.ZipFile(path("odd_cells.xlsx")) as src:
        items = {i.filename: src.read(i.filename) for i in src.infolist()}
    for part in ("calcChain", "sharedStrings"):  # openpyxl wrote neither
        items["xl/_rels/workbook.xml.rels"] = items["xl/_rels/workbook.xml.rels"].replace(b"</Relationships>", (
            '<Relationship Id="rId%s" Type="%s%s" Target="%s.xml"/></Relationships>' % (part, rel, part, part)).encode())
        items["[Content_Types].xml"] = items["[Content_Types].xml"].replace(b"</Types>", (
            '<Override PartName="/xl/%s.xml" ContentType="%s%s+xml"/></Types>' % (part, ctype, part)).encode())
    items.update((name, text.encode()) for name, text in replaced.items())
    items["xl/workbook.xml"] = re.sub(rb"<workbookPr/>|<bookViews>.*</bookViews>", b"", items["xl/workbook.xml"])
    with zipfile.ZipFile(path("odd_cells.xlsx"), "w", zipfile.ZIP_DEFLATED) as out:
        for name, data in items.items():
            out.writestr(name, data)


def features():
    # Cover with formulas naming Parts; Parts with a comment, a table, an image, a chart, a merged range, a fill,
    # conditional formats, a validation, print area and titles; Notes (active) with a
    # comment, a table and a print area but no drawing; a workbook-wide name.
    wb = book({"Cover": {"A1": "Cover page", "A2": "=SUM(Parts!B6:B8)", "A3": '=Parts!A6&" Parts!A1"'},
               "Parts": {"A1": ("Parts list", Comment("Checked by QA", "Tester")), "A5": "Part", "B5": "Quantity",
                         "C5": "Material", "A6": "Bolt", "B6": 4, "C6": "Steel", "A7": "Nut", "B7": 4, "C7": "Steel",
                         "A8": "Washer", "B8": 8, "C8": "Brass", "A3": ("$pos:pos", BOX, PatternFill("solid", "FFFFFF00"))},
               "Notes": {"A1": ("Notes", Comment("Keep me", "Tester")), "A2": "Name", "B2": "Value", "A3": "a", "B3": 1}},
              active=2)
    parts, notes = wb["Parts"], wb["Notes"]
    parts.merge_cells("A2:D2")
    parts.add_table(Table(displayName="PartsTable", ref="A5:C8"))
    parts.add_image(Image(path("green_120x80px_nodpi.png")), "E3")
    chart = BarChart()
    chart.add_data(Reference(parts, min_col=2, min_row=6, max_row=8))
    parts.add_chart(chart, "H12")
    parts.conditional_formatting.add("B6:B50", CellIsRule(operator="greaterThan", formula=["10"],
                                                          fill=PatternFill("solid", bgColor="FFFFC7CE")))
    validation = DataValidation(type="whole", operator="between", formula1="0", formula2="100")
    parts.add_data_validation(validation)
    validation.add("B6:B50")
    parts.print_area, parts.print_title_rows, notes.print_area = "A1:F20", "1:2", "A1:B5"
    notes.add_table(Table(displayName="Values", ref="A2:B3"))
    wb.defined_names.append(DefinedName("PartCount", attr_text="Parts!$B$6:$B$8"))
    wb.defined_names.append(DefinedName("FirstPart", attr_text='" Parts!A6: "&parts!$A$6'))
    wb.save(path("features.xlsx"))


def three_sheets():
    # Three sheets, numbers, dates, a tab and quotes in the middle one, the last active; and its .xls copy.
    wb = book({"Kopf": {"A1": "Zeichnung", "B1": "ZN-4711"}, "Liste": {}, "Notizen": {"A1": "nur Notiz"}}, active=2)
    ws = wb["Liste"]
    for row in (["Pos", "Benennung", "Menge", "Datum", "Preis"],
                [1, "Schraube M6", 12, datetime.datetime(2026, 3, 14), 2.5],
                [2, "Tab\there", 3.75, datetime.datetime(2026, 12, 24), 1234.5],
                [3, 'Mutter 3/4"', -7, datetime.datetime(2027, 1, 2), 0.125], [4, 'say "hi"', 1000000, None, 42]):
        ws.append(row)
    for row in range(2, 6):
        ws.cell(row, 4).number_format, ws.cell(row, 5).number_format = "DD.MM.YYYY", "0.00"
    wb.save(path("three_sheets.xlsx"))
    with tempfile.TemporaryDirectory() as work:
        subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/p", "--headless", "--norestore",
                        "--convert-to", "xls:MS Excel 97", "--outdir", work, path("three_sheets.xlsx")], check=True)
        shutil.copyfile(os.path.join(work, "three_sheets.xls"), path("three_sheets.xls"))


def plain():
    # The plain list: header rows 1-2, captions row 4, the position row 5 (a picture
    # field twice), boxed rows below and page totals in row 30; the active sheet BOM,
    # a second sheet Other.
    fields = ["posnr", "Name", "verw1", "verw2", "count", "warn", "bmp", "bmp"]
    bom = {"A1": "Title:", "B1": "$head:title", "A2": "Drawing:", "B2": "$HEAD:DrawNo", "I5": "$head:drawno"}
    for column, field in zip("ABCDEFGH", fields):
        bom[column + "4"] = (field, BOLD)
        bom[column + "5"] = ("$POS:" + field if field == "Name" else "$pos:" + field, BOX,
                             *{"A": [Alignment(horizontal="center")], "B": [Font(bold=True, color="FFC00000")]}.get(column, []))
        bom.update((column + str(row), (None, BOX)) for row in range(6, 30))
    bom.update({"A30": "=COUNT(A5:A29)", "E30": "=SUM(E5:E29)"})
    book({"Cover": {"A1": "Cover sheet"}, "BOM": bom, "Other": dict(bom)}, active=1).save(path("plain.xlsx"))


def fill():
    # The placeholder fill: Cover; Parts (position row 6 below an upper one, placeholders on
    # the last row and column of the scanned rectangle and past it, a merged title, an image,
    # a print area, totals in row 2); Reverse; Groups.
    red = Font(name="Arial", bold=True, size=12, color="FFFF0000")
    wb = book({"Cover": {"A1": "$head:title"},
               "Parts": {"A1": ("$head:drawno", BOX), "B1": "$head:title", "D1": "$Head:Weight", "E1": "$head:owner",
                         "AX1": "$head:drawno", "AY1": "$head:drawno", "A57": "$head:title", "A58": "$head:title",
                         "A3": "$pos:posnr", "A5": ("Pos", BOLD), "B5": ("Name", BOLD),
                         "A6": ("$pos:posnr", red, Alignment(horizontal="center", vertical="top"), BOX),
                         "B6": ("$POS:Name", ITALIC, Alignment(horizontal="left"), BOX),
                         "C6": ("$pos:qty", Alignment(horizontal="right"), BOX), "D6": ("keep", BOX),
                         "D8": "untouched", "A60": "$pos:posnr",
                         # Totals over the position block and the header, computed on every save.
                         "A2": "=COUNT(A5:A1000)", "B2": "=SUM(C5:C1000)", "C2": '=IF(B2>100,"big","small")',
                         "D2": "=ROUND(AVERAGE(C5:C1000)/3,2)", "E2": '=A1&" ("&A2&")"',
                         "F2": '=SUMIF(B5:B1000,"Bolt",C5:C1000)', "G2": '=COUNTIF(B5:B1000,"W*")'},
               "Reverse": {"A1": "$head:title", "A2": ("Header 2", BOLD),
                           "A4": ("$pos:n", ITALIC, Alignment(horizontal="right")), "B4": "$pos:m",
                           "C1": ("beside", Font(bold=True, size=14), Alignment(horizontal="right", vertical="center"))},
               "Groups": {"A2": "$pos:f0", "B2": "$pos:f1", "C2": "$pos:f2"}})
    wb["Parts"].merge_cells("B1:C1")
    wb["Parts"].add_image(Image(path("green_120x80px_nodpi.png")), "G1")
    wb["Parts"].print_area = "A1:E20"
    wb.save(path("fill.xlsx"))


def summary():
    book({"Layout": {"A1": ("$head:posnr", BOLD), "B1": ("$head:qty", BOLD), "C1": ("$head:bmp", BOLD),
                     "A2": ("$pos:posnr", ITALIC), "B2": "$pos:QTY", "C2": "$pos:bmp", "D2": "$pos:unknown",
                     "BA2": "$pos:qty", "BB2": "$pos:posnr", "E6": "note", "E1": "=SUM(B:B)"}}).save(path("summary.xlsx"))


def calc():
    # Formulas as files store them, for the engine's calculation: on Calc a shared
    # formula and array formulas with stale results, defined names of workbook and
    # sheet scope, an error value, a function no program knows and a reference
    # cycle, each with the result a program stored; on Other cells reading Calc;
    # on List totals under a list, formatted for the text export.
    # calc_iterate.xlsx turns iteration on.
    wb = book({"Calc": {"A1": 2}, "Other": {"A1": "=Local", "A2": "=SUM(Calc!B1:B3)"},
               "List": {"A1": "Pos", "B1": "Name", "C1": "Qty", "A13": "Positions", "B13": "=COUNT(A2:A11)",
                        "C13": "=SUM(C2:C11)", "D13": '=IF(C13>100,"big","small")', "E13": "=AVERAGE(C2:C11)/3",
                        "F13": "=C13>50", "G13": "=1/0", "H13": "=DATE(2024,2,28)+1"}})
    for row in range(2, 12):
        put(wb["List"], {"A%d" % row: row - 1, "B%d" % row: ["Bolt", "Nut", "Washer"][(row - 2) % 3], "C%d" % row: row - 1})
    for ref, code in (("C13", "0.0"), ("E13", "0.00"), ("H13", "dd.mm.yyyy")):
        wb["List"][ref].number_format = code
    wb.defined_names.append(DefinedName("Rate", attr_text="0.5"))
    wb.defined_names.append(DefinedName("Local", attr_text="Calc!$A$1"))
    wb.defined_names.append(DefinedName("Local", localSheetId=0, attr_text="Calc!$A$3"))
    wb.save(path("calc.xlsx"))
    cells = [("A1", None, "2"), ("A2", None, "3"), ("A3", None, "5"),
             ("B1", '<f t="shared" ref="B1:B3" si="0">A1*10</f>', "1"), ("B2", '<f t="shared" si="0"/>', "1"),
             ("B3", '<f t="shared" si="0"/>', "1"), ("C1", '<f t="array" ref="C1">SUM(A1:A3*A1:A3)</f>', "0"),
             ("C2", '<f t="array" ref="C2:C4">A1:A3*2</f>', "0"), ("C3", None, "0"), ("C4", None, "0"),
             ("D1", "<f>Rate*A1</f>", "0"), ("D2", "<f>Local+1</f>", "0"), ("E1", "<f>FOO(1)</f>", "42"),
             ("E2", "<f>E1+1</f>", "43"), ("E3", "<f>A1+1</f>", "0"), ("F1", "<f>F2+1</f>", "7"),
             ("F2", "<f>F1/2</f>", "3"), ("G1", "<f>RAND()</f>", "5"), ("A5", None, "#N/A"),
             ("D3", "<f>ISNA(A5)</f>", "0"), ("H1", '<f t="array" ref="H1:I2">A1:A2*{1,2}</f>', "0"),
             ("I1", None, "0"), ("H2", None, "0"), ("I2", None, "0")]
    rows = {}
    for ref, formula, value in cells:  # a value starting with # is an error
        rows.setdefault(int(ref[1:]), []).append((ref[0], '<c r="%s"%s>%s<v>%s</v></c>' % (
            ref, ' t="e"' if value.startswith("#") else "", formula or "", value)))
    data = "<sheetData>" + "".join('<row r="%d">%s</row>' % (r, "".join(xml for _, xml in sorted(c)))
                                   for r, c in sorted(rows.items())) + "</sheetData>"
    with zipfile.ZipFile(path("calc.xlsx")) as src:
        items = {i.filename: src.read(i.filename) for i in src.infolist()}
    items["xl/worksheets/sheet1.xml"] = re.sub(rb"<sheetData>.*</sheetData>|<sheetData/>", data.encode(),
                                               items["xl/worksheets/sheet1.xml"], flags=re.S)
    for name, calc_pr in (("calc.xlsx", b'<calcPr calcId="191029"/>'),
                          ("calc_iterate.xlsx", b'<calcPr calcId="191029" iterate="1" iterateCount="100" iterateDelta="0.0001"/>')):
        items["xl/workbook.xml"] = re.sub(rb"<calcPr[^>]*/>", calc_pr, items["xl/workbook.xml"])
        with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as out:
            for part, content in items.items():
                out.writestr(part, content)


def bad_packages(data, out):
    # One damaged or hostile package per class of bad input, made from basic.xlsx at test
    # time; and features.xlsx with its drawing cut short.
    with zipfile.ZipFile(os.path.join(data, "features.xlsx")) as z:
        parts = {name: z.read(name) for name in z.namelist()}
    parts["xl/drawings/drawing1.xml"] = parts["xl/drawings/drawing1.xml"][:300]
    with zipfile.ZipFile(os.path.join(out, "drawing_cut_short.xlsx"), "w") as z:
        for name, content in parts.items():
            z.writestr(name, content)
    with zipfile.ZipFile(os.path.join(data, "basic.xlsx")) as z:
        base = {name: z.read(name) for name in z.namelist()}
    sheet, rels = "xl/worksheets/sheet1.xml", "xl/_rels/workbook.xml.rels"
    rows = lambda xml: base[sheet].replace(base[sheet][base[sheet].index(b"<sheetData>"):base[sheet].index(
        b"</sheetData>")], b"<sheetData>" + xml.encode())
    cases = {"zip_bomb": {sheet: b"<worksheet/>" + b" " * (40 << 20)}, "duplicate_name": {}, "case_duplicate_name": {},
             "too_many_entries": {"filler/%d.bin" % i: b"" for i in range(20001)},
             "target_outside": {rels: base[rels].replace(b'Target="styles.xml"', b'Target="../../../etc/passwd"')},
             "dtd": {sheet: b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY a "aaaa">]>' + base[sheet]},
             "dtd_at_end": {sheet: base[sheet] + b"<!x>"},
             "invalid_utf8": {sheet: rows('<row r="1"><c r="A1" t="inlineStr"><is><t>@</t></is></c></row>').replace(
                 b"@", b"\xff\xfe")},
             "column_beyond_sheet": {sheet: rows('<row r="1"><c r="XFE1"><v>1</v></c></row>')},
             "row_beyond_sheet": {sheet: rows('<row r="1048577"><c r="A1048577"><v>1</v></c></row>')},
             "style_out_of_range": {sheet: rows('<row r="1"><c r="A1" s="999"><v>1</v></c></row>')},
             "string_out_of_range": {sheet: rows('<row r="1"><c r="A1" t="s"><v>99</v></c></row>')},
             "cells_out_of_order": {sheet: rows('<row r="1"><c r="B1"><v>1</v></c><c r="A1"><v>2</v></c></row>')},
             "rows_out_of_order": {sheet: rows('<row r="2"><c r="A2"><v>1</v></c></row><row r="1"><c r="A1"><v>2</v>'
                                               '</c></row>')},
             "malformed_xml": {sheet: b"<worksheet><sheetData><row></worksheet>"}}
    duplicates = {"duplicate_name": sheet, "case_duplicate_name": "XL/Workbook.xml"}
    for name, parts in cases.items():
        with zipfile.ZipFile(os.path.join(out, name + ".xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
            for part, data in dict(base, **parts).items():
                z.writestr(part, data)
            if name in duplicates:
                z.writestr(duplicates[name], base[sheet])
    open(os.path.join(out, "not_a_zip.xlsx"), "wb").write(b"PK\x03\x04 this is not a zip at all")


if __name__ == "__main__":
    import sys, warnings
    warnings.simplefilter("ignore")  # the duplicate zip names are meant
    if sys.argv[1:2] == ["bad-packages"]:
        bad_packages(sys.argv[2], sys.argv[3])
    else:  # every input, or those named: make_data.py fill plain
        for make in (pictures, basic, odd_cells, features, three_sheets, plain, fill, summary, calc):
            if not sys.argv[1:] or make.__name__ in sys.argv[1:]:
                make()
