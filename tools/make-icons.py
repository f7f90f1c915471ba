#!/usr/bin/env python3
"""Renders res/icons/tolvanex-updater.svg into the PNG sizes and the Windows .ico.

Run by hand after changing the artwork; the outputs are committed, so builds
need none of this. Needs rsvg-convert (Debian: librsvg2-bin) and Python 3.

The .ico holds 25 images: 16 and 256 colour bitmaps at 16/24/32/48 plus a
256 px PNG for each of those two depths, then 32-bit bitmaps from 16 to 128
and 256/512/768 as RGBA PNGs (width and height 0 in the directory).
"""
import struct
import subprocess
import sys
import zlib
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
ICONS = TOP / "res" / "icons"
SVG = ICONS / "tolvanex-updater.svg"
ICO = TOP / "res" / "windows" / "tolvanex.ico"

PNG_SIZES = [16, 20, 24, 32, 40, 48, 60, 64, 72, 80, 96, 128, 192, 256, 512, 768]
PALETTE_SIZES = [16, 24, 32, 48]
TRUECOLOR_BITMAPS = [16, 20, 24, 32, 40, 48, 60, 64, 72, 80, 96, 128]
TRUECOLOR_PNGS = [256, 512, 768]


def render(size):
    return subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), str(SVG)],
                          check=True, capture_output=True).stdout


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def decode_png(blob):
    """8-bit RGBA, non-interlaced: what rsvg-convert writes. Returns (w, h, rows of RGBA tuples)."""
    assert blob[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, hdr = 8, b"", None
    while pos < len(blob):
        length, kind = struct.unpack(">I4s", blob[pos:pos + 8])
        data = blob[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            hdr = struct.unpack(">IIBBBBB", data)
        elif kind == b"IDAT":
            idat += data
    w, h, depth, ctype, _, _, interlace = hdr
    if (depth, ctype, interlace) != (8, 6, 0):
        sys.exit(f"unexpected PNG format {hdr}")
    raw = zlib.decompress(idat)
    stride, bpp = w * 4, 4
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ftype == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(w)])
        prev = line
    return w, h, rows


def encode_png(rows):
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def median_cut(colours, count):
    """A palette of at most `count` colours for the opaque pixels."""
    boxes = [list(colours)] if colours else [[(0, 0, 0)]]
    while len(boxes) < count:
        boxes.sort(key=lambda b: max(max(c[i] for c in b) - min(c[i] for c in b) for i in range(3)) * len(b))
        box = boxes.pop()
        if len(box) < 2:
            boxes.append(box)
            break
        axis = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[axis])
        boxes += [box[:len(box) // 2], box[len(box) // 2:]]
    pal = [tuple(sum(c[i] for c in b) // len(b) for i in range(3)) for b in boxes]
    return pal + [(0, 0, 0)] * (count - len(pal))


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))


def unpremultiply_on_white(px):
    # Palette images have 1-bit transparency; blend soft edges over a light background.
    r, g, b, a = px
    return tuple((v * a + 255 * (255 - a)) // 255 for v in (r, g, b))


def quantise(rows, count):
    opaque = [unpremultiply_on_white(px) for row in rows for px in row if px[3] >= 128]
    pal = median_cut(opaque, count)
    cache = {}
    idx = []
    for row in rows:
        line = []
        for px in row:
            if px[3] < 128:
                line.append(None)
                continue
            c = unpremultiply_on_white(px)
            if c not in cache:
                cache[c] = nearest(pal, c)
            line.append(cache[c])
        idx.append(line)
    return pal, idx


def and_mask(transparent_rows, w):
    stride = ((w + 31) // 32) * 4
    out = b""
    for row in reversed(transparent_rows):
        bits = bytearray(stride)
        for x, t in enumerate(row):
            if t:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib_header(w, h, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def palette_bitmap(rows, bits):
    w, h = len(rows[0]), len(rows)
    pal, idx = quantise(rows, 1 << bits)
    stride = ((w * bits + 31) // 32) * 4
    pixels = b""
    for line in reversed(idx):
        buf = bytearray(stride)
        for x, i in enumerate(line):
            i = i or 0
            if bits == 8:
                buf[x] = i
            else:
                buf[x // 2] |= i << (4 if x % 2 == 0 else 0)
        pixels += bytes(buf)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in pal)
    mask = and_mask([[i is None for i in line] for line in idx], w)
    return dib_header(w, h, bits, 0) + table + pixels + mask


def palette_png(rows, bits):
    pal, idx = quantise(rows, 1 << bits)
    return encode_png([[(0, 0, 0, 0) if i is None else pal[i] + (255,) for i in line] for line in idx])


def truecolour_bitmap(rows):
    w, h = len(rows[0]), len(rows)
    pixels = b"".join(bytes(c for (r, g, b, a) in row for c in (b, g, r, a)) for row in reversed(rows))
    mask = and_mask([[px[3] == 0 for px in row] for row in rows], w)
    return dib_header(w, h, 32, 0) + pixels + mask


def write_ico(entries):
    """entries: (size, bits, colour count, data)."""
    head = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    directory, body = b"", b""
    for size, bits, colours, data in entries:
        dim = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", dim, dim, colours, 0, 1, bits, len(data), offset + len(body))
        body += data
    ICO.parent.mkdir(parents=True, exist_ok=True)
    ICO.write_bytes(head + directory + body)


def main():
    rendered = {}
    for size in PNG_SIZES:
        rendered[size] = render(size)
        (ICONS / f"tolvanex-updater-{size}.png").write_bytes(rendered[size])
    decoded = {s: decode_png(rendered[s])[2] for s in set(PALETTE_SIZES + TRUECOLOR_BITMAPS + [256])}
    entries = []
    for bits, colours in ((4, 16), (8, 0)):
        for size in PALETTE_SIZES:
            entries.append((size, bits, colours, palette_bitmap(decoded[size], bits)))
        entries.append((256, bits, colours, palette_png(decoded[256], bits)))
    for size in TRUECOLOR_BITMAPS:
        entries.append((size, 32, 0, truecolour_bitmap(decoded[size])))
    for size in TRUECOLOR_PNGS:
        entries.append((size, 32, 0, rendered[size]))
    write_ico(entries)
    print(f"{len(PNG_SIZES)} PNGs in {ICONS}, {len(entries)} images in {ICO}")


if __name__ == "__main__":
    main()
