#!/usr/bin/env python3
"""Writes the program's pictures as Windows resources: the icon (.ico) and
the bitmaps (.bmp) the Windows window shows, from the XPM files beside this
script, which stay the only source of the pictures.

    windows_pictures.py OUT_DIR

Every picture keeps to the standard 16-colour palette and is written with
4 bits a pixel. In the bitmaps transparent pixels take the colour
TRANSPARENT, which no picture may use; BtnMove's bitmap holds its two
pictures side by side, so its bottom-left pixel is transparent too.
"""

import pathlib
import struct
import sys

# The standard 16-colour palette, in the order Windows gives it.
PALETTE = [
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
]
TRANSPARENT = 0xFF00FF


def read_xpm(path):
    """Rows of RGB values, None for a transparent pixel."""
    strings = []
    for line in path.read_text(encoding="ascii").splitlines():
        start = line.find('"')
        if start >= 0:
            strings.append(line[start + 1:line.rindex('"')])
    width, height, ncolours, per_pixel = (int(v) for v in strings[0].split()[:4])
    colours = {}
    for entry in strings[1:1 + ncolours]:
        key, rest = entry[:per_pixel], entry[per_pixel:].split()
        value = rest[rest.index("c") + 1]
        colours[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = []
    for text in strings[1 + ncolours:1 + ncolours + height]:
        rows.append([colours[text[i:i + per_pixel]] for i in range(0, width * per_pixel, per_pixel)])
    return rows


def index_of(rgb):
    if rgb not in PALETTE:
        raise ValueError(f"#{rgb:06X} is not in the 16-colour palette")
    return PALETTE.index(rgb)


def packed_rows(rows, colour_of):
    """4-bit rows, bottom row first, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        nibbles = [index_of(colour_of(p)) for p in row]
        if len(nibbles) % 2:
            nibbles.append(0)
        data = bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        out += data + b"\0" * (-len(data) % 4)
    return out


def dib(rows, colour_of, height_factor=1):
    """BITMAPINFOHEADER, palette and pixels."""
    width, height = len(rows[0]), len(rows)
    pixels = packed_rows(rows, colour_of)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * height_factor, 1, 4, 0, len(pixels), 0, 0, 16, 16)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, c >> 8 & 0xFF, c >> 16, 0) for c in PALETTE)
    return header + palette + pixels


def bitmap(rows):
    for row in rows:
        if TRANSPARENT in row:
            raise ValueError("a picture uses the colour kept for transparency")
    info = dib(rows, lambda p: TRANSPARENT if p is None else p)
    return b"BM" + struct.pack("<IHHI", 14 + len(info), 0, 0, 14 + 40 + 64) + info


def icon(rows):
    width, height = len(rows[0]), len(rows)
    image = dib(rows, lambda p: 0 if p is None else p, height_factor=2)
    mask = b""
    for row in reversed(rows):
        bits = 0
        for p in row:
            bits = bits << 1 | (p is None)
        data = bits.to_bytes(width // 8, "big")
        mask += data + b"\0" * (-len(data) % 4)
    image += mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = pathlib.Path(__file__).resolve().parent
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "gridshift.ico").write_bytes(icon(read_xpm(here / "gridshift.xpm")))
    tick, disabled = read_xpm(here / "tick.xpm"), read_xpm(here / "tick_disabled.xpm")
    (out / "move_tick.bmp").write_bytes(bitmap([a + b for a, b in zip(tick, disabled)]))
    for name in ("open_folder", "closed_folder"):
        (out / f"{name}.bmp").write_bytes(bitmap(read_xpm(here / f"{name}.xpm")))


if __name__ == "__main__":
    main()
