#!/usr/bin/python3
"""Example host: writes a paged plain BOM list through the KestBomEx service.

Usage: export_plain_client.py TEMPLATE.xlsx OUTPUT.xlsx

Needs python3-dbus (Debian package) and the service registered for D-Bus
activation (kestbomex-server --register); the first call starts it.
"""
import sys

import dbus

NAME = "KestBomEx.KestDBBomExcel"
PATH = "/KestDBBomExcel"
IFACE = "KestBomEx._KestDBBomExcel"


def variant_array(values):
    """A Variant holding an array: D-Bus "av"."""
    return dbus.Array(values, signature="v", variant_level=1)


def main():
    template, output = sys.argv[1], sys.argv[2]
    bus = dbus.SessionBus()
    kest = dbus.Interface(bus.get_object(NAME, PATH), IFACE)

    head_names = ["title", "drawing"]
    head_vals = ["Pump assembly", "D-4711"]
    fields = ["posnr", "name", "count"]
    positions = [[1, "Housing", 1], [2, "Impeller", 1], [4, "Screw M6", 8]]
    pos_vals = [value for position in positions for value in position]
    pos_names = fields * len(positions)  # one name per value serves every method

    try:
        result = kest.ExportPlain(
            variant_array(head_names), variant_array(head_vals), dbus.Int32(len(fields)),
            variant_array(pos_names), variant_array(pos_vals), template, output,
            dbus.Int32(0), dbus.Int32(0), dbus.Int32(30), dbus.Int32(1),
            timeout=3600)  # a call may wait for the user to close a message box
    except dbus.exceptions.DBusException as error:
        # KestBomEx.RuntimeError.E<number>, message "<number>: <text>"
        print("failed:", error.get_dbus_name(), error.get_dbus_message(), file=sys.stderr)
        return 3
    print("ExportPlain returned", int(result))
    return 0


if __name__ == "__main__":
    sys.exit(main())
