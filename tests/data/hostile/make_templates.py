"""Hostile templates for tests/hostile, each made by editing a committed
template with zipfile. Usage: make_templates.py PLAIN_TEMPLATE PICTURE_TEMPLATE OUT_DIR"""
import os
import re
import sys
import zipfile

plain, pictures, out = sys.argv[1:4]


def parts_of(path):
    with zipfile.ZipFile(path) as z:
        return {name: z.read(name) for name in z.namelist()}


def write(name, parts):
    with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
        for part, data in parts.items():
            z.writestr(part, data)


# A column style far past the style table.
parts = parts_of(plain)
sheet = parts["xl/worksheets/sheet1.xml"].decode()
sheet = sheet.replace("<sheetData>", '<cols><col min="1" max="3" width="12" style="9999" customWidth="1"/></cols><sheetData>')
parts["xl/worksheets/sheet1.xml"] = sheet.encode()
write("col_style_out_of_range.xlsx", parts)

# A drawing whose picture's image part is gone.
parts = parts_of(pictures)
for name in [n for n in parts if re.match(r"xl/media/image\d+\.png$", n)]:
    del parts[name]
write("missing_image.xlsx", parts)

# Sheet links to a drawing and a comments drawing the package lacks.
parts = parts_of(pictures)
for name in ("xl/drawings/drawing1.xml", "xl/drawings/_rels/drawing1.xml.rels", "xl/drawings/commentsDrawing1.vml"):
    del parts[name]
write("missing_drawing.xlsx", parts)

# A chart linked to user shapes the package lacks.
parts = parts_of(pictures)
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
chart = parts["xl/charts/chart1.xml"].decode()
parts["xl/charts/chart1.xml"] = chart.replace("</chartSpace>", f'<userShapes xmlns:r="{R}" r:id="rId9"/></chartSpace>').encode()
parts["xl/charts/_rels/chart1.xml.rels"] = (
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    f'<Relationship Id="rId9" Type="{R}/chartUserShapes" Target="../drawings/drawing9.xml"/></Relationships>').encode()
write("missing_user_shapes.xlsx", parts)

# A chart and a picture that link to places in the workbook, stored as the spreadsheet program
# stores them: hyperlink relationships of the drawing whose targets start with "#". Parts is active.
parts = parts_of(pictures)
A, rels = "http://schemas.openxmlformats.org/drawingml/2006/main", "xl/drawings/_rels/drawing1.xml.rels"
for number, (name, target) in enumerate((("Chart 1", "#Cover!A1"), ("Image 2", "#'Notes'!A1"))):
    link = f'<a:hlinkClick xmlns:a="{A}" xmlns:r="{R}" r:id="rIdLink{number}"/></cNvPr>'
    drawing = parts["xl/drawings/drawing1.xml"].decode()
    parts["xl/drawings/drawing1.xml"] = re.sub(f'(name="{name}"[^/]*)/>', lambda m: m[1] + ">" + link, drawing).encode()
    parts[rels] = parts[rels].replace(b"</Relationships>", (
        f'<Relationship Id="rIdLink{number}" Type="{R}/hyperlink" Target="{target}"/></Relationships>').encode())
parts["xl/workbook.xml"] = parts["xl/workbook.xml"].replace(b'activeTab="2"', b'activeTab="1"')
write("linked_places.xlsx", parts)

# The Cover sheet links to a part that links on to the next, nine parts deep.
parts = parts_of(plain)
CHAIN = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chainedPart"


def link_to(target):
    return (f'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Id="rId1" Type="{CHAIN}" Target="{target}"/></Relationships>').encode()


parts["xl/worksheets/_rels/sheet1.xml.rels"] = link_to("../chain/link1.xml")
for depth in range(1, 10):
    parts[f"xl/chain/link{depth}.xml"] = f"<link depth=\"{depth}\"/>".encode()
    if depth < 9:
        parts[f"xl/chain/_rels/link{depth}.xml.rels"] = link_to(f"link{depth + 1}.xml")
write("deep_chain.xlsx", parts)

# The workbook part typed by the Default of its extension, with no Override of its own.
parts = parts_of(plain)
MAIN = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"
types = parts["[Content_Types].xml"].decode()
types = re.sub(r'<Override PartName="/xl/workbook.xml"[^>]*/>', "", types)
parts["[Content_Types].xml"] = types.replace('ContentType="application/xml"', f'ContentType="{MAIN}"').encode()
write("workbook_by_default.xlsx", parts)
