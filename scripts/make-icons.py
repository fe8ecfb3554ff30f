#!/usr/bin/env python3
"""Draws the library's 24 button icons and writes them as 16-colour .ico files.

Usage: scripts/make-icons.py [OUT_DIR]   (default: resources/icons)

Each picture is drawn on a 16 x 16 (or 32 x 32) grid with the 16 standard colours;
every disabled picture is the greyed form of its enabled one. The files are committed;
run this again only to change the artwork.
"""
import os
import struct
import sys

# The 16 standard colours (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for d in range(width):
                self.set(x + d, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.size):
            for x in range(self.size):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.set(x, y, c)

    def ring(self, cx, cy, r, c, width=1):
        for y in range(self.size):
            for x in range(self.size):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if r - width < d <= r:
                    self.set(x, y, c)

    def scaled(self, factor):
        out = Canvas(self.size * factor)
        for y in range(self.size):
            for x in range(self.size):
                out.rect(x * factor, y * factor, x * factor + factor - 1, y * factor + factor - 1,
                         self.px[y][x])
        return out


def page():  # new: a sheet with a folded corner
    c = Canvas(16)
    c.rect(3, 1, 12, 14, WHITE)
    c.frame(3, 1, 12, 14, BLACK)
    c.rect(9, 1, 12, 4, CLEAR)
    c.line(9, 1, 9, 4, BLACK)
    c.line(9, 4, 12, 4, BLACK)
    c.line(9, 1, 12, 4, BLACK)
    c.set(13, 0, YELLOW)
    c.set(14, 1, YELLOW)
    c.set(12, 0, YELLOW)
    return c


def pencil():  # edit
    c = Canvas(16)
    for i in range(9):
        c.line(4 + i, 11 - i, 5 + i, 11 - i, YELLOW)
        c.set(3 + i, 11 - i, OLIVE)
        c.set(6 + i, 11 - i, OLIVE)
    c.line(11, 2, 13, 4, RED, 2)
    c.line(2, 13, 4, 11, BLACK)
    c.set(2, 14, BLACK)
    c.line(1, 15, 14, 15, NAVY)
    return c


def cross():  # del
    c = Canvas(16)
    c.line(3, 3, 12, 12, RED, 3)
    c.line(12, 3, 3, 12, RED, 3)
    c.line(3, 4, 11, 12, MAROON)
    return c


def arrow(direction):  # up, down, right, left
    c = Canvas(16)
    for i in range(6):
        c.line(7 - i, 2 + i, 8 + i, 2 + i, BLUE)
    c.rect(5, 8, 10, 13, BLUE)
    c.line(5, 13, 10, 13, NAVY)
    c.line(10, 8, 10, 13, NAVY)
    rotate = {"up": 0, "right": 1, "down": 2, "left": 3}[direction]
    for _ in range(rotate):
        c.px = [[c.px[15 - x][y] for x in range(16)] for y in range(16)]
    return c


def hammer(size):  # tool
    c = Canvas(16)
    c.line(4, 13, 10, 7, MAROON, 2)
    c.rect(8, 2, 14, 5, GREY)
    c.frame(8, 2, 14, 5, BLACK)
    c.line(9, 6, 11, 6, BLACK)
    c.rect(10, 6, 11, 7, MAROON)
    return c if size == 16 else c.scaled(2)


def check():
    c = Canvas(16)
    c.line(2, 8, 6, 12, GREEN, 2)
    c.line(6, 12, 13, 3, GREEN, 2)
    c.line(3, 8, 6, 11, LIME)
    return c


def record():
    c = Canvas(16)
    c.disc(7.5, 7.5, 6, RED)
    c.ring(7.5, 7.5, 6, MAROON)
    c.rect(5, 5, 6, 6, WHITE)
    return c


def floppy():  # save
    c = Canvas(16)
    c.rect(1, 1, 14, 14, NAVY)
    c.rect(4, 1, 11, 6, SILVER)
    c.rect(9, 2, 10, 5, NAVY)
    c.rect(3, 9, 12, 14, WHITE)
    c.line(4, 11, 11, 11, GREY)
    c.line(4, 13, 11, 13, GREY)
    c.frame(1, 1, 14, 14, BLACK)
    return c


def magnifier():  # scan (32 x 32)
    c = Canvas(32)
    c.disc(12.5, 12.5, 9, CYAN)
    c.ring(12.5, 12.5, 10, BLACK, 2.5)
    c.rect(8, 7, 10, 9, WHITE)
    for i in range(9):
        c.rect(19 + i, 19 + i, 22 + i, 22 + i, MAROON)
    c.line(20, 23, 28, 31, BLACK)
    c.line(23, 20, 31, 28, BLACK)
    return c


def greyed(canvas):
    """The disabled form: every drawn pixel as grey, dark colours darker."""
    out = Canvas(canvas.size)
    for y in range(canvas.size):
        for x in range(canvas.size):
            p = canvas.px[y][x]
            if p is None:
                continue
            r, g, b = PALETTE[p]
            lum = (r * 30 + g * 59 + b * 11) // 100
            out.px[y][x] = GREY if lum < 100 else SILVER if lum < 220 else WHITE
    return out


def dib(canvas):
    """One image of an .ico file: a 4-bit bitmap (bottom-up) and its AND mask."""
    n = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(n)):
        row = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(n):
            p = canvas.px[y][x]
            index = 0 if p is None else p
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += row
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def ico(images):
    data = [dib(c) for c in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, blob in zip(images, data):
        n = canvas.size
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    return out + b"".join(data)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "resources", "icons")
    os.makedirs(out_dir, exist_ok=True)
    # (enabled id, disabled id, pictures)
    pairs = [
        (22000, 22009, [page()]),
        (22005, 22008, [pencil()]),
        (22001, 22006, [cross()]),
        (22002, 22010, [arrow("up")]),
        (22003, 22007, [arrow("down")]),
        (22011, 22012, [arrow("right")]),
        (22013, 22014, [arrow("left")]),
        (22015, 22016, [hammer(32), hammer(16)]),
        (22017, 22018, [check()]),
        (22019, 22020, [record()]),
        (22023, 22024, [floppy()]),
        (22021, 22022, [magnifier()]),
    ]
    for enabled, disabled, pictures in pairs:
        for ident, images in ((enabled, pictures), (disabled, [greyed(p) for p in pictures])):
            with open(os.path.join(out_dir, f"{ident}.ico"), "wb") as f:
                f.write(ico(images))


if __name__ == "__main__":
    main()
