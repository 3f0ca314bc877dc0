#!/usr/bin/python3
"""Benchmark of .xls workbooks through the bus service: the wall time of whole
calls as a host sees them (python3-dbus), on a private session bus with a
server started by this script.

    /usr/bin/python3 bench/xls_bench.py [--build build/default] [--repeat 5] [--reference OLD_SERVER]

Per call: the first call of a freshly started server (LibreOffice starts on it;
its profile was made by an earlier run) and the calls after it (warm). The
calls:
  ExportBomExcel  100 positions of 10 fields into an .xls working copy (opened
                  from .xls and saved as .xls: two conversions)
  ExportAsTxt2    a sheet of a small .xls (tests/data/three_sheets.xls) as text
  ExportPlain2    20 positions from an .xls template into an .xlsx (the
                  reference server writes the template's format there)
--reference runs the same calls against another server, for example one built
from a commit before the warm LibreOffice; the same inputs, the same run.
Prints best and median of --repeat runs per figure.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import dbus
from openpyxl import Workbook, load_workbook

NAME, PATH, IFACE = "KestBomEx.KestDBBomExcel", "/KestDBBomExcel", "KestBomEx._KestDBBomExcel"
FIELDS = 10
SUCCESS = {"ExportBomExcel": 1, "ExportAsTxt2": 0, "ExportPlain2": 1}
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir={}</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
"""


def variants(values):
    return dbus.Array(values, signature="v")


def template(path, sheet_title, fields):
    book = Workbook()
    sheet = book.active
    sheet.title = sheet_title
    sheet["A1"], sheet["C1"] = "$head:drawno", "$head:title"
    for column, name in enumerate(fields, start=1):
        sheet.cell(3, column, "$pos:" + name)
    book.save(path)


def as_xls(xlsx, work):
    profile = os.path.join(work, "reference-profile")
    subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
                    "--convert-to", "xls", "--outdir", work, xlsx], check=True, capture_output=True)
    return xlsx[:-5] + ".xls"


def inputs(work):
    names = [f"f{i}" for i in range(FIELDS)]
    template(os.path.join(work, "bom.xlsx"), "BOM", names)
    bom = as_xls(os.path.join(work, "bom.xlsx"), work)
    plain_names = ["posnr"] + [f"f{i}" for i in range(1, FIELDS)]
    template(os.path.join(work, "plain.xlsx"), "BOM", plain_names)
    plain = as_xls(os.path.join(work, "plain.xlsx"), work)
    values = [v for k in range(100) for v in [k + 1, 0.5 * k] + [f"part {k} field {f}" for f in range(2, FIELDS)]]
    head = [variants(["drawno", "title"]), variants(["D-4711", "Pump"])]
    return {
        "ExportBomExcel": lambda out: ("vvivvsisisisis", head + [
            FIELDS, variants(names * 100), variants(values), copy_of(bom, out + ".xls"), 0, "", 0, "BOM", 0, "", 1,
            ""]),
        "ExportAsTxt2": lambda out: ("sss", [os.path.join(SOURCE, "tests/data/three_sheets.xls"), out + ".txt",
                                             "Liste"]),
        "ExportPlain2": lambda out: ("vvivvssiiiis", head + [
            FIELDS, variants(plain_names * 20), variants(values[:20 * FIELDS]), plain, out + ".xlsx", 0, 0, 50, 0,
            ""]),
    }


def check(work, tag):
    """What the first warm calls wrote, read back: the last position of the filled .xls (through LibreOffice),
    of the plain list, and the first line of the text."""
    first = os.path.join(work, tag, "{}-warm-0")
    filled = load_workbook(as_xlsx(first.format("ExportBomExcel") + ".xls", work)).active
    plain = load_workbook(as_xlsx(first.format("ExportPlain2") + ".xlsx", work)).active  # .xls for the reference
    lines = [[str(c.value) for c in filled[102][:3]], [str(c.value) for c in plain[22][:3]],
             open(first.format("ExportAsTxt2") + ".txt").read().split("\n")[1].split("\t")[:3]]
    print(f"{tag} read back: " + " | ".join(" ".join(line) for line in lines))


def as_xlsx(xls, work):
    folder = tempfile.mkdtemp(dir=work)
    subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(work, "reference-profile"),
                    "--headless", "--norestore", "--convert-to", "xlsx", "--outdir", folder, xls], check=True,
                   capture_output=True)
    return os.path.join(folder, os.path.splitext(os.path.basename(xls))[0] + ".xlsx")


def copy_of(path, target):
    shutil.copyfile(path, target)
    return target


class Server:
    """A server on the private bus, and this script as its host."""

    def __init__(self, program, address, env):
        self.process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.bus = dbus.bus.BusConnection(address)
        deadline = time.monotonic() + 30
        while not self.bus.name_has_owner(NAME):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError(program + " did not start")
            time.sleep(0.02)

    def call(self, method, signature, args):
        cpu, start = self.cpu(), time.perf_counter()
        result = self.bus.call_blocking(NAME, PATH, IFACE, method, signature, args, timeout=600)
        wall, cpu = time.perf_counter() - start, self.cpu() - cpu
        if int(result[0] if isinstance(result, tuple) else result) != SUCCESS[method]:
            raise RuntimeError(f"{method} returned {result}")
        return wall, cpu

    def cpu(self):
        """CPU seconds of the server and of the processes it started (LibreOffice, its helper) that run."""
        ticks, parents = {}, {}
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            # its own time and that of its children that have ended
            parents[int(pid)], ticks[int(pid)] = int(fields[1]), sum(int(f) for f in fields[11:15])
        tree, todo = set(), [self.process.pid]
        while todo:
            pid = todo.pop()
            tree.add(pid)
            todo += [child for child, parent in parents.items() if parent == pid]
        return sum(ticks.get(p, 0) for p in tree) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        self.bus.close()  # the last host has left: the server ends, and its LibreOffice with it
        self.process.wait(timeout=120)


def measure(program, calls, address, env, work, repeat, tag):
    figures = {}
    work = os.path.join(work, tag)
    os.makedirs(work)
    warmup = Server(program, address, env)  # makes LibreOffice's profile
    warmup.call("ExportAsTxt2", *calls["ExportAsTxt2"](os.path.join(work, "warmup")))
    warmup.stop()
    for method, make in calls.items():
        first = []
        for i in range(repeat):
            server = Server(program, address, env)
            first.append(server.call(method, *make(os.path.join(work, f"{method}-first-{i}"))))
            server.stop()
        figures[method + " first call"] = first
    server = Server(program, address, env)
    server.call("ExportAsTxt2", *calls["ExportAsTxt2"](os.path.join(work, "warm")))
    for method, make in calls.items():
        figures[method + " warm"] = [server.call(method, *make(os.path.join(work, f"{method}-warm-{i}")))
                                     for i in range(repeat)]
    server.stop()
    return figures


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(SOURCE, "build/default"))
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--reference", help="another kestbomex-server to measure in the same run")
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="kbx-xls-bench-")
    for folder in ("cache", "runtime", "temp"):
        os.makedirs(os.path.join(work, folder), mode=0o700)
    with open(os.path.join(work, "bus.conf"), "w") as conf:
        conf.write(BUS_CONFIG.format(work))
    daemon = subprocess.Popen(["dbus-daemon", "--nofork", "--print-address=1", "--config-file",
                               os.path.join(work, "bus.conf")], stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "TMPDIR")}
    env.update(DBUS_SESSION_BUS_ADDRESS=address, HOME=work, XDG_CACHE_HOME=os.path.join(work, "cache"),
               XDG_RUNTIME_DIR=os.path.join(work, "runtime"), TEMP=os.path.join(work, "temp"),
               QT_QPA_PLATFORM="offscreen", KESTBOMEX_VIEWER="/bin/false")
    try:
        calls = inputs(work)
        servers = [("KestBomEx", os.path.join(args.build, "src/bus/kestbomex-server"))]
        if args.reference:
            servers.append(("reference", os.path.abspath(args.reference)))
        print(f"load average before: {os.getloadavg()[0]:.2f}")
        print("| server | figure | wall, best | wall, median | CPU, best | wall of each run |\n|---|---|---|---|---|---|")
        for label, program in servers:
            for figure, runs in measure(program, calls, address, env, work, args.repeat, label).items():
                wall, cpu = [w for w, _ in runs], [c for _, c in runs]
                print(f"| {label} | {figure} | {min(wall):.3f} s | {statistics.median(wall):.3f} s | "
                      f"{min(cpu):.2f} s | " + ", ".join(f"{w:.2f}" for w in wall) + " |", flush=True)
            check(work, label)
        print(f"load average after: {os.getloadavg()[0]:.2f}")

    finally:
        daemon.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
