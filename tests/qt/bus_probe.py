#!/usr/bin/python3
"""Test client of the KestBomEx service, written with python3-dbus.

  bus_probe.py hold                  call ReleaseExcel, print "called", stay connected until stdin closes
  bus_probe.py malformed             send malformed calls, print one JSON line per call
  bus_probe.py export-bom FILE HEAD CLOS
                                     ExportBomExcel on FILE, sheet "Liste", header title = HEAD
  bus_probe.py echo                  send Variants of every kind and print what comes back
  bus_probe.py messages TEMPLATE OUT two hosts: the first calls ExportPlain twice with a missing
                                     TEMPLATE, then the second calls; prints the signals each got
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
        # Decoding fails inside an open structure or array.
        "tag_extra_members": ("CreateSummaryTemplate", "v", [dbus.Struct(("Date", 1.0, 2), variant_level=1)]),
        # The day before 1 January 100, the first of the Date range.
        "date_out_of_range": ("CreateSummaryTemplate", "v", [dbus.Struct(("Date", -657435.0), variant_level=1)]),
        "dictionary_in_array": ("CreateSummaryTemplate", "v",
                                [dbus.Array(["a", dbus.Dictionary({"x": 1}, signature="sv")], signature="v",
                                            variant_level=1)]),
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


def describe(value):
    """Type name and value of what came back, arrays and structures element by element."""
    kind = type(value).__name__
    if isinstance(value, (dbus.Array, dbus.Struct)):
        return [kind, [describe(v) for v in value]]
    if isinstance(value, dbus.Double):
        return [kind, float(value)]
    if isinstance(value, dbus.Boolean):
        return [kind, bool(value)]
    if isinstance(value, (dbus.String,)):
        return [kind, str(value)]
    return [kind, int(value)]


def echo(bus):
    """Each value as Profiles of GetBomParams, which without a display hands it back unchanged."""
    cases = {
        "empty": dbus.Struct(("Empty",), variant_level=1),
        "null": dbus.Struct(("Null",), variant_level=1),
        "date": dbus.Struct(("Date", 45000.75), variant_level=1),
        "currency": dbus.Struct(("Currency", dbus.Int64(123456)), variant_level=1),
        "boolean": dbus.Boolean(True, variant_level=1),
        "integer": dbus.Int16(-7, variant_level=1),
        "long": dbus.Int32(2147483647, variant_level=1),
        "double": dbus.Double(2.5, variant_level=1),
        "string": dbus.String("Gehäuse", variant_level=1),
        "byte": dbus.Byte(200, variant_level=1),
        "uint32_big": dbus.UInt32(4000000000, variant_level=1),
        "int64_small": dbus.Int64(-5, variant_level=1),
        "string_array": dbus.Array(["a", "b"], signature="s", variant_level=1),
        "nested": dbus.Array([dbus.Int32(1), dbus.Array([dbus.String("x")], signature="v"),
                              dbus.Struct(("Empty",))], signature="v", variant_level=1),
    }
    for name, value in cases.items():
        try:
            reply = call(bus, "GetBomParams", "sviiss", ["", value, 0, 0, "", ""])
            print(json.dumps({"case": name, "back": describe(reply[1])}), flush=True)
        except dbus.exceptions.DBusException as e:
            print(json.dumps({"case": name, "error": e.get_dbus_name()}), flush=True)


def messages(template, out):
    """Signals reach the host whose call showed the message, tagged with the call."""
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    loop = DBusGMainLoop()
    hosts = {name: dbus.SessionBus(mainloop=loop, private=True) for name in ("first", "second")}
    received = {name: [] for name in hosts}
    for name, bus in hosts.items():
        for member in ("MessageShown", "MessageShownForCall"):
            bus.add_signal_receiver(
                lambda *args, name=name, member=member: received[name].append([member] + [str(a) for a in args]),
                signal_name=member, dbus_interface=IFACE, path=PATH)
    args = [variants(["title"]), variants(["T"]), 1, variants(["posnr"]), variants([1, 2]), template, out,
            0, 0, 10, 0]
    for _ in range(2):
        call(hosts["first"], "ExportPlain", "vvivvssiiii", args)
    # The service answers in order: a signal sent to the second host before
    # this reply has arrived before it.
    call(hosts["second"], "ReleaseExcel", "", [])
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)
    print(json.dumps(received), flush=True)


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
    elif command == "echo":
        echo(bus)
    elif command == "messages":
        messages(sys.argv[2], sys.argv[3])
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
