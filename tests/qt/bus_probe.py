#!/usr/bin/python3
"""Test client of the KestBomEx service, written with python3-dbus.

  bus_probe.py hold                  call ReleaseExcel, print "called", stay connected until stdin closes
  bus_probe.py malformed             send malformed calls, print one JSON line per call
  bus_probe.py export-bom FILE HEAD CLOS
                                     ExportBomExcel on FILE, sheet "Liste", header title = HEAD
  bus_probe.py template NAME...      CreateSummaryTemplate with the names, prints the result
"""
import json
import sys

import dbus

NAME = "KestBomEx.KestDBBomExcel"
PATH = "/KestDBBomExcel"
IFACE = "KestBomEx._KestDBBomExcel"


def call(bus, method, signature, args, timeout=120.0):
    return bus.call_blocking(NAME, PATH, IFACE, method, signature, args, timeout=timeout)


def answer(bus, method, signature, args):
    try:
        reply = call(bus, method, signature, args)
        values = [] if reply is None else list(reply) if isinstance(reply, tuple) else [reply]
        return {"ok": [str(v) for v in values]}
    except dbus.exceptions.DBusException as e:
        return {"error": e.get_dbus_name(), "message": e.get_dbus_message()}


def variants(values):
    return dbus.Array(values, signature="v")


def malformed(bus):
    plain = "vvivvssiiii"
    cases = {
        "wrong_signature": ("ExportAsTxt", "ii", [1, 2]),
        "dictionary": ("CreateSummaryTemplate", "v", [dbus.Dictionary({"a": 1}, signature="sv", variant_level=1)]),
        "unknown_tag": ("CreateSummaryTemplate", "v", [dbus.Struct(("Banana", 1.0), variant_level=1)]),
        "huge_array": ("CreateSummaryTemplate", "v",
                       [dbus.Array(["f%d" % i for i in range(1000000)], signature="s", variant_level=1)]),
        "record_size_max": ("ExportPlain", plain,
                            [variants(["title"]), variants(["T"]), 2147483647, variants(["posnr"]),
                             variants([1, 2, 3]), "/nonexistent/t.xlsx", "/nonexistent/o.xlsx", 0, 0, 10, 0]),
        "array_not_array": ("ExportBomExcel", "vvivvsisisisis",
                            [variants(["title"]), variants(["T"]), 1, variants(["posnr"]),
                             dbus.Int32(5, variant_level=1), "/nonexistent/w.xlsx", 0, "", 0, "", 0, "", 1, ""]),
        "after_all_that": ("ReleaseExcel", "", []),
    }
    for name, (method, signature, args) in cases.items():
        result = answer(bus, method, signature, args)
        result["case"] = name
        print(json.dumps(result), flush=True)


def export_bom(bus, path, head, clos):
    args = [variants(["title"]), variants([head]), 1, variants(["posnr"]), variants([]), path, 0, "",
            0, "Liste", 0, "", int(clos), ""]
    print(json.dumps(answer(bus, "ExportBomExcel", "vvivvsisisisis", args)), flush=True)


def main():
    bus = dbus.SessionBus()
    command = sys.argv[1]
    if command == "hold":
        call(bus, "ReleaseExcel", "", [])
        print("called", flush=True)
        sys.stdin.read()
    elif command == "malformed":
        malformed(bus)
    elif command == "export-bom":
        export_bom(bus, sys.argv[2], sys.argv[3], sys.argv[4])
    elif command == "template":
        print(json.dumps(answer(bus, "CreateSummaryTemplate", "v", [variants(sys.argv[2:])])), flush=True)
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
