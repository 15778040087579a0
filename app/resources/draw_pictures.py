#!/usr/bin/env python3
"""Draws the program's pictures and writes them as XPM text beside this file.

The pictures keep to the standard 16-colour palette. Run it again after a
change and commit the XPM files it writes; the build reads only those.
"""

import math
import pathlib

# The standard 16-colour palette: one XPM character per colour; "." is transparent.
PALETTE = {
    "k": "#000000", "m": "#800000", "g": "#008000", "o": "#808000",
    "n": "#000080", "p": "#800080", "t": "#008080", "s": "#C0C0C0",
    "d": "#808080", "r": "#FF0000", "l": "#00FF00", "y": "#FFFF00",
    "b": "#0000FF", "f": "#FF00FF", "a": "#00FFFF", "w": "#FFFFFF",
}


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.rows = [["."] * width for _ in range(height)]

    def get(self, x, y):
        return self.rows[y][x] if 0 <= x < self.width and 0 <= y < self.height else "."

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.line(x0, y0, x1, y0, colour)
        self.line(x0, y1, x1, y1, colour)
        self.line(x0, y0, x0, y1, colour)
        self.line(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if (x0, y0) == (x1, y1):
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def arc(self, cx, cy, radius, start, end, colour):
        """Pixels at `radius` from the centre between two angles in degrees
        (0 = right, counted clockwise on screen)."""
        steps = int(radius * 16)
        for i in range(steps + 1):
            angle = math.radians(start + (end - start) * i / steps)
            self.put(round(cx + radius * math.cos(angle)), round(cy + radius * math.sin(angle)), colour)

    def xpm(self, name):
        used = sorted({c for row in self.rows for c in row})
        lines = ["/* XPM */", f"static const char* {name}[] = {{",
                 f'"{self.width} {self.height} {len(used)} 1",']
        for c in used:
            lines.append(f'"{c} c {"None" if c == "." else PALETTE[c]}",')
        body = [f'"{"".join(row)}"' for row in self.rows]
        lines.append(",\n".join(body))
        lines.append("};")
        return "\n".join(lines) + "\n"


def tick_shape():
    """The tick's body, 3 pixels thick, with a one-pixel edge around it."""
    body = set()
    for x in range(16):
        for y in range(16):
            px, py = x + 0.5, y + 0.5
            for (ax, ay), (bx, by) in (((3.0, 8.5), (6.5, 12.0)), ((6.5, 12.0), (13.0, 4.0))):
                vx, vy = bx - ax, by - ay
                t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
                if math.hypot(px - (ax + t * vx), py - (ay + t * vy)) <= 1.45:
                    body.add((x, y))
    edge = {(x + dx, y + dy) for x, y in body for dx in (-1, 0, 1) for dy in (-1, 0, 1)} - body
    return body, edge


def tick():
    canvas = Canvas(16, 16)
    body, edge = tick_shape()
    for x, y in edge:
        canvas.put(x, y, "k")
    for x, y in body:
        # Lit from the top left: the upper rim of the body is the light green.
        canvas.put(x, y, "l" if (x, y - 1) in edge or (x - 1, y) in edge and (x, y - 1) not in body else "g")
    return canvas


def tick_disabled():
    """The same tick embossed: white one pixel down and right, grey on top."""
    canvas = Canvas(16, 16)
    body, _ = tick_shape()
    for x, y in body:
        canvas.put(x + 1, y + 1, "w")
    for x, y in body:
        canvas.put(x, y, "d")
    return canvas


def icon():
    """A broadcast mast sending out its waves beside a weekly block grid in
    which one block moves along its row to a new minute."""
    c = Canvas(32, 32)
    # The grid sheet, with a shadow, a title bar and four rows of four cells.
    c.fill(11, 10, 31, 30, "d")
    c.fill(10, 9, 30, 29, "w")
    c.frame(10, 9, 30, 29, "k")
    c.fill(11, 10, 29, 12, "n")
    c.line(11, 13, 29, 13, "k")
    for x in (15, 20, 25):
        c.line(x, 14, x, 28, "s")
    for y in (17, 21, 25):
        c.line(11, y, 29, y, "s")

    def cell(column, row):
        x, y = 11 + 5 * column, 14 + 4 * row
        return x, y, x + 3, y + 2

    for column, row in ((1, 0), (3, 0), (0, 2), (2, 2), (1, 3), (3, 3)):
        c.fill(*cell(column, row), "y")
    # The block leaves its cell (outline) for a later one (solid), along the arrow.
    c.frame(*cell(0, 1), "m")
    c.fill(*cell(3, 1), "r")
    c.line(15, 19, 22, 19, "g")
    c.line(23, 18, 23, 20, "g")
    c.line(22, 17, 22, 21, "g")
    c.put(24, 19, "g")
    # The mast: a lattice tower on a ground line.
    c.line(5, 6, 1, 30, "m")
    c.line(5, 6, 9, 30, "m")
    bars = [(12, 4, 6), (18, 3, 7), (24, 2, 8)]
    for y, xl, xr in bars:
        c.line(xl, y, xr, y, "m")
    for (y0, l0, r0), (y1, l1, r1) in zip(bars, bars[1:] + [(30, 1, 9)]):
        c.line(l0 + 1, y0 + 1, r1 - 1, y1 - 1, "d")
        c.line(r0 - 1, y0 + 1, l1 + 1, y1 - 1, "d")
    c.line(0, 31, 10, 31, "k")
    # The light on its tip, and the waves to both sides.
    c.line(5, 3, 5, 5, "r")
    c.line(4, 4, 6, 4, "r")
    for side in (1, -1):
        for x, y in ((2, 2), (3, 3), (3, 4), (3, 5), (2, 6), (4, 1), (5, 2), (5, 3), (5, 4), (5, 5), (5, 6), (4, 7)):
            c.put(5 + side * x, y, "b")
    return c


def main():
    here = pathlib.Path(__file__).resolve().parent
    for name, canvas in (("gridshift", icon()), ("tick", tick()), ("tick_disabled", tick_disabled())):
        (here / f"{name}.xpm").write_text(canvas.xpm(name.replace("-", "_")), encoding="ascii")


if __name__ == "__main__":
    main()
