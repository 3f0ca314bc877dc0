#!/usr/bin/python3
"""Whole-process benchmarks of KestBomEx against its peers, in one run.

Run with /usr/bin/python3 (it has openpyxl); bench/run.sh installs the peers
and builds first. Every KestBomEx figure is one `kestbomex call METHOD`
process reading its JSON parameters from standard input: start-up, JSON
decoding, the export and the save. Time is the best of --repeat runs (wall
clock and the process's CPU time), memory the process's peak resident size.

    /usr/bin/python3 bench/run_benches.py --build build/default [--quick]

Prints a Markdown table (the one in bench/README.md) and the raw lines.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import resource
import tempfile
import time

from openpyxl import Workbook, load_workbook
from openpyxl.styles import Alignment, Border, Font, Side
from copy import copy

FIELDS = 10


# ---------------------------------------------------------------- templates

def bom_template(path):
    """The ExportBomExcel template: a header block, a total row over the positions, and one
    position row of ten placeholders."""
    book = Workbook()
    sheet = book.active
    sheet.title = "BOM"
    sheet["A1"] = "$head:drawno"
    sheet["C1"] = "$head:title"
    sheet["A2"] = "=COUNT(A3:A100000)"
    sheet["B2"] = "=SUM(B3:B100000)"
    sheet["C2"] = "=COUNTA(C3:C100000)"
    sheet["D2"] = '=IF(B2>1000,"big","small")'
    for field in range(FIELDS):
        cell = sheet.cell(3, field + 1, f"$pos:f{field}")
        cell.font = Font(bold=field % 2 == 0)
        cell.alignment = Alignment(horizontal="center")
    book.save(path)


def plain_template(path):
    """The ExportPlain template: header, a position row ("posnr", f1..f8, "bmp"), bordered rows below."""
    book = Workbook()
    sheet = book.active
    sheet.title = "BOM"
    sheet["A1"] = "$head:drawno"
    sheet["C1"] = "$head:title"
    thin = Side(style="thin")
    names = ["posnr"] + [f"f{i}" for i in range(1, 9)] + ["bmp"]
    for column, name in enumerate(names, start=1):
        cell = sheet.cell(3, column, "$pos:" + name)
        cell.font = Font(bold=column % 2 == 0)
        cell.alignment = Alignment(horizontal="center")
        for row in range(3, 60):
            sheet.cell(row, column).border = Border(left=thin, right=thin, top=thin, bottom=thin)
    book.save(path)


# ---------------------------------------------------------------- data sets

def bom_values(count):
    values = []
    for k in range(count):
        for field in range(FIELDS):
            if field == 0:
                values.append(k + 1)
            elif field == 1:
                values.append(0.5 * k)
            else:
                values.append(f"part {k} field {field}")
    return values


def plain_records(count):
    names, values = [], []
    for k in range(count):
        names.append("posnr")
        values.append(k + 1)
        for field in range(1, 9):
            names.append(f"f{field}")
            values.append(f"part {k}" if field % 2 else k * 0.5)
        names.append("bmp")
        values.append("")
    return names, values


HEAD = {"HeadNames": ["drawno", "title"], "HeadVals": ["KB-1", "Bench"]}


def bom_call(workbook, count):
    params = dict(HEAD, RecordSize=FIELDS, PosNames=[f"f{i}" for i in range(FIELDS)], PosVals=bom_values(count),
                  ExcelFileName=workbook, Language=0, KestDBDir="", EmBed=1, Profile="BOM", reverse=0, templte="",
                  Clos=1, SheetName="")
    return json.dumps(params)


def plain_call(template, output, count, per_sheet):
    names, values = plain_records(count)
    params = dict(HEAD, RecordSize=FIELDS, PosNames=names, PosVals=values, TemplateFile=template, ExcelFile=output,
                  Language=0, Company=0, PosPerSheet=per_sheet, InsertEmptyRows=0)
    return json.dumps(params)


# ---------------------------------------------------------------- running

class Run:
    def __init__(self, wall, cpu, peak_kib):
        self.wall, self.cpu, self.peak_kib = wall, cpu, peak_kib


def measure(argv, stdin_path=None, prepare=None, env=None):
    """One process: wall seconds, CPU seconds (user + system) and peak RSS in KiB.

    The process runs under /usr/bin/time, whose report is the process's own:
    a child forked from this (large) Python process would count the parent's
    pages in its peak until it execs."""
    if prepare:
        prepare()
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-o", report.name, "-f", "%M", *argv], stdin=stdin,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        out, err = process.communicate()
        wall = time.perf_counter() - start
        # The CPU time of the time process includes that of the program it waited for.
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        if stdin_path:
            stdin.close()
        out = out.decode()
        if process.returncode != 0 or '"error"' in out:
            sys.exit(f"failed: {' '.join(argv)}\n{out}\n{err.decode()}")
        peak = int(report.read().split()[-1])
    cpu = usage.ru_utime + usage.ru_stime - before.ru_utime - before.ru_stime
    return Run(wall, cpu, peak), out


def best(argv, repeat, **kwargs):
    runs = [measure(argv, **kwargs)[0] for _ in range(repeat)]
    return Run(min(r.wall for r in runs), min(r.cpu for r in runs), max(r.peak_kib for r in runs))


def python_peer(code, repeat, *args):
    return best([sys.executable, "-c", code, *map(str, args)], repeat)


OPENPYXL_BOM = r"""
import json, sys
from copy import copy
from openpyxl import load_workbook
params = json.load(open(sys.argv[1]))
book = load_workbook(params["ExcelFileName"])
sheet = book["BOM"]
values, size = params["PosVals"], params["RecordSize"]
models = [sheet.cell(3, c + 1) for c in range(size)]
for row in range(len(values) // size):
    for c, model in enumerate(models):
        cell = sheet.cell(3 + row, c + 1)
        cell.value = values[row * size + c]
        cell.font, cell.alignment, cell.number_format = copy(model.font), copy(model.alignment), "@"
sheet["A1"], sheet["C1"] = "KB-1", "Bench"
book.save(params["ExcelFileName"])
"""

OPENPYXL_PLAIN = r"""
import json, sys
from copy import copy
from openpyxl import load_workbook
params = json.load(open(sys.argv[1]))
book = load_workbook(params["TemplateFile"])
template = book["BOM"]
names, values, size = params["PosNames"], params["PosVals"], params["RecordSize"]
per_sheet = params["PosPerSheet"]
records = len(values) // size
models = [template.cell(3, c + 1) for c in range(size)]
for page, first in enumerate(range(0, records, per_sheet)):
    sheet = book.copy_worksheet(template)
    sheet.title = "BOM" if page == 0 else f"BOM{page + 1}"
    sheet["A1"], sheet["C1"] = "KB-1", "Bench"
    for row, record in enumerate(range(first, min(first + per_sheet, records))):
        for c, model in enumerate(models):
            cell = sheet.cell(3 + row, c + 1)
            cell.value = values[record * size + c]
            cell.font, cell.alignment = copy(model.font), copy(model.alignment)
book.remove(template)
book.save(params["ExcelFile"])
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/default", help="the CMake build directory")
    parser.add_argument("--repeat", type=int, default=3, help="runs per figure (the best counts)")
    parser.add_argument("--quick", action="store_true", help="leave out the slow peers and the 5,000-sheet run")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    cli = os.path.join(build, "src/cli/kestbomex")
    fill_bench = os.path.join(build, "bench/fill_bench")
    load_bench = os.path.join(build, "bench/load_bench")
    here = os.path.dirname(os.path.abspath(__file__))
    work = tempfile.mkdtemp(prefix="kbx-bench-")
    env = dict(os.environ, TEMP=work)
    rows = []  # (figure, KestBomEx, peer, target)

    def cli_run(method, call_text, prepare=None):
        path = os.path.join(work, method + ".json")
        with open(path, "w") as f:
            f.write(call_text)
        return best([cli, "call", method], args.repeat, stdin_path=path, prepare=prepare, env=env), path

    # ExportBomExcel, 10,000 positions x 10 fields.
    pristine = os.path.join(work, "bom-template.xlsx")
    workbook = os.path.join(work, "bom.xlsx")
    bom_template(pristine)
    refresh = lambda: shutil.copyfile(pristine, workbook)
    bom, bom_json = cli_run("ExportBomExcel", bom_call(workbook, 10000), refresh)
    line = f"{bom.wall:.3f} s wall, {bom.cpu:.3f} s CPU, {bom.peak_kib / 1024:.0f} MiB"
    peer = "-"
    if not args.quick:
        refresh()
        p = python_peer(OPENPYXL_BOM, 1, bom_json)
        peer = f"openpyxl {p.wall:.2f} s wall, {p.cpu:.2f} s CPU, {p.peak_kib / 1024:.0f} MiB"
    rows.append(("ExportBomExcel 10,000 x 10, `kestbomex call`", line, peer, "<= 0.2 s"))

    # fill_bench: 100,000 and 1,000,000 cells, against libxlsxwriter in the same process.
    basic = os.path.join(os.path.dirname(here), "tests/data/basic.xlsx")
    fill = {}
    for cells in (100000, 1000000):
        runs = [measure([fill_bench, basic, work, str(cells // 10)])[1] for _ in range(args.repeat)]
        parsed = [json.loads(r.strip().splitlines()[-1]) for r in runs]
        fill[cells] = {k: min(p[k] for p in parsed) for k in parsed[0]}
    f1, f2 = fill[100000], fill[1000000]
    rows.append(("fill_bench 100,000 cells: engine / libxlsxwriter",
                 f"{f1['engine_wall']:.3f} s / {f1['writer_wall']:.3f} s wall = {f1['engine_wall'] / f1['writer_wall']:.2f}; "
                 f"CPU {f1['engine_cpu']:.3f} / {f1['writer_cpu']:.3f} = {f1['engine_cpu'] / f1['writer_cpu']:.2f}",
                 "libxlsxwriter (same process)", "ratio <= 1.0"))
    rows.append(("fill_bench 1,000,000 cells / 100,000 cells",
                 f"{f2['engine_wall']:.3f} s / {f1['engine_wall']:.3f} s = {f2['engine_wall'] / f1['engine_wall']:.1f}x wall; "
                 f"CPU {f2['engine_cpu'] / f1['engine_cpu']:.1f}x",
                 f"libxlsxwriter {f2['writer_wall'] / f1['writer_wall']:.1f}x", "<= 10.5x"))

    # Paged plain export, 20 records per sheet.
    template = os.path.join(work, "plain-template.xlsx")
    output = os.path.join(work, "plain.xlsx")
    plain_template(template)
    per_sheet = {}
    sheet_counts = [100, 500, 2500] + ([] if args.quick else [5000])
    for sheets in sheet_counts:
        run, path = cli_run("ExportPlain", plain_call(template, output, sheets * 20, 20))
        size = os.path.getsize(output)
        per_sheet[sheets] = (run.wall / sheets, run.cpu / sheets)
        if sheets == 2500:
            peer = "-"
            if not args.quick:
                p = python_peer(OPENPYXL_PLAIN, 1, path)
                peer = f"openpyxl {p.wall:.1f} s wall, {p.peak_kib / 1024:.0f} MiB"
            rows.append(("ExportPlain 50,000 records, 20 per sheet (2,500 sheets)",
                         f"{run.wall:.2f} s wall, {run.cpu:.2f} s CPU", peer, "<= 3 s"))
            rows.append(("  peak memory / output size",
                         f"{run.peak_kib / 1024:.1f} MiB / {size / 1048576:.2f} MiB = {run.peak_kib * 1024 / size:.1f}x",
                         "", "<= 10x"))
        print(f"ExportPlain {sheets} sheets: {run.wall:.3f} s wall, {run.cpu:.3f} s CPU, "
              f"{run.peak_kib / 1024:.1f} MiB peak, output {size} bytes", file=sys.stderr)
    last = max(per_sheet)
    (wall_last, cpu_last), (wall_first, cpu_first) = per_sheet[last], per_sheet[100]
    rows.append((f"ExportPlain time per sheet, {last:,} sheets / 100 sheets",
                 f"wall {wall_last * 1000:.2f} ms / {wall_first * 1000:.2f} ms = {wall_last / wall_first:.2f}x; "
                 f"CPU {cpu_last * 1000:.2f} ms / {cpu_first * 1000:.2f} ms = {cpu_last / cpu_first:.2f}x",
                 "", "<= 1.5x"))

    # A template of 17 M empty styled cells: peak memory of opening it.
    big = os.path.join(work, "empty-cells.xlsx")
    subprocess.run([sys.executable, os.path.join(here, "make_empty_cells.py"), big], check=True)
    run, out = measure([load_bench, big])
    loaded = json.loads(out.strip().splitlines()[-1])
    rows.append((f"open a template of {loaded['cells']:,} empty styled cells ({os.path.getsize(big) / 1e6:.1f} MB)",
                 f"{run.peak_kib / 1024:.0f} MiB peak ({loaded['seconds']:.1f} s to open); sheet model "
                 f"{loaded['model_bytes_per_cell']:.1f} bytes per cell, resident {loaded['resident_bytes_per_cell']:.1f}",
                 "", "< 500 MB; <= 24 bytes per cell"))

    print(f"load average during the run: {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores", file=sys.stderr)
    print("| figure | KestBomEx | peer | target |")
    print("|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
