#!/usr/bin/python3
"""Independent reader for the copy-export tests.

Usage: read_back.py WORKBOOK
The file's name does not matter. A 97-2003 workbook or an OpenDocument
spreadsheet is first turned into .xlsx by LibreOffice Calc with a profile of
its own; the .xlsx is then read by openpyxl. Prints one line per item, fields
separated by a tab:
  sheet  NAME              every sheet, in tab order
  active NAME              the active sheet
  cell   SHEET REF VALUE   every non-empty cell; dates as ISO text
"""
import datetime
import os
import subprocess
import sys
import tempfile

import openpyxl


def as_xlsx(path, work):
    """A private copy named .xlsx (openpyxl goes by the name), converted
    first when the file is a 97-2003 workbook."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"):
        extension, infilter = ".xls", "MS Excel 97"
    elif b"mimetypeapplication/vnd.oasis.opendocument.spreadsheet" in data[:100]:
        extension, infilter = ".ods", "calc8"
    else:
        copy = os.path.join(work, "copy.xlsx")
        with open(copy, "wb") as dst:
            dst.write(data)
        return copy
    copy = os.path.join(work, "in" + extension)
    with open(copy, "wb") as dst:
        dst.write(data)
    profile = "file://" + os.path.join(work, "profile")
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--norestore",
                    "--infilter=" + infilter, "--convert-to", "xlsx:Calc MS Excel 2007 XML",
                    "--outdir", work, copy],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.join(work, "in.xlsx")


def text(value):
    if isinstance(value, (datetime.datetime, datetime.date)):
        return value.isoformat()
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value).replace("\t", "\\t").replace("\n", "\\n")


def main(path):
    with tempfile.TemporaryDirectory() as work:
        wb = openpyxl.load_workbook(as_xlsx(path, work))
        for ws in wb.worksheets:
            print("sheet\t" + ws.title)
        print("active\t" + wb.active.title)
        for ws in wb.worksheets:
            for row in ws.iter_rows():
                for cell in row:
                    if cell.value is not None:
                        print("cell\t%s\t%s\t%s" % (ws.title, cell.coordinate, text(cell.value)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
