#!/usr/bin/python3
"""Writes the corpus files authored with LibreOffice Calc (needs python3-uno).

Usage: /usr/bin/python3 make_libreoffice_files.py OUTDIR
Starts its own headless soffice with a private profile, builds two workbooks
(values, formulas, rich text, a note, merged cells, a hyperlink, conditional
formatting, data validation, a database range with autofilter, a chart, a
picture, a pivot table) and saves them as .xlsx and one of them as .xls."""
import os, subprocess, sys, tempfile, time
import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.table import CellRangeAddress, CellAddress
from com.sun.star.awt import Rectangle, Size, Point


def prop(name, value):
    p = PropertyValue(); p.Name = name; p.Value = value
    return p


def connect(profile):
    pipe = "kbxcorpus%d" % os.getpid()
    proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore",
                             "-env:UserInstallation=file://" + profile,
                             "--accept=pipe,name=%s;urp;" % pipe])
    resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
    for _ in range(120):
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return proc, ctx, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.5)
    raise SystemExit("soffice did not answer")


def fill_parts(doc, sheet):
    rows = [("Pos", "Part", "Material", "Qty", "Unit price", "Total"),
            (1, "Base plate", "S235", 1, 42.5), (2, "Bracket", "AlMg3", 4, 7.25),
            (3, "Bolt M8x20", "8.8", 16, 0.18), (4, "Washer 8", "St", 16, 0.03),
            (5, "Cover", "PA6", 2, 3.9), (6, "Gasket", "NBR", 2, 1.1)]
    for r, row in enumerate(rows):
        for c, v in enumerate(row):
            cell = sheet.getCellByPosition(c, r + 2)
            if isinstance(v, str): cell.setString(v)
            else: cell.setValue(v)
        if r: sheet.getCellByPosition(5, r + 2).setFormula("=D%d*E%d" % (r + 3, r + 3))
    sheet.getCellByPosition(4, 9).setString("Sum")
    sheet.getCellByPosition(5, 9).setFormula("=SUM(F4:F9)")
    title = sheet.getCellRangeByName("A1:F1"); title.merge(True)
    t = sheet.getCellByPosition(0, 0); t.setString("Assembly 4711 ")
    cur = t.createTextCursor(); cur.gotoEnd(False)
    t.insertString(cur, "(draft)", False)
    cur.gotoStart(False); cur.goRight(13, True); cur.setPropertyValue("CharWeight", 150.0)
    link = sheet.getCellByPosition(7, 2)
    field = doc.createInstance("com.sun.star.text.TextField.URL")
    field.URL = "https://www.debian.org/"; field.Representation = "Debian"
    link.insertTextContent(link.createTextCursor(), field, False)
    addr = CellAddress(); addr.Sheet = 0; addr.Column = 1; addr.Row = 4
    sheet.getAnnotations().insertNew(addr, "Bought in, see supplier list")
    cf = sheet.getCellRangeByName("D4:D9").ConditionalFormat
    cf.addNew((prop("Operator", uno.Enum("com.sun.star.sheet.ConditionOperator", "GREATER")),
               prop("Formula1", "10"), prop("StyleName", "Accent")))
    sheet.getCellRangeByName("D4:D9").ConditionalFormat = cf
    rng = sheet.getCellRangeByName("D4:D9"); val = rng.Validation
    val.Type = uno.Enum("com.sun.star.sheet.ValidationType", "WHOLE")
    val.setOperator(uno.Enum("com.sun.star.sheet.ConditionOperator", "BETWEEN"))
    val.setFormula1("0"); val.setFormula2("1000"); val.ShowErrorMessage = True
    val.ErrorMessage = "Whole numbers 0 to 1000"; rng.Validation = val
    sheet.getCellByPosition(0, 11).setString("Released")
    sheet.getCellByPosition(1, 11).setValue(45292); sheet.getCellByPosition(1, 11).NumberFormat = 37


def add_database_range(doc, sheet):
    area = CellRangeAddress(); area.Sheet = 0; area.StartColumn = 0; area.StartRow = 2
    area.EndColumn = 5; area.EndRow = 8
    doc.DatabaseRanges.addNewByName("PartsList", area)
    doc.DatabaseRanges.getByName("PartsList").AutoFilter = True


def add_chart(sheet, name, rangetext, x, y, rowheaders=False):
    area = sheet.getCellRangeByName(rangetext).getRangeAddress()
    rect = Rectangle(); rect.X, rect.Y, rect.Width, rect.Height = x, y, 12000, 7000
    sheet.getCharts().addNewByName(name, rect, (area,), not rowheaders, rowheaders)


def add_picture(ctx, doc, sheet, path):
    provider = ctx.ServiceManager.createInstanceWithContext("com.sun.star.graphic.GraphicProvider", ctx)
    shape = doc.createInstance("com.sun.star.drawing.GraphicObjectShape")
    shape.Graphic = provider.queryGraphic((prop("URL", uno.systemPathToFileUrl(path)),))
    sheet.DrawPage.add(shape)
    s = Size(); s.Width, s.Height = 3000, 1200; shape.setSize(s)
    p = Point(); p.X, p.Y = 16000, 9000; shape.setPosition(p)


def add_pivot(doc, source, target):
    pilots = target.getDataPilotTables()
    desc = pilots.createDataPilotDescriptor()
    area = CellRangeAddress(); area.Sheet = 0; area.StartColumn = 0; area.StartRow = 2
    area.EndColumn = 5; area.EndRow = 8
    desc.setSourceRange(area)
    fields = desc.getDataPilotFields()
    fields.getByIndex(2).Orientation = uno.Enum("com.sun.star.sheet.DataPilotFieldOrientation", "ROW")
    qty = fields.getByIndex(3)
    qty.Orientation = uno.Enum("com.sun.star.sheet.DataPilotFieldOrientation", "DATA")
    qty.Function = uno.Enum("com.sun.star.sheet.GeneralFunction", "SUM")
    dest = CellAddress(); dest.Sheet = 1; dest.Column = 0; dest.Row = 0
    pilots.insertNewByName("QtyByMaterial", dest, desc)


def save(doc, path, filt):
    doc.storeToURL(uno.systemPathToFileUrl(path), (prop("FilterName", filt),))


def main():
    out = os.path.abspath(sys.argv[1])
    picture = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.png")
    with tempfile.TemporaryDirectory() as profile:
        proc, ctx, desktop = connect(profile)
        try:
            doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
            sheets = doc.Sheets
            sheets.getByIndex(0).Name = "Parts"
            sheets.insertNewByName("Pivot", 1); sheets.insertNewByName("Chart data", 2)
            parts = sheets.getByIndex(0)
            fill_parts(doc, parts); add_database_range(doc, parts); add_picture(ctx, doc, parts, picture)
            add_chart(parts, "Quantities", "D3:D9", 1000, 16000)
            add_chart(parts, "Totals", "F3:F9", 14000, 16000)
            add_pivot(doc, parts, sheets.getByIndex(1))
            data = sheets.getByIndex(2)
            for r in range(12):
                data.getCellByPosition(0, r).setValue(r + 1)
                data.getCellByPosition(1, r).setFormula("=A%d*A%d" % (r + 1, r + 1))
            add_chart(data, "Squares", "A1:B12", 4000, 1000, True)
            save(doc, os.path.join(out, "lo_rich.xlsx"), "Calc MS Excel 2007 XML")
            save(doc, os.path.join(out, "lo_rich.xls"), "MS Excel 97")
            doc.close(True)
            doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
            sheet = doc.Sheets.getByIndex(0); sheet.Name = "Übersicht"
            for r in range(40):
                sheet.getCellByPosition(0, r).setString("Zeile %d äöü" % (r + 1))
                sheet.getCellByPosition(1, r).setValue((r + 1) * 1.5)
            sheet.getCellByPosition(2, 0).setFormula("=NOW()")
            sheet.getCellByPosition(2, 1).setFormula("=TODAY()-DATE(2024;1;1)")
            doc.Sheets.insertNewByName("Leer", 1)
            add_chart(sheet, "Verlauf", "B1:B40", 8000, 1000)
            save(doc, os.path.join(out, "lo_volatile.xlsx"), "Calc MS Excel 2007 XML")
            doc.close(True)
        finally:
            try: desktop.terminate()
            except Exception: pass
            proc.wait(timeout=60)


if __name__ == "__main__":
    main()
