#!/usr/bin/python3
"""Compares a workbook with its copy after a trip through another format.

Usage: compare_round_trip.py ORIGINAL.xlsx COPY.xlsx
Prints one line per property, fields separated by a tab:
  PROPERTY  KEPT  TOTAL  what was lost (empty when nothing)
Properties: values, sheet names and order, fonts, alignments, borders,
merged cells, pictures (count and anchor cell per sheet), number formats.
"""
import sys

import openpyxl


def cells(ws):
    for row in ws.iter_rows():
        for cell in row:
            if cell.value is not None:
                yield cell


def font_key(font):
    # No colour means the automatic colour, black.
    color = font.color.rgb if font.color is not None and font.color.type == "rgb" else "FF000000"
    return (font.name, bool(font.b), bool(font.i), float(font.sz or 0), color, font.u or None, bool(font.strike))


def alignment_key(al):
    return (al.horizontal or "general", al.vertical or "bottom", bool(al.wrap_text))


def border_key(border):
    sides = (getattr(border, side) for side in ("left", "right", "top", "bottom"))
    return tuple(side.style if side is not None else None for side in sides)


def picture_anchors(ws):
    """Top-left cell and pixel size of every picture."""
    result = []
    for image in ws._images:
        anchor = image.anchor._from
        result.append((anchor.col, anchor.row, image.width, image.height))
    return sorted(result)


def format_key(code):
    """A number format code up to the spelling: case and escaped literals."""
    return code.lower().replace("\\", "")


class Tally:
    def __init__(self, name):
        self.name, self.kept, self.total, self.lost = name, 0, 0, []

    def check(self, what, before, after):
        self.total += 1
        if before == after:
            self.kept += 1
        else:
            self.lost.append("%s: %r -> %r" % (what, before, after))

    def line(self):
        return "%s\t%d\t%d\t%s" % (self.name, self.kept, self.total, "; ".join(self.lost))


def main(original_path, copy_path):
    original = openpyxl.load_workbook(original_path)
    copy = openpyxl.load_workbook(copy_path)
    tallies = {name: Tally(name) for name in
               ("values", "sheets", "fonts", "alignments", "borders", "merged", "pictures", "numberformats")}
    tallies["sheets"].check("names in order", original.sheetnames, copy.sheetnames)
    for ws in original.worksheets:
        if ws.title not in copy.sheetnames:
            continue
        other = copy[ws.title]
        tallies["merged"].check(ws.title, sorted(str(r) for r in ws.merged_cells.ranges),
                                sorted(str(r) for r in other.merged_cells.ranges))
        tallies["pictures"].check(ws.title, picture_anchors(ws), picture_anchors(other))
        for cell in cells(ws):
            ref = "%s!%s" % (ws.title, cell.coordinate)
            twin = other[cell.coordinate]
            tallies["values"].check(ref, cell.value, twin.value)
            tallies["fonts"].check(ref, font_key(cell.font), font_key(twin.font))
            tallies["alignments"].check(ref, alignment_key(cell.alignment), alignment_key(twin.alignment))
            if any(border_key(cell.border)):
                tallies["borders"].check(ref, border_key(cell.border), border_key(twin.border))
            if cell.number_format != "General":
                tallies["numberformats"].check(ref, format_key(cell.number_format), format_key(twin.number_format))
    for tally in tallies.values():
        print(tally.line())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
