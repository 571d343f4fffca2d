#!/usr/bin/python3
"""Draws the program's images and makes its sounds.

Writes res/images/*.png (the 16x16 image strip of bitmap 201 on magenta, its 32x32 cells for
screens of twice the density, and the icons),
res/icons/taluvo-<size>.png (the program's icon for the desktop's menus) and res/sounds/*.wav. Uses the standard library only, so the output is the same on every machine.
Run it from anywhere: python3 res/tools/make_resources.py
"""

import math
import os
import struct
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)

MAGENTA = (255, 0, 255, 255)
CLEAR = (0, 0, 0, 0)


class Canvas:
    def __init__(self, width, height, background):
        self.width = width
        self.height = height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills x0..x1, y0..y1 inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in range(width):
                for dy in range(width):
                    self.put(x + dx, y + dy, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def ring(self, cx, cy, r, colour, thickness=1.2):
        for y in range(int(cy - r - 2), int(cy + r + 3)):
            for x in range(int(cx - r - 2), int(cx + r + 3)):
                d = math.hypot(x - cx, y - cy)
                if abs(d - r) <= thickness / 2:
                    self.put(x, y, colour)

    def arc(self, cx, cy, r, start, stop, step, colour):
        """A two-pixel band at radius r and r - 1 from angle start to stop (degrees, y up), dotted
        at every step degrees."""
        for a in range(start, stop, step):
            t = math.radians(a)
            self.put(round(cx + r * math.cos(t)), round(cy - r * math.sin(t)), colour)
            self.put(round(cx + (r - 1) * math.cos(t)), round(cy - (r - 1) * math.sin(t)), colour)

    def blit(self, other, ox, oy, key=None):
        for y in range(other.height):
            for x in range(other.width):
                c = other.pixels[y][x]
                if c != key and c[3] != 0:
                    self.put(ox + x, oy + y, c)

    def png(self, path):
        raw = b"".join(b"\x00" + b"".join(struct.pack("BBBB", *c) for c in row) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(data)


class FineCell:
    """A 16-unit cell drawn with the same calls as a Canvas, kept as shapes and rendered at any
    scale with 4x4 samples a pixel: the 2x images of the strip have smooth diagonals and circles
    where the 1x ones have steps. Painting MAGENTA (the 1x strip's see-through colour) clears."""

    def __init__(self):
        self.shapes = []  # (test(x, y) over the unit square's coordinates, bounding box, colour)

    def _add(self, test, box, colour):
        self.shapes.append((test, box, colour))

    def put(self, x, y, colour):
        self.rect(x, y, x, y, colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Pixels x0..x1, y0..y1 inclusive, as the 1x canvas fills them."""
        box = (x0, y0, x1 + 1, y1 + 1)
        self._add(lambda x, y: x0 <= x < x1 + 1 and y0 <= y < y1 + 1, box, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        # The 1x line stamps width x width squares from each point: a stroke of that width through
        # the squares' centres, with square ends.
        h = width / 2
        ax, ay, bx, by = x0 + h, y0 + h, x1 + h, y1 + h
        length = math.hypot(bx - ax, by - ay)
        if length == 0:
            self.rect(x0, y0, x0 + width - 1, y0 + width - 1, colour)
            return
        ux, uy = (bx - ax) / length, (by - ay) / length

        def test(x, y):
            along = (x - ax) * ux + (y - ay) * uy
            across = (x - ax) * -uy + (y - ay) * ux
            return -h <= along <= length + h and abs(across) <= h

        box = (min(ax, bx) - width, min(ay, by) - width, max(ax, bx) + width, max(ay, by) + width)
        self._add(test, box, colour)

    def disc(self, cx, cy, r, colour):
        # The 1x disc holds the pixels whose corner-based position lies within r: centred on the
        # pixel's middle, a touch larger so small discs keep their weight.
        mx, my, rr = cx + 0.5, cy + 0.5, r + 0.2
        self._add(lambda x, y: (x - mx) ** 2 + (y - my) ** 2 <= rr * rr, (mx - rr, my - rr, mx + rr, my + rr), colour)

    def ring(self, cx, cy, r, colour, thickness=1.2):
        mx, my, h = cx + 0.5, cy + 0.5, thickness / 2
        box = (mx - r - h, my - r - h, mx + r + h, my + r + h)
        self._add(lambda x, y: abs(math.hypot(x - mx, y - my) - r) <= h, box, colour)

    def arc(self, cx, cy, r, start, stop, step, colour):
        # The 1x dotted band at radii r - 1 and r, drawn whole.
        mx, my = cx + 0.5, cy + 0.5
        last = max(range(start, stop, step))

        def test(x, y):
            d = math.hypot(x - mx, y - my)
            a = math.degrees(math.atan2(my - y, x - mx)) % 360
            return r - 1.5 <= d <= r + 0.5 and start <= a <= last

        self._add(test, (mx - r - 1, my - r - 1, mx + r + 1, my + r + 1), colour)

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def test(x, y):
            inside = False
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                    inside = not inside
            return inside

        self._add(test, (min(xs), min(ys), max(xs), max(ys)), colour)

    def render(self, scale):
        size = 16 * scale
        c = Canvas(size, size, CLEAR)
        samples = [(i + 0.5) / 4 for i in range(4)]
        for test, (bx0, by0, bx1, by1), colour in self.shapes:
            for py in range(max(0, int(by0 * scale) - 1), min(size, int(by1 * scale) + 2)):
                for px in range(max(0, int(bx0 * scale) - 1), min(size, int(bx1 * scale) + 2)):
                    hits = sum(1 for sy in samples for sx in samples if test((px + sx) / scale, (py + sy) / scale))
                    if not hits:
                        continue
                    under = c.pixels[py][px]
                    if colour == MAGENTA:
                        keep = 1 - hits / 16
                        c.pixels[py][px] = under[:3] + (round(under[3] * keep),) if under[3] * keep >= 0.5 else CLEAR
                    else:
                        c.pixels[py][px] = _blend(under, colour, hits / 16)
        return c


BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
GREY = (128, 128, 128, 255)
LIGHT = (200, 200, 200, 255)
YELLOW = (248, 200, 64, 255)
DARK_YELLOW = (176, 128, 24, 255)
RED = (220, 30, 30, 255)
GREEN = (30, 160, 50, 255)
BLUE = (40, 90, 210, 255)
ORANGE = (250, 140, 20, 255)
PAPER = (252, 252, 244, 255)


# 16x16 cells -------------------------------------------------------------------------------

def folder(c, body, edge, open_=False):
    c.rect(1, 3, 6, 4, body)
    c.frame(1, 3, 6, 4, edge)
    c.rect(1, 5, 14, 13, body)
    c.frame(1, 5, 14, 13, edge)
    if open_:
        # The lid tipped forward.
        c.rect(3, 8, 15, 13, tuple(min(255, v + 30) for v in body[:3]) + (255,))
        c.line(3, 8, 15, 8, edge)
        c.line(3, 8, 1, 13, edge)
        c.line(15, 8, 14, 13, edge)


def page(c, lines=True, paper=PAPER, edge=GREY):
    c.rect(3, 1, 12, 14, paper)
    c.frame(3, 1, 12, 14, edge)
    c.rect(10, 1, 12, 3, MAGENTA)
    c.line(10, 1, 12, 3, edge)
    c.line(10, 1, 10, 3, edge)
    c.line(10, 3, 12, 3, edge)
    if lines:
        for y in (5, 7, 9, 11):
            c.line(5, y, 10, y, LIGHT)


def cross(c, x0, y0, size, colour=RED, width=2):
    c.line(x0, y0, x0 + size, y0 + size, colour, width)
    c.line(x0 + size, y0, x0, y0 + size, colour, width)


def plus(c, cx, cy, colour=GREEN):
    c.rect(cx - 3, cy - 1, cx + 3, cy, colour)
    c.rect(cx - 1, cy - 3, cx, cy + 3, colour)


def pencil(c):
    c.line(8, 14, 15, 7, ORANGE, 2)
    c.put(7, 15, BLACK)
    c.put(8, 15, BLACK)


def refresh(c, cx, cy, r, colour=GREEN):
    c.arc(cx, cy, r, 30, 330, 8, colour)
    if isinstance(c, FineCell):
        # The head as a barb across the band's start, pointing on clockwise.
        t = math.radians(30)
        mx, my = cx + 0.5, cy + 0.5
        out = (mx + (r + 1.3) * math.cos(t), my - (r + 1.3) * math.sin(t))
        inn = (mx + (r - 2.3) * math.cos(t), my - (r - 2.3) * math.sin(t))
        mid = (mx + (r - 0.5) * math.cos(t), my - (r - 0.5) * math.sin(t))
        tip = (mid[0] + 2.4 * math.sin(t), mid[1] + 2.4 * math.cos(t))
        c.polygon([out, tip, inn], colour)
        return
    tip_x = round(cx + r * math.cos(math.radians(30)))
    tip_y = round(cy - r * math.sin(math.radians(30)))
    c.rect(tip_x - 2, tip_y - 3, tip_x, tip_y - 1, colour)


def arrow(c, up, colour=BLUE):
    if isinstance(c, FineCell):
        # The head as the triangle the rows of pixels stand for.
        c.polygon([(2, 9), (8, 3), (14, 9)] if up else [(2, 7), (8, 13), (14, 7)], colour)
        c.rect(6, 9, 9, 14, colour) if up else c.rect(6, 1, 9, 6, colour)
        return
    for i in range(6):
        y = 3 + i if up else 12 - i
        c.line(8 - i, y, 7 + i, y, colour)
    if up:
        c.rect(6, 9, 9, 14, colour)
    else:
        c.rect(6, 1, 9, 6, colour)


def cell(index, c=None):
    """Cell index of the strip, drawn on c: a 16x16 Canvas on magenta unless a FineCell is given."""
    if c is None:
        c = Canvas(16, 16, MAGENTA)
    if index == 0:
        folder(c, YELLOW, DARK_YELLOW)
    elif index == 1:
        folder(c, YELLOW, DARK_YELLOW, open_=True)
    elif index == 2:
        folder(c, LIGHT, GREY)
    elif index == 3:
        folder(c, LIGHT, GREY, open_=True)
    elif index == 4:
        folder(c, YELLOW, DARK_YELLOW)
        plus(c, 11, 11)
    elif index == 5:
        folder(c, YELLOW, DARK_YELLOW)
        cross(c, 9, 8, 5)
    elif index == 6:
        folder(c, YELLOW, DARK_YELLOW)
        pencil(c)
    elif index == 7:
        page(c)
        plus(c, 11, 11)
    elif index == 8:
        page(c)
        cross(c, 8, 8, 6)
    elif index == 9:
        page(c)
        pencil(c)
    elif index == 10:  # page, status New: a bright star
        page(c)
        c.disc(8, 9, 3.5, ORANGE)
        c.disc(8, 9, 1.5, YELLOW)
    elif index == 11:  # page, status Error
        page(c, lines=False)
        c.rect(7, 4, 8, 10, RED)
        c.rect(7, 12, 8, 13, RED)
    elif index == 12:  # page, status Ordinary
        page(c)
    elif index == 13:  # page, status Unknown
        page(c, lines=False)
        c.line(6, 5, 7, 4, BLUE)
        c.line(7, 4, 9, 4, BLUE)
        c.line(9, 4, 10, 5, BLUE)
        c.line(10, 5, 10, 7, BLUE)
        c.line(10, 7, 8, 9, BLUE)
        c.line(8, 9, 8, 10, BLUE)
        c.rect(8, 12, 8, 13, BLUE)
    elif index == 14:
        page(c)
        c.ring(8, 8, 4, BLUE)
    elif index == 15:
        arrow(c, True)
    elif index == 16:
        arrow(c, False)
    elif index == 17:  # check the group's pages
        folder(c, YELLOW, DARK_YELLOW)
        refresh(c, 10, 10, 4)
    elif index == 18:  # exit: a door
        c.rect(3, 1, 11, 14, (150, 90, 40, 255))
        c.frame(3, 1, 11, 14, (90, 50, 20, 255))
        c.disc(9, 8, 1, YELLOW)
        c.line(12, 8, 15, 8, RED)
        c.line(14, 6, 15, 8, RED)
        c.line(14, 10, 15, 8, RED)
    elif index == 19:  # check the page
        page(c)
        refresh(c, 9, 10, 4)
    elif index == 20:  # properties
        page(c, lines=False)
        c.disc(8, 4, 1, BLUE)
        c.rect(7, 7, 8, 12, BLUE)
        c.rect(6, 12, 9, 12, BLUE)
    elif index == 21:
        page(c)
        c.disc(8, 8, 2, GREEN)
    elif index == 22:  # check all pages
        refresh(c, 6, 7, 4)
        refresh(c, 10, 10, 4, BLUE)
    elif index == 23:  # cancel checks: a stop sign
        c.disc(7.5, 7.5, 6.5, RED)
        c.rect(4, 7, 11, 8, WHITE)
    elif index == 24:  # overlay 1: a small red cross in the lower left corner
        cross(c, 0, 9, 5, RED, 2)
    elif index == 25:  # page disabled (toggle)
        page(c)
        cross(c, 0, 9, 5, RED, 2)
    elif index == 26:  # open updated pages: a globe
        c.disc(7.5, 7.5, 6.5, (60, 140, 230, 255))
        c.ring(7.5, 7.5, 6.5, BLUE)
        c.line(1, 7, 14, 7, GREEN)
        c.line(7, 1, 7, 14, GREEN)
        c.disc(11, 11, 2.5, ORANGE)
    elif index == 27:  # preferences: a gear
        c.disc(7.5, 7.5, 5.5, GREY)
        for a in range(0, 360, 45):
            t = math.radians(a)
            c.disc(7.5 + 6 * math.cos(t), 7.5 + 6 * math.sin(t), 1.3, GREY)
        c.disc(7.5, 7.5, 2, MAGENTA)
    return c


STRIP_CELLS = 28


def strip(count=STRIP_CELLS):
    s = Canvas(16 * count, 16, MAGENTA)
    for i in range(count):
        s.blit(cell(i), 16 * i, 0)
    return s


def fine_strip(scale, count=STRIP_CELLS):
    """The strip at scale x 16 pixels a cell, with real transparency around the shapes."""
    size = 16 * scale
    s = Canvas(size * count, size, CLEAR)
    for i in range(count):
        s.blit(cell(i, FineCell()).render(scale), size * i, 0)
    return s


# Icons (32x32, transparent) ----------------------------------------------------------------

def scaled(c16, key=MAGENTA):
    c = Canvas(32, 32, CLEAR)
    for y in range(16):
        for x in range(16):
            p = c16.pixels[y][x]
            if p != key:
                c.rect(2 * x, 2 * y, 2 * x + 1, 2 * y + 1, p)
    return c


def program_icon():
    c = Canvas(32, 32, CLEAR)
    c.rect(6, 2, 25, 29, PAPER)
    c.frame(6, 2, 25, 29, GREY)
    for y in (8, 12, 16):
        c.line(9, y, 22, y, LIGHT)
    # A magnifier over the page: the program watches pages.
    c.ring(18, 18, 6.5, BLUE, 2.2)
    c.disc(18, 18, 5, (200, 225, 255, 255))
    c.line(22, 23, 28, 29, (90, 50, 20, 255), 3)
    return c


# The program's icon for the desktop's menus, at any size: the same picture as program_icon,
# drawn from shapes in a 32-unit square and sampled 4x4 per pixel, so every size is sharp.

def _blend(under, colour, cover):
    if cover <= 0:
        return under
    a = colour[3] / 255 * cover
    out_a = a + under[3] / 255 * (1 - a)
    if out_a == 0:
        return CLEAR
    rgb = [(colour[i] * a + under[i] * under[3] / 255 * (1 - a)) / out_a for i in range(3)]
    return tuple(round(v) for v in rgb) + (round(out_a * 255),)


def _segment_distance(px, py, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - x0 - t * dx, py - y0 - t * dy)


def program_icon_shapes():
    """(test, colour) pairs over the 32-unit square, painted in order."""
    def box(x0, y0, x1, y1):
        return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1

    def outline(x0, y0, x1, y1, w):
        return lambda x, y: box(x0, y0, x1, y1)(x, y) and not box(x0 + w, y0 + w, x1 - w, y1 - w)(x, y)

    shapes = [(box(6, 2, 26, 30), PAPER), (outline(6, 2, 26, 30, 1), GREY)]
    for y in (8, 12, 16):
        shapes.append((box(9, y, 23, y + 1), LIGHT))
    shapes.append((lambda x, y: _segment_distance(x, y, 22.5, 23.5, 28.5, 29.5) <= 1.6, (90, 50, 20, 255)))
    shapes.append((lambda x, y: math.hypot(x - 18.5, y - 18.5) <= 5.4, (200, 225, 255, 255)))
    shapes.append((lambda x, y: abs(math.hypot(x - 18.5, y - 18.5) - 6.5) <= 1.1, BLUE))
    return shapes


def program_icon_at(size):
    c = Canvas(size, size, CLEAR)
    unit = 32 / size
    samples = [(i + 0.5) / 4 for i in range(4)]
    shapes = program_icon_shapes()
    for py in range(size):
        for px in range(size):
            pixel = CLEAR
            for test, colour in shapes:
                hits = sum(1 for sy in samples for sx in samples if test((px + sx) * unit, (py + sy) * unit))
                pixel = _blend(pixel, colour, hits / 16)
            c.pixels[py][px] = pixel
    return c


HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)


def tray_icon(new):
    c = scaled(cell(12))
    if new:
        c.disc(23, 23, 7, ORANGE)
        c.disc(23, 23, 3.5, YELLOW)
    return c


def probe_icon():
    # Every pixel black and opaque: the tray icon is found on the screen by this dark square.
    return Canvas(32, 32, BLACK)


def crash_icon():
    c = Canvas(32, 32, CLEAR)
    for i in range(14):
        c.line(16 - i, 2 + 2 * i, 15 + i, 2 + 2 * i, YELLOW)
        c.line(16 - i, 3 + 2 * i, 15 + i, 3 + 2 * i, YELLOW)
    c.line(16, 2, 2, 29, DARK_YELLOW)
    c.line(16, 2, 29, 29, DARK_YELLOW)
    c.line(2, 29, 29, 29, DARK_YELLOW)
    c.rect(15, 10, 16, 21, BLACK)
    c.rect(15, 24, 16, 25, BLACK)
    return c


def about_logo():
    """The program's picture for the about box, 48x48: a page under a magnifier."""
    c = Canvas(48, 48, CLEAR)
    c.rect(9, 3, 37, 44, PAPER)
    c.frame(9, 3, 37, 44, GREY)
    c.rect(31, 3, 37, 9, CLEAR)
    c.line(31, 3, 37, 9, GREY)
    c.line(31, 3, 31, 9, GREY)
    c.line(31, 9, 37, 9, GREY)
    for y in (13, 18, 23, 28):
        c.line(14, y, 32, y, LIGHT, 2)
    c.disc(27, 27, 8, (200, 225, 255, 255))
    c.ring(27, 27, 9, BLUE, 3.0)
    c.line(33, 34, 42, 43, (90, 50, 20, 255), 4)
    return c


# The word on the about box's picture button, drawn from strokes in pixel units and sampled 6x6
# per pixel, so the letters' edges blend into the button's face. Upright strokes are boxes on
# whole pixels, which keeps them sharp; the round letters are elliptic arcs of the same width.
CAP = 11  # cap height in pixels
STROKE = 2.0


def _arc(cx, cy, rx, ry, start, end, steps=40):
    """Points of an elliptic arc from angle start to end (degrees, counter-clockwise on the
    screen, 0 pointing right)."""
    return [(cx + rx * math.cos(math.radians(start + (end - start) * i / steps)),
             cy - ry * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]


def _stroke(points):
    """The test of a stroke STROKE wide along the polyline, with round ends."""
    half = STROKE / 2
    segments = [(a, b) for a, b in zip(points, points[1:]) if a != b]
    return lambda x, y: any(_segment_distance(x, y, x0, y0, x1, y1) <= half for (x0, y0), (x1, y1) in segments)


def _box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def _close_letters(left, top):
    """The tests of the letters of CLOSE with the word's top-left at (left, top), and the word's
    width."""
    s, h = STROKE, CAP
    inner = s / 2
    tests = []
    x = left
    # C: an ellipse open on the right.
    tests.append(_stroke(_arc(x + 4.5, top + h / 2, 4.5 - inner, h / 2 - inner, 50, 310)))
    x += 9 + 3
    # L
    tests += [_box(x, top, x + s, top + h), _box(x, top + h - s, x + 7, top + h)]
    x += 7 + 3
    # O
    tests.append(_stroke(_arc(x + 5, top + h / 2, 5 - inner, h / 2 - inner, 0, 360, 64)))
    x += 10 + 3
    # S: two bowls that meet on the middle line, the lower one a little wider.
    middle = top + h / 2
    upper_ry = (middle - (top + inner)) / 2
    lower_ry = (top + h - inner - middle) / 2
    tests.append(_stroke(_arc(x + 4, middle - upper_ry, 4 - inner - 0.2, upper_ry, 30, 270)
                         + _arc(x + 4, middle + lower_ry, 4 - inner, lower_ry, 90, -150)))
    x += 8 + 3
    # E: the middle bar a little above the middle, as a sans-serif E has it.
    tests += [_box(x, top, x + s, top + h), _box(x, top, x + 7, top + s), _box(x, top + 4, x + 6, top + 4 + s),
              _box(x, top + h - s, x + 7, top + h)]
    x += 7
    return tests, x - left


def about_close_button():
    """The about box's closing picture button, 117x25 on the mask colour: a rounded blue bar
    with the word CLOSE."""
    w, h, r = 117, 25, 6
    c = Canvas(w, h, MAGENTA)
    top, bottom = (120, 170, 235), (40, 90, 190)
    for y in range(h):
        t = y / (h - 1)
        colour = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        for x in range(w):
            dx = max(r - x, x - (w - 1 - r), 0)
            dy = max(r - y, y - (h - 1 - r), 0)
            if dx * dx + dy * dy <= r * r:
                c.put(x, y, colour)
    _, width = _close_letters(0, 0)
    x0, y0 = (w - width) // 2, (h - CAP) // 2
    tests, _ = _close_letters(x0, y0)
    samples = [(i + 0.5) / 6 for i in range(6)]
    for py in range(y0 - 1, y0 + CAP + 1):
        for px in range(x0 - 1, x0 + width + 1):
            hits = sum(1 for sy in samples for sx in samples if any(test(px + sx, py + sy) for test in tests))
            c.pixels[py][px] = _blend(c.pixels[py][px], WHITE, hits / 36)
    return c


# Sounds ------------------------------------------------------------------------------------

RATE = 22050


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s * 32767)))) for s in samples))


def tone(freq, seconds, volume=0.5, decay=6.0, shape="sine"):
    out = []
    n = int(RATE * seconds)
    for i in range(n):
        t = i / RATE
        env = math.exp(-decay * t) * min(1.0, i / (RATE * 0.005))
        phase = 2 * math.pi * freq * t
        if shape == "sine":
            v = math.sin(phase) + 0.3 * math.sin(2 * phase)
        else:  # a soft square for the error buzz
            v = math.tanh(3 * math.sin(phase))
        out.append(volume * env * v / 1.3)
    return out


def update_sound():
    # A rising two-note chime.
    return tone(880, 0.18) + tone(1318.5, 0.45, decay=5.0)


def error_sound():
    silence = [0.0] * int(RATE * 0.06)
    return tone(220, 0.16, 0.45, 4.0, "square") + silence + tone(185, 0.28, 0.45, 4.0, "square")


def main():
    images = os.path.join(RES, "images")
    sounds = os.path.join(RES, "sounds")
    os.makedirs(images, exist_ok=True)
    os.makedirs(sounds, exist_ok=True)
    strip().png(os.path.join(images, "bitmap201.png"))
    fine_strip(2).png(os.path.join(images, "bitmap201@2x.png"))
    program_icon().png(os.path.join(images, "icon128.png"))
    probe_icon().png(os.path.join(images, "icon213.png"))
    tray_icon(False).png(os.path.join(images, "icon247.png"))
    tray_icon(True).png(os.path.join(images, "icon248.png"))
    crash_icon().png(os.path.join(images, "icon4005.png"))
    about_logo().png(os.path.join(images, "icon226.png"))
    about_close_button().png(os.path.join(images, "bitmap249.png"))
    hicolor = os.path.join(RES, "icons")
    os.makedirs(hicolor, exist_ok=True)
    for size in HICOLOR_SIZES:
        program_icon_at(size).png(os.path.join(hicolor, "taluvo-%d.png" % size))
    write_wav(os.path.join(sounds, "wave242.wav"), update_sound())
    write_wav(os.path.join(sounds, "wave243.wav"), error_sound())


if __name__ == "__main__":
    main()
