#!/usr/bin/python3
# Runs the kestbomex command line on every workbook of the corpus and reads the results back.
#
# Usage: corpus_test.py --binary PATH [FILE ...]   (default: every workbook beside this script)
# Per workbook: ExportAsTxt (copy), ExportAsTxt2 (text of the first worksheet) and ExportPlain2 on a
# template made by splicing placeholder cells into the XML of the active worksheet (a .xls gets none).
# The outputs are read by openpyxl (formulas and stored values) and by LibreOffice (saved again as
# .xlsx, read by openpyxl) and compared with the same readings of the input; sheets holding a pivot
# table or a volatile formula are compared on what the file stores only. LibreOffice recalculates
# every workbook it loads; a formula cell's stored value must be the one LibreOffice computes for
# the input, or the input's own stored value (kept where the engine does not compute a formula).
# Prints PASS/FAIL per file
# and "N passed, N failed"; exit status 1 when a file failed, 77 when LibreOffice is missing.
import argparse, csv, glob, json, os, re, shutil, subprocess, sys, tempfile, warnings, zipfile
from posixpath import dirname, join, normpath
import openpyxl
from openpyxl.utils import get_column_letter as letter, column_index_from_string as column_index

warnings.simplefilter("ignore")
VOLATILE = re.compile(r"\b(NOW|TODAY|RAND|RANDBETWEEN|OFFSET|INDIRECT|CELL|INFO)\s*\(", re.I)
FIELDS, HEAD = ["posnr", "part", "qty"], "Corpus 4711"
RECORDS = [[1, "Bolt M6 äö", 12], [2, 'Nut "M6" <x>', 5], [3, "Plate", 1]]
PLACEHOLDERS = ["$head:project"] + ["$pos:" + f for f in FIELDS]


def call(binary, method, **params):
    p = subprocess.run([binary, "call", method], input=json.dumps(params), capture_output=True, text=True)
    if p.returncode or not p.stdout.startswith('{"result"'):
        raise RuntimeError(f"{method} failed ({p.returncode}): {(p.stdout + p.stderr).strip()[-300:]}")
    return json.loads(p.stdout)["result"]


def rels_path(part):
    return join(dirname(part), "_rels", part.rsplit("/", 1)[-1] + ".rels")


def rels(z, part):
    # (id, target part or None when external, type) of each relationship of a part ("" = package).
    found, xml = [], z.read(rels_path(part)).decode("utf-8", "replace") if rels_path(part) in z.namelist() else ""
    for m in re.finditer(r"<(?:\w+:)?Relationship\b[^>]*>", xml):
        a = dict(re.findall(r'(\w+)="([^"]*)"', m.group(0)))
        t = a["Target"]
        t = None if a.get("TargetMode") == "External" else t[1:] if t[:1] == "/" else normpath(join(dirname(part), t))
        found.append((a["Id"], t, a["Type"]))
    return found


def dangling(path):
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        return [(p, i, t) for p in [""] + sorted(names) for i, t, _ in rels(z, p) if t and t not in names]


def rewrite(src, dst, edit):
    # Copies a package; each part's bytes pass through edit(name, data).
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w") as zout:
        for info in zin.infolist():
            zout.writestr(info, edit(info.filename, zin.read(info)))
    return dst


def readable(path, lo=False):
    # The package, or a copy openpyxl can load: without relationships to missing parts and the
    # elements using them (openpyxl refuses those inputs) and, in LibreOffice's saves, without
    # custom autofilters (which openpyxl cannot read).
    bad = dangling(path)

    def edit(name, data):
        text = data.decode("utf-8", "replace")  # __MACOSX/ entries hold no text
        for part, rid, _ in bad:
            if name in (part, rels_path(part)):
                text = re.sub(rf'<[\w:]+\s[^>]*?\b(\w+:id|Id)="{rid}"[^>]*/>', "", text)
        return (re.sub(r"<customFilters\b.*?</customFilters>", "", text, flags=re.S) if lo else text).encode()

    return rewrite(path, path + ".read.xlsx", lambda n, d: edit(n, d) if n.endswith((".xml", ".rels")) else d) \
        if bad or lo else path


def worksheets(path):
    # [(name, part, is a worksheet)] in workbook order, and the index of the active sheet.
    with zipfile.ZipFile(path) as z:
        book = next(t for _, t, ty in rels(z, "") if ty.endswith("/officeDocument"))
        targets, xml = {i: (t, ty) for i, t, ty in rels(z, book)}, z.read(book).decode()
    sheets = [(re.search(r'\bname="([^"]*)"', s)[1], *targets[re.search(r'\w+:id="([^"]*)"', s)[1]])
              for s in re.findall(r"<(?:\w+:)?sheet\b[^>]*>", xml)]
    active = int((re.search(r'activeTab="(\d+)"', xml) or [0, 0])[1])
    return [(n, t, ty.endswith("/worksheet")) for n, t, ty in sheets], active if active < len(sheets) else 0


def splice(xml):
    # Adds the placeholders as inline-string cells: in a new row two below the data, or at the right
    # end of row 50 when the data reach further (the export looks for placeholders in its first 60 rows and columns).
    # Returns the XML, the row and the first column.
    p = re.search(r"<(\w+:)?sheetData\b", xml).group(1) or ""
    rows, last = [], 0
    for m in re.finditer(rf"<{p}row\b([^>]*?)(/?)>", xml):
        last = int((re.search(r'\br="(\d+)"', m.group(1)) or [0, last + 1])[1])
        end = m.end() if m.group(2) else xml.index(f"</{p}row>", m.end())
        body = xml[m.end():end]
        refs = [column_index(c) for c in re.findall(rf'<{p}c\b[^>]*?\br="([A-Z]+)\d+"', body)]
        rows.append((last, m, end, max(refs + [len(re.findall(rf"<{p}c\b", body))])))
    row = min(last + 2, 50)
    hit = [x for x in rows if x[0] == row]
    col = hit[0][3] + 2 if hit else 1
    cells = "".join(f'<{p}c r="{letter(col + i)}{row}" t="inlineStr"><{p}is><{p}t>{t}</{p}t></{p}is></{p}c>'
                    for i, t in enumerate(PLACEHOLDERS))
    if hit:
        _, m, end, _ = hit[0]
        head = re.sub(r'\sspans="[^"]*"', "", m.group(0)).replace("/>", ">")
        xml = xml[:m.start()] + head + xml[m.end():end] + cells + (f"</{p}row>" if m.group(2) else "") + xml[end:]
    else:
        new, at = f'<{p}row r="{row}">{cells}</{p}row>', ([x[1].start() for x in rows if x[0] > row] + [xml.find(f"</{p}sheetData>")])[0]
        xml = xml[:at] + new + xml[at:] if at >= 0 else re.sub(rf"<{p}sheetData\s*/>", f"<{p}sheetData>{new}</{p}sheetData>", xml)
    wide = letter(max([col + len(PLACEHOLDERS)] + [x[3] for x in rows]))
    return re.sub(rf'<{p}dimension ref="[^"]*"', f'<{p}dimension ref="A1:{wide}{max(row, last)}"', xml), row, col


def cells(path, data_only):
    wb = openpyxl.load_workbook(path, data_only=data_only)
    return wb.sheetnames, {ws.title: {(c.row, c.column): c.value for r in ws.iter_rows() for c in r if c.value is not None}
                           for ws in wb.worksheets}


class Either(tuple):
    """A formula cell's expected value: what LibreOffice computes, or the stored value kept."""


def same(a, b):
    if isinstance(a, Either):
        return any(same(x, b) for x in a)
    numbers = all(isinstance(x, (int, float)) and not isinstance(x, bool) for x in (a, b))
    return abs(a - b) <= 1e-9 * max(1, abs(a)) if numbers else a == b or str(a) == str(b)


def compare(errors, what, want, got, keys=None):
    diff = [(k, want.get(k), got.get(k)) for k in sorted(set(want) | set(got) if keys is None else keys)
            if not same(want.get(k), got.get(k))]
    if diff:
        errors.append(f"{what}: {len(diff)} cells differ, first (cell, expected, found): {diff[:3]}")


def follow_rename(value, old):
    # A formula as it reads after its sheet `old` was renamed "Template".
    quoted = "'" + old.replace("'", "''") + "'"
    name = re.escape(quoted) + "|" + re.escape(old) if re.fullmatch(r"[\w.]+", old) else re.escape(quoted)
    return re.sub(rf"(?<![\w.'\]])({name})!", "'Template'!", value, flags=re.I) if str(value)[:1] == "=" else value


def check_text(errors, path, book, sheet, computed):
    # `computed`: the formula cells of the sheet with the value LibreOffice computes (None: volatile, not checked).
    lines = list(csv.reader(open(path, encoding="utf-8", newline=""), delimiter="\t"))
    for c in (c for r in openpyxl.load_workbook(book, data_only=True)[sheet].iter_rows() for c in r):
        if (c.row, c.column) in computed and computed[(c.row, c.column)] is None:
            continue
        values = [c.value] + ([computed[(c.row, c.column)]] if (c.row, c.column) in computed else [])
        got = lines[c.row - 1][c.column - 1] if c.row <= len(lines) and c.column <= len(lines[c.row - 1]) else ""
        shown = lambda v: isinstance(v, str) or type(v) in (int, float) and c.number_format == "General"
        if all(shown(v) for v in values) and not any(same(v, got) or not isinstance(v, str) and re.fullmatch(
                r"-?[\d.]+(E[-+]\d+)?", got) and same(v, float(got)) for v in values):
            return errors.append(f"text export of {sheet!r}: {c.coordinate} is {got!r}, expected {values[-1]!r}")


def prepare(binary, src, work, tag):
    # Makes the template, runs the copy and the plain export; returns what the checks need.
    ext = os.path.splitext(src)[1].lower()
    f = {"xls": ext == ".xls", "paths": {k: os.path.join(work, f"{tag}-{k}{ext}") for k in ("src", "template", "copy", "plain")}}
    paths, spot = f["paths"], {}
    shutil.copy(src, paths["src"])
    sheets, active = ([], 0) if f["xls"] else worksheets(paths["src"])
    f["paged"] = f["xls"] or sheets[active][2]  # a chart sheet active: fill the first worksheet in place
    if f["xls"]:
        paths["template"], f["spot"] = paths["src"], None
    else:
        name, part, _ = sheets[active] if f["paged"] else next(s for s in sheets if s[2])
        rewrite(paths["src"], paths["template"], lambda n, d: spot.setdefault(0, splice(d.decode()))[0].encode() if n == part else d)
        f["spot"] = (name,) + spot[0][1:]
    f["two"] = f["xls"] or f["spot"][0] + "2" not in [s[0] for s in sheets]  # a second page's name must be free
    call(binary, "ExportAsTxt", ExcelName=paths["src"], TxtName=paths["copy"])
    call(binary, "ExportPlain2", HeadNames=["project"], HeadVals=[HEAD], RecordSize=3, PosNames=FIELDS * 3,
         PosVals=sum(RECORDS, []), TemplateFile=paths["template"], ExcelFile=paths["plain"], Language=0, Company=0,
         PosPerSheet=2 if f["two"] else 3, InsertEmptyRows=0, TargetSheetName="" if f["paged"] else f["spot"][0])
    return f


def verify(binary, f, lo):
    xls, paths, spot, paged, errors = f["xls"], f["paths"], f["spot"], f["paged"], []
    conv = {k: os.path.join(lo, os.path.splitext(os.path.basename(p))[0] + ".xlsx") for k, p in paths.items()}
    errors += [f"LibreOffice cannot open the {k}" for k in conv if not os.path.exists(conv[k])]
    errors += [f"{k}: relationships to missing parts {dangling(paths[k])[:3]}" for k in ("copy", "plain")
               if not xls and dangling(paths[k])]
    if not all(map(os.path.exists, conv.values())):
        return errors
    origin = conv["template"] if xls else paths["template"]
    names, formulas = cells(readable(origin), False)
    with zipfile.ZipFile(origin) as z:
        pivots = {n for n, part, w in worksheets(origin)[0] if any(t.endswith("/pivotTable") for *_, t in rels(z, part))}
    volatile = {n for n, c in formulas.items() if any(VOLATILE.search(str(v)) for v in c.values() if str(v)[:1] == "=")}
    consts = {n: {k for k, v in c.items() if str(v)[:1] != "="} for n, c in formulas.items()}
    base = spot[0] if spot else openpyxl.load_workbook(origin).active.title
    pages = [base, base + "2"] if spot and f["two"] and paged else [base]
    plain_names = [x for n in names for x in (pages + ["Template"] if paged and n == base else [n])]
    first, text = next(n for n in names if n in formulas), paths["src"] + ".txt"
    # What LibreOffice computes for the input's formula cells.
    recalculated = cells(readable(conv["src"], True), True)[1]
    computed = {n: {k: None if VOLATILE.search(str(v)) else recalculated.get(n, {}).get(k) for k, v in c.items()
                    if str(v)[:1] == "="} for n, c in formulas.items()}
    if call(binary, "ExportAsTxt2", ExcelName=paths["src"], TxtName=text, SheetName=first):
        errors.append("ExportAsTxt2 did not return 0")
    else:
        check_text(errors, text, readable(conv["src"] if xls else paths["src"]), first, computed.get(first, {}))
    for kind, data_only in (() if xls else (("openpyxl", False), ("openpyxl values", True))) + (("LibreOffice", True),):
        lo_side = kind == "LibreOffice"
        read = lambda k: cells(readable(conv[k], True) if lo_side or xls else readable(paths[k]), data_only)
        (ref_names, ref), template = read("src"), read("template")[1][base]
        for k in ("copy", "plain"):
            got_names, got = read(k)  # a file the reader refuses fails with the reader's error
            want_names = ref_names if k == "copy" else plain_names
            if got_names != want_names:
                errors.append(f"{kind} {k}: sheets {got_names}, expected {want_names}")
            for n in set(want_names) & set(got) - (set(pages) if k == "plain" else set()) - (pivots if lo_side else set()):
                source = base if k == "plain" and n == "Template" else n
                want = template if source != n else ref[n]
                if k == "plain" and paged and not data_only:
                    want = {c: follow_rename(v, base) for c, v in want.items()}
                keys = consts[source] | set(want) - set(ref[source]) if source in pivots | volatile and data_only else None
                if data_only and not lo_side:
                    want = dict(want) | {c: Either((v, want.get(c))) for c, v in computed.get(source, {}).items()}
                compare(errors, f"{kind} {k} sheet {n!r}", want, got[n], keys)
            for page, recs in zip(pages, [RECORDS[:2], RECORDS[2:]] if len(pages) == 2 else [RECORDS]) if k == "plain" and spot else ():
                _, row, col = spot
                want = {(row, col): HEAD} | {(row + i, col + 1 + j): v for i, r in enumerate(recs) for j, v in enumerate(r)}
                compare(errors, f"{kind} plain filled sheet {page!r}", want, got.get(page, {}), set(want))
    return errors


def convert(inputs, lo):
    # LibreOffice saves every input again as .xlsx, 60 files a run, with a private profile that
    # recalculates every formula of a workbook it loads.
    profile = tempfile.mkdtemp(prefix="kbx-corpus-profile-")
    os.makedirs(os.path.join(profile, "user"))
    with open(os.path.join(profile, "user", "registrymodifications.xcu"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<oor:items xmlns:oor="http://openoffice.org/2001/registry" '
                'xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">\n'
                '<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" '
                'oor:op="fuse"><value>0</value></prop></item>\n</oor:items>\n')
    for i in range(0, len(inputs), 60):
        subprocess.run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{profile}",
                        "--convert-to", "xlsx", "--outdir", lo] + inputs[i:i + 60], capture_output=True, timeout=3600)
    shutil.rmtree(profile, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description="Corpus test of the kestbomex command line")
    ap.add_argument("--binary", required=True)
    ap.add_argument("files", nargs="*")
    args = ap.parse_args()
    if not shutil.which("soffice"):
        print("LibreOffice (soffice) is not installed: corpus test skipped")
        return 77
    binary, work, done = os.path.abspath(args.binary), tempfile.mkdtemp(prefix="kbx-corpus-"), {}
    # The command line's LibreOffice with a profile and sockets of this run only.
    for name, folder in (("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime"), ("HOME", "home")):
        os.environ[name] = os.path.join(work, folder)
        os.makedirs(os.environ[name], mode=0o700)
    for i, src in enumerate(args.files or sorted(glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "*.xls*")))):
        try:
            done[src] = prepare(binary, os.path.abspath(src), work, f"{i:03d}")
        except Exception as e:
            done[src] = [f"{type(e).__name__}: {e}"]
    convert(sorted({p for f in done.values() if isinstance(f, dict) for p in f["paths"].values()}), os.path.join(work, "lo"))
    failed = 0
    for src, f in done.items():
        try:
            errors = f if isinstance(f, list) else verify(binary, f, os.path.join(work, "lo"))
        except Exception as e:
            errors = [f"{type(e).__name__}: {e}"]
        print(("FAIL " if errors else "PASS ") + os.path.basename(src) + "".join("\n    " + e for e in errors), flush=True)
        failed += bool(errors)
    shutil.rmtree(work, ignore_errors=True)
    print(f"{len(done) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
