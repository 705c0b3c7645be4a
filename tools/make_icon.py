#!/usr/bin/env python3
"""Draws the program's icon (32 x 32, 256 colours) and writes it as a Windows .ico file.

The picture: a waste basket with green recycling arrows, standing in front of an opened box.
Shapes are tested at each pixel's centre, back to front; unpainted pixels stay transparent.
Usage: make_icon.py [output.ico]   (default: src/ui/uninst.ico beside this script's project)
"""
import math
import os
import struct
import sys

SIZE = 32

BOX_SIDE = (176, 122, 62)
BOX_DARK = (122, 80, 36)
BOX_FLAP = (206, 156, 92)
BOX_INSIDE = (86, 56, 26)
BASKET = (170, 176, 186)
BASKET_LIGHT = (214, 218, 226)
BASKET_DARK = (92, 98, 110)
ARROW = (28, 160, 56)
ARROW_DARK = (16, 120, 40)


def in_polygon(x, y, points):
    inside = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                inside = not inside
    return inside


def near_segment(x, y, a, b, width):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]

    def paint(test, colour):
        for row in range(SIZE):
            for column in range(SIZE):
                if test(column + 0.5, row + 0.5):
                    pixels[row][column] = colour

    def outline(points, colour, width=1.0):
        for i in range(len(points)):
            a, b = points[i], points[(i + 1) % len(points)]
            paint(lambda x, y, a=a, b=b: near_segment(x, y, a, b, width), colour)

    # The opened box, behind and to the right: front face, dark opening, two flaps folded out.
    box = [(13, 10), (31, 10), (31, 25), (13, 25)]
    paint(lambda x, y: in_polygon(x, y, box), BOX_SIDE)
    outline(box, BOX_DARK)
    opening = [(13, 10), (31, 10), (28, 7), (16, 7)]
    paint(lambda x, y: in_polygon(x, y, opening), BOX_INSIDE)
    left_flap = [(13, 10), (16, 7), (11, 1), (8, 5)]
    right_flap = [(31, 10), (28, 7), (31, 1)]
    for flap in (left_flap, right_flap):
        paint(lambda x, y, f=flap: in_polygon(x, y, f), BOX_FLAP)
        outline(flap, BOX_DARK)
    paint(lambda x, y: near_segment(x, y, (22, 10), (22, 25), 1.0), BOX_DARK)

    # The waste basket in front: a tapered bin with a rim and ribs.
    basket = [(2, 13), (24, 13), (21.5, 31), (4.5, 31)]
    paint(lambda x, y: in_polygon(x, y, basket), BASKET)
    paint(lambda x, y: in_polygon(x, y, [(3, 14), (7, 14), (7.5, 30), (5.5, 30)]), BASKET_LIGHT)
    outline(basket, BASKET_DARK)
    paint(lambda x, y: 1 <= y - 11.5 <= 2.5 and 1 <= x <= 25, BASKET_DARK)
    paint(lambda x, y: 1.5 <= y - 11.5 <= 2 and 2 <= x <= 24, BASKET_LIGHT)

    # Three green arrows chasing each other round the middle of the basket.
    cx, cy, radius = 13.0, 22.5, 5.6
    for k in range(3):
        start = math.radians(-90 + 120 * k + 14)
        end = start + math.radians(82)

        def on_arc(x, y, start=start, end=end):
            angle = math.atan2(y - cy, x - cx)
            delta = (angle - start) % (2 * math.pi)
            distance = math.hypot(x - cx, y - cy)
            return delta <= end - start and abs(distance - radius) <= 1.25

        paint(on_arc, ARROW)
        tip_angle = end + math.radians(22)
        tip = (cx + radius * math.cos(tip_angle), cy + radius * math.sin(tip_angle))
        inner = (cx + (radius - 3) * math.cos(end), cy + (radius - 3) * math.sin(end))
        outer = (cx + (radius + 3) * math.cos(end), cy + (radius + 3) * math.sin(end))
        head = [inner, outer, tip]
        paint(lambda x, y, h=head: in_polygon(x, y, h), ARROW_DARK)
    return pixels


def ico_bytes(pixels):
    palette = [(0, 0, 0)]  # index 0: the colour behind transparent pixels
    for row in pixels:
        for colour in row:
            if colour is not None and colour not in palette:
                palette.append(colour)
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))

    xor_rows = []
    and_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        xor_rows.append(bytes(0 if c is None else palette.index(c) for c in row))
        bits = 0
        for column, colour in enumerate(row):
            if colour is None:
                bits |= 1 << (31 - column)
        and_rows.append(struct.pack(">I", bits))  # 32 pixels: 4 bytes, already DWORD-aligned
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    image = header + colours + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "ui", "uninst.ico")
    with open(target, "wb") as out:
        out.write(ico_bytes(draw()))


if __name__ == "__main__":
    main()
