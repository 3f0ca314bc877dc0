#!/usr/bin/python3
# The tests' independent reader: prints what openpyxl sees in a file, one
# "key<TAB>value" line per fact. A .xls or .ods workbook is converted by LibreOffice
# (with a private profile) first; a file that is no workbook is read as tab-separated text.
#
# Usage: read_back.py [--computed] FILE [PART ...]
#   --computed: formula cells read as the values stored with them (data_only), not as their formulas
#   sheets, active, name N@SHEET          sheet names in order, the active sheet, defined names
#   value S!A1, type S!A1                 non-empty cells; whole floats as integers, dates in ISO form,
#                                         type "error" for an error value; serial S!A1: a date's number
#   fmt bold italic strike size color font underline vert halign valign border S!A1   when set
#   merged, printarea, titles, images, charts, cf, dv S; comment S!A1; table S!NAME; height S!5;
#   width S!C, colfmt S!C                 sheet features
#   image S#N   kind edit-as cell+x,y at X,Y size WxH (points; a two-cell anchor's size from the grid);
#               imageext S#N: the size the picture's own frame gives
#   part NAME   sha1 of each zip member; xml NAME: the text of each PART asked for
#   links D     the places in the workbook the pictures of drawing D link to, in the drawing's order
#   row N       the fields of a text file's row N, joined by " | "; sha1: any other file's hash
import csv, datetime, hashlib, math, os, re, subprocess, sys, tempfile, zipfile
from xml.etree import ElementTree

import openpyxl
from openpyxl.utils import get_column_letter
from openpyxl.utils.datetime import to_excel


def out(key, value):
    print("%s\t%s" % (key, str(value).replace("\t", "\\t").replace("\n", "\\n")))


def as_xlsx(path, work):
    data = open(path, "rb").read()
    if data.startswith(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"):
        kind = "xls"
    elif b"opendocument.spreadsheet" in data[:100]:
        kind = "ods"
    else:  # openpyxl goes by the name: a package named .txt is read as in.xlsx
        kind = "xlsx" if zipfile.is_zipfile(path) else None
    if kind is None:
        return None
    copy = os.path.join(work, "in." + kind)
    open(copy, "wb").write(data)
    if kind != "xlsx":
        profile = os.environ.get("KBX_TEST_SOFFICE_PROFILE", work + "/profile")  # one per test program
        subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
                        "--convert-to", "xlsx", "--outdir", work, copy],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(work, "in.xlsx")


def text(value):
    if isinstance(value, (datetime.datetime, datetime.date)):
        return value.isoformat()
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def cell_style(ref, cell):
    f, a, b = cell.font, cell.alignment, cell.border
    sides = [s.style if s is not None and s.style else "-" for s in (b.left, b.right, b.top, b.bottom)]
    color = f.color and {"rgb": f.color.rgb, "indexed": "indexed:%s" % f.color.value}.get(f.color.type)
    for key, value in (("fmt", cell.number_format != "General" and cell.number_format), ("bold", f.b and 1),
                       ("italic", f.i and 1), ("strike", f.strike and 1), ("size", f.sz not in (None, 11) and f.sz),
                       ("color", color), ("font", f.name not in (None, "Calibri") and f.name), ("underline", f.u),
                       ("vert", f.vertAlign), ("halign", a.horizontal), ("valign", a.vertical),
                       ("border", sides != ["-"] * 4 and ",".join(sides))):
        if value:
            out("%s %s" % (key, ref), text(value))


def column_points(ws, c):
    d = ws.column_dimensions.get(get_column_letter(c + 1))
    w = d.width if d is not None and d.customWidth else ws.sheet_format.defaultColWidth
    if not w:  # the standard width: 8 digits and padding, up to a multiple of 8 pixels
        return math.ceil(((ws.sheet_format.baseColWidth or 8) * 7 + 5) / 8) * 8 * 0.75
    return math.trunc((256 * w + math.trunc(128 / 7)) / 256 * 7) * 0.75


def row_points(ws, r):
    d = ws.row_dimensions.get(r + 1)
    return d.height if d is not None and d.height else (ws.sheet_format.defaultRowHeight or 15)


def image(ws, number, img):
    a = img.anchor
    kind = type(a).__name__
    if kind == "AbsoluteAnchor":
        out("image %s#%d" % (ws.title, number), "AbsoluteAnchor - at %.1f,%.1f size %.1fx%.1f" % (
            a.pos.x / 12700, a.pos.y / 12700, a.ext.width / 12700, a.ext.height / 12700))
        return
    f = a._from
    x = sum(column_points(ws, i) for i in range(f.col)) + f.colOff / 12700
    y = sum(row_points(ws, i) for i in range(f.row)) + f.rowOff / 12700
    if kind == "TwoCellAnchor":
        w = sum(column_points(ws, i) for i in range(a.to.col)) + a.to.colOff / 12700 - x
        h = sum(row_points(ws, i) for i in range(a.to.row)) + a.to.rowOff / 12700 - y
    else:
        w, h = a.ext.width / 12700, a.ext.height / 12700
    xfrm = a.pic.spPr.xfrm if a.pic is not None and a.pic.spPr is not None else None
    if xfrm is not None and xfrm.ext is not None:
        out("imageext %s#%d" % (ws.title, number), "%.1fx%.1f" % (xfrm.ext.width / 12700, xfrm.ext.height / 12700))
    out("image %s#%d" % (ws.title, number), "%s %s %s%d+%g,%g at %.1f,%.1f size %.1fx%.1f" % (
        kind, getattr(a, "editAs", None) or "-", get_column_letter(f.col + 1), f.row + 1, f.colOff / 12700,
        f.rowOff / 12700, x, y, w, h))


def sheet(ws):
    name = ws.title
    for row in ws.iter_rows():
        for cell in row:
            ref = "%s!%s" % (name, cell.coordinate)
            if cell.value is not None:
                out("value " + ref, text(cell.value))
                out("type " + ref, "error" if cell.data_type == "e" else type(cell.value).__name__)
                if isinstance(cell.value, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
                    out("serial " + ref, repr(float(to_excel(cell.value, ws.parent.epoch))))
            cell_style(ref, cell)
            if cell.comment:
                out("comment " + ref, cell.comment.text)
    for key, value in (("merged", ",".join(sorted(str(r) for r in ws.merged_cells.ranges))),
                       ("printarea", ",".join(ws.print_area or [])), ("titles", ws.print_title_rows),
                       ("cf", ",".join(str(r.sqref) for r in ws.conditional_formatting)),
                       ("dv", ",".join(str(d.sqref) for d in ws.data_validations.dataValidation))):
        if value:
            out("%s %s" % (key, name), value)
    out("images " + name, len(ws._images))
    out("charts " + name, len(ws._charts))
    for table in ws.tables.values():
        out("table %s!%s" % (name, table.name), table.ref)
    for index, dim in ws.row_dimensions.items():
        if dim.height is not None:
            out("height %s!%d" % (name, index), "%g" % dim.height)
    for letter, dim in ws.column_dimensions.items():
        if dim.width is not None and dim.customWidth:
            out("width %s!%s" % (name, letter), "%g" % round(dim.width, 4))
        if dim.number_format and dim.number_format != "General":
            out("colfmt %s!%s" % (name, letter), dim.number_format)
    for number, img in enumerate(ws._images):
        image(ws, number, img)


def workbook(path, parts, computed):
    wb = openpyxl.load_workbook(path, data_only=computed)
    out("sheets", ",".join(wb.sheetnames))
    out("active", wb.active.title)
    for n in wb.defined_names.definedName:
        local = wb.sheetnames[n.localSheetId] if n.localSheetId is not None else ""
        out("name %s@%s" % (n.name, local), n.attr_text)
    for ws in wb.worksheets:
        sheet(ws)
    package = zipfile.ZipFile(path)
    for member in package.namelist():
        out("part " + member, hashlib.sha1(package.read(member)).hexdigest())
    for part in parts:
        out("xml " + part, package.read(part).decode("utf-8") if part in package.namelist() else "")
    for rels in (m for m in package.namelist() if re.fullmatch(r"xl/drawings/_rels/(.*)\.rels", m)):
        drawing = package.read("xl/drawings/" + rels[18:-5]).decode("utf-8")
        targets = {r.get("Id"): r.get("Target") for r in ElementTree.fromstring(package.read(rels))
                   if r.get("Type", "").endswith("/hyperlink") and r.get("TargetMode") != "External"}
        out("links " + rels[18:-5], " ".join(targets.get(i, "?") for i in re.findall(r'hlinkClick [^>]*r:id="([^"]*)"', drawing)))


def main(path, parts, computed):
    with tempfile.TemporaryDirectory() as work:
        readable = as_xlsx(path, work)
        if readable:
            return workbook(readable, parts, computed)
    data = open(path, "rb").read()
    out("sha1", hashlib.sha1(data).hexdigest())
    try:
        rows = list(csv.reader(data.decode("utf-8").splitlines(keepends=True), dialect="excel-tab"))
    except UnicodeDecodeError:
        return  # a picture, say
    for number, row in enumerate(rows, start=1):
        out("row %d" % number, " | ".join(field.replace("\t", "<TAB>") for field in row))


if __name__ == "__main__":
    computed = sys.argv[1] == "--computed"
    main(sys.argv[1 + computed], sys.argv[2 + computed:], computed)
