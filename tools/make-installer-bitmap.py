#!/usr/bin/env python3
"""Makes the picture beside the installer's welcome and finish pages.

164x314 pixels, 24-bit BMP, as NSIS's Modern UI takes it: the product's icon
(res/icons/tolvanex-updater-128.png, which make-icons.py renders) on the dark
blue of its artwork. Run by hand after changing the icon; the output is
committed, and the Windows packages stage checks that it is what this makes.
Needs only Python 3.

    tools/make-installer-bitmap.py [OUT]   (default res/windows/installer-side.bmp)
"""
import importlib.util
import struct
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
ICON = TOP / "res" / "icons" / "tolvanex-updater-128.png"
OUT = TOP / "res" / "windows" / "installer-side.bmp"
WIDTH, HEIGHT = 164, 314
ICON_TOP = 40
# The artwork's controller body (#2b3a55) down to its outline (#0e1626).
TOP_COLOUR, BOTTOM_COLOUR = (0x2B, 0x3A, 0x55), (0x0E, 0x16, 0x26)


def icons_module():
    spec = importlib.util.spec_from_file_location("make_icons", Path(__file__).with_name("make-icons.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def background(y):
    return tuple(t + (b - t) * y // (HEIGHT - 1) for t, b in zip(TOP_COLOUR, BOTTOM_COLOUR))


def picture():
    w, h, icon = icons_module().decode_png(ICON.read_bytes())
    left = (WIDTH - w) // 2
    rows = []
    for y in range(HEIGHT):
        row = [background(y)] * WIDTH
        if ICON_TOP <= y < ICON_TOP + h:
            for x in range(w):
                r, g, b, a = icon[y - ICON_TOP][x]
                under = row[left + x]
                row[left + x] = tuple((c * a + u * (255 - a) + 127) // 255 for c, u in zip((r, g, b), under))
        rows.append(row)
    return rows


def bmp(rows):
    stride = (WIDTH * 3 + 3) // 4 * 4
    pixels = b"".join(bytes(c for (r, g, b) in row for c in (b, g, r)).ljust(stride, b"\0") for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else OUT
    out.write_bytes(bmp(picture()))
    print(f"{WIDTH}x{HEIGHT} in {out}")


if __name__ == "__main__":
    main()
