#!/usr/bin/python3
# Writes the corpus files authored with LibreOffice Calc (needs python3-uno):
# libreoffice-rich.xlsx and .xls (values, formulas, rich text, a note, merged cells, a
# hyperlink, conditional formatting, data validation, an autofilter database range, charts,
# a picture, a pivot table) and libreoffice-volatile.xlsx (NOW/TODAY, a chart).
# Usage: /usr/bin/python3 make_libreoffice_files.py OUTDIR
# Starts its own headless soffice with a private profile.
import os, subprocess, sys, tempfile, time
import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.table import CellRangeAddress, CellAddress
from com.sun.star.awt import Rectangle, Size, Point

PARTS = CellRangeAddress(Sheet=0, StartColumn=0, StartRow=2, EndColumn=5, EndRow=8)  # the parts list with its header



def prop(name, value):
    return PropertyValue(Name=name, Value=value)


def connect(profile):
    pipe = "kbxcorpus%d" % os.getpid()
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "-env:UserInstallation=file://"
                             + profile, "--accept=pipe,name=%s;urp;" % pipe])
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(120):  # soffice takes a few seconds to accept connections
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return proc, ctx, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.5)
    raise SystemExit("soffice did not answer")


def fill_parts(doc, sheet):
    sheet.getCellRangeByName("A3:F3").setDataArray((("Pos", "Part", "Material", "Qty", "Unit price", "Total"),))
    sheet.getCellRangeByName("A4:E9").setDataArray(
        ((1, "Base plate", "S235", 1, 42.5), (2, "Bracket", "AlMg3", 4, 7.25), (3, "Bolt M8x20", "8.8", 16, 0.18),
         (4, "Washer 8", "St", 16, 0.03), (5, "Cover", "PA6", 2, 3.9), (6, "Gasket", "NBR", 2, 1.1)))
    sheet.getCellRangeByName("F4:F9").setFormulaArray(tuple(("=D%d*E%d" % (r, r),) for r in range(4, 10)))
    sheet.getCellByPosition(4, 9).setString("Sum")
    sheet.getCellByPosition(5, 9).setFormula("=SUM(F4:F9)")
    sheet.getCellRangeByName("A1:F1").merge(True)
    title = sheet.getCellByPosition(0, 0)
    title.setString("Assembly 4711 (draft)")
    bold = title.createTextCursor()
    bold.gotoStart(False)
    bold.goRight(13, True)
    bold.CharWeight = 150.0
    link = sheet.getCellByPosition(7, 2)
    field = doc.createInstance("com.sun.star.text.TextField.URL")
    field.URL, field.Representation = "https://www.debian.org/", "Debian"
    link.insertTextContent(link.createTextCursor(), field, False)
    sheet.getAnnotations().insertNew(CellAddress(Sheet=0, Column=1, Row=4), "Bought in, see supplier list")
    qty = sheet.getCellRangeByName("D4:D9")
    cf = qty.ConditionalFormat
    cf.addNew((prop("Operator", uno.Enum("com.sun.star.sheet.ConditionOperator", "GREATER")), prop("Formula1", "10"),
               prop("StyleName", "Accent")))
    qty.ConditionalFormat = cf
    val = qty.Validation
    val.Type = uno.Enum("com.sun.star.sheet.ValidationType", "WHOLE")
    val.setOperator(uno.Enum("com.sun.star.sheet.ConditionOperator", "BETWEEN"))
    val.setFormula1("0")
    val.setFormula2("1000")
    val.ShowErrorMessage, val.ErrorMessage = True, "Whole numbers 0 to 1000"
    qty.Validation = val
    sheet.getCellByPosition(0, 11).setString("Released")
    sheet.getCellByPosition(1, 11).setValue(45292)
    sheet.getCellByPosition(1, 11).NumberFormat = 37
    doc.DatabaseRanges.addNewByName("PartsList", PARTS)
    doc.DatabaseRanges.getByName("PartsList").AutoFilter = True


def add_chart(sheet, name, cells, x, y, rowheaders=False):
    rect = Rectangle(X=x, Y=y, Width=12000, Height=7000)
    sheet.getCharts().addNewByName(name, rect, (sheet.getCellRangeByName(cells).getRangeAddress(),), not rowheaders,
                                   rowheaders)


def add_pivot(target):
    desc = target.getDataPilotTables().createDataPilotDescriptor()
    desc.setSourceRange(PARTS)
    fields = desc.getDataPilotFields()
    fields.getByIndex(2).Orientation = uno.Enum("com.sun.star.sheet.DataPilotFieldOrientation", "ROW")
    fields.getByIndex(3).Orientation = uno.Enum("com.sun.star.sheet.DataPilotFieldOrientation", "DATA")
    fields.getByIndex(3).Function = uno.Enum("com.sun.star.sheet.GeneralFunction", "SUM")
    target.getDataPilotTables().insertNewByName("QtyByMaterial", CellAddress(Sheet=1, Column=0, Row=0), desc)


def new_book(desktop, out, names, build, saves):
    doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
    doc.Sheets.getByIndex(0).Name = names[0]
    for i, name in enumerate(names[1:], 1):
        doc.Sheets.insertNewByName(name, i)
    build(doc, [doc.Sheets.getByIndex(i) for i in range(len(names))])
    for name, filt in saves:
        doc.storeToURL(uno.systemPathToFileUrl(os.path.join(out, name)), (prop("FilterName", filt),))
    doc.close(True)


def rich(ctx, picture):
    def build(doc, sheets):
        parts, pivot, data = sheets
        fill_parts(doc, parts)
        provider = ctx.ServiceManager.createInstanceWithContext("com.sun.star.graphic.GraphicProvider", ctx)
        shape = doc.createInstance("com.sun.star.drawing.GraphicObjectShape")
        shape.Graphic = provider.queryGraphic((prop("URL", uno.systemPathToFileUrl(picture)),))
        parts.DrawPage.add(shape)
        shape.setSize(Size(Width=3000, Height=1200))
        shape.setPosition(Point(X=16000, Y=9000))
        add_chart(parts, "Quantities", "D3:D9", 1000, 16000)
        add_chart(parts, "Totals", "F3:F9", 14000, 16000)
        add_pivot(pivot)
        data.getCellRangeByName("A1:B12").setFormulaArray(tuple((str(r), "=A%d*A%d" % (r, r)) for r in range(1, 13)))
        add_chart(data, "Squares", "A1:B12", 4000, 1000, True)
    return build


def volatile(doc, sheets):
    sheets[0].getCellRangeByName("A1:B40").setDataArray(tuple(("Zeile %d äöü" % r, r * 1.5) for r in range(1, 41)))
    sheets[0].getCellByPosition(2, 0).setFormula("=NOW()")
    sheets[0].getCellByPosition(2, 1).setFormula("=TODAY()-DATE(2024;1;1)")
    add_chart(sheets[0], "Verlauf", "B1:B40", 8000, 1000)


def main():
    out, xlsx = os.path.abspath(sys.argv[1]), "Calc MS Excel 2007 XML"
    picture = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.png")
    with tempfile.TemporaryDirectory() as profile:
        proc, ctx, desktop = connect(profile)
        try:
            new_book(desktop, out, ["Parts", "Pivot", "Chart data"], rich(ctx, picture),
                     [("libreoffice-rich.xlsx", xlsx), ("libreoffice-rich.xls", "MS Excel 97")])
            new_book(desktop, out, ["Übersicht", "Leer"], volatile, [("libreoffice-volatile.xlsx", xlsx)])
        finally:
            desktop.terminate()
            proc.wait(timeout=60)


if __name__ == "__main__":
    main()
