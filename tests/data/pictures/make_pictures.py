#!/usr/bin/python3
"""Makes the picture files the picture tests insert (run with /usr/bin/python3, needs Pillow)."""
import os
import sys

from PIL import Image

here = os.path.dirname(os.path.abspath(sys.argv[0]))


def solid(size, colour):
    return Image.new("RGB", size, colour)


def main():
    # 200 x 100 points at 72 dpi (pHYs chunk).
    solid((200, 100), (200, 30, 30)).save(os.path.join(here, "red_200x100pt_72dpi.png"), dpi=(72, 72))
    # No pHYs chunk: 120 x 80 pixels at the default 96 dpi = 90 x 60 points.
    solid((120, 80), (30, 160, 30)).save(os.path.join(here, "green_120x80px_nodpi.png"))
    # JFIF density 150 dpi: 300 x 150 pixels = 144 x 72 points.
    solid((300, 150), (30, 30, 200)).save(os.path.join(here, "blue_300x150px_150dpi.jpg"), dpi=(150, 150), quality=80)
    # GIF has no resolution: 64 x 32 pixels = 48 x 24 points.
    solid((64, 32), (250, 200, 0)).convert("P").save(os.path.join(here, "yellow_64x32px.gif"))
    # BMP at 96 dpi: 40 x 20 pixels = 30 x 15 points.
    solid((40, 20), (0, 200, 200)).save(os.path.join(here, "cyan_40x20px_96dpi.bmp"), dpi=(96, 96))
    with open(os.path.join(here, "not_a_picture.png"), "w") as out:
        out.write("This is a text file with a picture's name.\n")
    with open(os.path.join(here, "red_200x100pt_72dpi.png"), "rb") as full:
        head = full.read(20)
    with open(os.path.join(here, "truncated.png"), "wb") as out:
        out.write(head)


if __name__ == "__main__":
    main()
