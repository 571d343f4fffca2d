#!/usr/bin/python3
"""Expected pixels of the drawing manager's fills, shadows, blends and image effects, computed
straight from their formulas and independently of the C++ code. Each command prints one line of
hexadecimal 0xRRGGBB values, row by row from the top.

  fill EFFECT W H BEGIN MIDDLE END GRANULARITY COLORING   (colours as 0xBBGGRR, like COLORREF)
  shadow W H GREY DEPTHX DEPTHY BLURRED BACKGROUND         (a uniform grey shadow image)
  blend W H SRC DST PERCENT | alpha W H SRC_ARGB DST
  effect FLAGS COLOR PIXEL
  border W H LEFT TOP RIGHT BOTTOM STYLE                  (one-pixel pen; left/top ff0000, right/bottom 0000ff)
  line W H X1 Y1 X2 Y2 STYLE                              (one-pixel pen, 000000; level, upright or 45 degrees)
"""
import sys


def cdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


class Rand:
    def __init__(self):
        self.state = 1

    def __call__(self):
        self.state = (self.state * 214013 + 2531011) & 0xFFFFFFFF
        return (self.state >> 16) & 0x7FFF


def rgb(c):
    return c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF


def pixel(r, g, b):
    return (r << 16) | (g << 8) | b


def gradient(out, left, top, w, h, a, b, horizontal):
    ar, ag, ab = rgb(a)
    br, bg, bb = rgb(b)
    for i in range(64):
        col = pixel((ar * (64 - i) + br * i) >> 6, (ag * (64 - i) + bg * i) >> 6, (ab * (64 - i) + bb * i) >> 6)
        if horizontal:
            x0, x1, y0, y1 = left + (i * w >> 6), left + ((i + 1) * w >> 6), top, top + h
        else:
            x0, x1, y0, y1 = left, left + w, top + (i * h >> 6), top + ((i + 1) * h >> 6)
        for y in range(y0, y1):
            for x in range(x0, x1):
                out[y][x] = col


def cube(t):
    return cdiv(cdiv(t * t * t, 128), 128)


def fill(effect, w, h, begin, middle, end, g, coloring):
    out = [[0] * w for _ in range(h)]
    if effect == 0 or effect > 15:
        out = [[pixel(*rgb(begin))] * w for _ in range(h)]
        return out
    if 1 <= effect <= 6:
        mx, my = w // 2, h // 2
        if effect == 1: gradient(out, 0, 0, w, h, begin, end, True)
        if effect == 2: gradient(out, 0, 0, w, h, begin, end, False)
        if effect == 3:
            gradient(out, 0, 0, mx, h, begin, end, True); gradient(out, mx, 0, w - mx, h, end, begin, True)
        if effect == 4:
            gradient(out, 0, 0, w, my, begin, end, False); gradient(out, 0, my, w, h - my, end, begin, False)
        if effect == 5:
            gradient(out, 0, 0, mx, h, begin, middle, True); gradient(out, mx, 0, w - mx, h, middle, end, True)
        if effect == 6:
            gradient(out, 0, 0, w, my, begin, middle, False); gradient(out, 0, my, w, h - my, middle, end, False)
        return out
    # The palette: end at 0, middle near 128, begin at 255, then blended towards begin.
    pal = [None] * 256
    e, m, b = rgb(end), rgb(middle), rgb(begin)
    for i in range(129):
        pal[i] = tuple(((128 - i) * e[k] + i * m[k]) // 128 for k in range(3))
    for i in range(1, 129):
        pal[127 + i] = tuple(((128 - i) * m[k] + i * b[k]) // 128 for k in range(3))
    p = min(coloring, 100)
    pal = [tuple((c[k] * (100 - p) + b[k] * p) // 100 for k in range(3)) for c in pal]
    rand = Rand()
    T = 32767 // max(1, 2 * g)
    noise = lambda: rand() // T - g
    idx = [[0] * w for _ in range(h)]  # idx[r][c], r counted from the bottom
    rows = [(r, c) for r in range(h) for c in range(w)]
    cols = [(r, c) for c in range(w) for r in range(h)]
    if effect == 7:
        for r, c in rows: idx[r][c] = 128 - g + rand() // T
    elif effect == 8:
        S = (255 - 2 * g) // 2
        for r, c in rows: idx[r][c] = g + S * r // h + S * (w - c) // w + noise()
    elif effect == 9:
        for r, c in rows: idx[r][c] = g + (255 - 2 * g) * r // h + noise()
    elif effect == 10:
        for r, c in cols: idx[r][c] = g + (255 - 2 * g) * (w - c) // w + noise()
    elif effect == 11:
        for r, c in rows: idx[r][c] = cdiv(cube(r * 255 // h - 127) * (128 - g), 128) + 128 + noise()
    elif effect == 12:
        for r, c in cols: idx[r][c] = cdiv(cube((w - c) * 255 // w - 127) * (128 - g), 128) + 128 + noise()
    elif effect == 13:
        for r, c in rows:
            v = cdiv((cube(r * 255 // h - 127) + cube((w - c) * 255 // w - 127)) * (128 - g), 128) + 128
            v = min(max(v, g), 255 - g)
            idx[r][c] = v + noise()
    elif effect == 14:
        for r, c in rows: idx[r][c] = (cdiv((128 - 2 * g) * cube(r * 255 // h - 127), 128) + 128 + noise()) & 0xFF
        A = min(w // 6, 16)
        Q = h * h // 4
        for r, c in rows:
            dy, dx = r - h // 2, c - w // 2
            B = (w // 2 - A) + cdiv(dy * dy * A, Q)
            v = idx[r][c]
            if A and dx > B: v = g + (w - c) * 128 // A
            elif A and dx + B < 0: v = (255 - g) - cdiv(c * 128, A)
            idx[r][c] = v + noise()
    elif effect == 15:
        for _ in range(200):
            x = rand() // (32767 // w); y = rand() // (32767 // h)
            length = (rand() // (32767 // min(w, h))) // 2
            k = rand() // 819
            for j in range(length):
                for (px, py, ok) in ((x - j, y + j, x - j > 0 and y + j < h), (w - x + j, y - j, x + j < w and y - j > 0)):
                    if ok and 0 <= px < w and 0 <= py < h:
                        idx[h - 1 - py][px] = k
        S = (215 - 2 * g) // 2
        for r, c in rows: idx[r][c] = idx[r][c] + S * r // h + S * (w - c) // w + rand() // T
    for r in range(h):
        for c in range(w):
            out[h - 1 - r][c] = pixel(*pal[idx[r][c] & 0xFF])
    return out


def darken(p, f):
    if not (0 <= f < 1):
        return p
    return pixel(int(((p >> 16) & 0xFF) * f), int(((p >> 8) & 0xFF) * f), int((p & 0xFF) * f))


def shadow(w, h, grey, dx, dy, blurred, background):
    if not blurred:
        f = [[grey / 255.0] * w for _ in range(h)]
    else:
        dx |= 1; dy |= 1
        a = [[255] * w for _ in range(h)]
        for y in range(dy // 2, dy // 2 + h - dy):
            for x in range(dx // 2, dx // 2 + w - dx):
                a[y][x] = grey
        W, H = w + dx - 1, h + dy - 1
        pad = [[255] * W for _ in range(H)]
        for y in range(h):
            for x in range(w):
                pad[y + dy // 2][x + dx // 2] = a[y][x]
        # Summed in the order the running sums add, so the reals match to the last bit.
        rows = [[0.0] * w for _ in range(H)]
        for y in range(H):
            s = 0.0
            for k in range(dx): s += pad[y][k]
            for x in range(w):
                rows[y][x] = s
                if x + 1 < w: s += pad[y][x + dx] - pad[y][x]
        f = [[0.0] * w for _ in range(h)]
        for x in range(w):
            s = 0.0
            for k in range(dy): s += rows[k][x]
            for y in range(h):
                f[y][x] = s / (float(dx) * dy * 255.0)
                if y + 1 < h: s += rows[y + dy][x] - rows[y][x]
    bg = pixel(*rgb(background))
    return [[darken(bg, f[y][x]) for x in range(w)] for y in range(h)]


def mix(a, p, b, q):
    return pixel(*[max(0, min(255, int(((a >> s) & 0xFF) * p + ((b >> s) & 0xFF) * q))) for s in (16, 8, 0)])


def effect_pixel(flags, color, p):
    if flags & 1:
        g = int(0.299 * ((p >> 16) & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * (p & 0xFF))
        p = pixel(g, g, g)
    if flags & 2:
        p = darken(p, 0.75)
    if flags & 4:
        p = pixel(*[min(255, int(((p >> s) & 0xFF) * 1.25)) for s in (16, 8, 0)])
    if flags & 8:
        p = pixel(*rgb(color))
    if flags & 0x8000:
        p = ~p & 0xFFFFFF
    return p


# One-pixel pens of GDI: dash patterns in pixels on and off, continuing along the lines drawn
# after one move; every line leaves out its last pixel.
PATTERNS = {2: [18, 6], 3: [3, 3], 4: [9, 6, 3, 6], 5: [9, 3, 3, 3, 3, 3]}


class Pen:
    def __init__(self, img, style):
        self.img, self.pattern, self.step, self.pos = img, PATTERNS.get(style), 0, (0, 0)

    def move(self, x, y):
        self.pos, self.step = (x, y), 0

    def on(self):
        if not self.pattern:
            return True
        k = self.step % sum(self.pattern)
        for i, n in enumerate(self.pattern):
            if k < n:
                return i % 2 == 0
            k -= n

    def line(self, x, y, color):
        (x0, y0) = self.pos
        n = max(abs(x - x0), abs(y - y0))
        assert x == x0 or y == y0 or abs(x - x0) == abs(y - y0)
        sx, sy = (x > x0) - (x < x0), (y > y0) - (y < y0)
        for i in range(n):
            px, py = x0 + i * sx, y0 + i * sy
            if self.on() and 0 <= py < len(self.img) and 0 <= px < len(self.img[0]):
                self.img[py][px] = color
            self.step += 1
        self.pos = (x, y)


def border(w, h, left, top, right, bottom, style):
    img = [[0xFFFFFF] * w for _ in range(h)]
    if style == 0:
        return img
    pen = Pen(img, style)
    x1, y1, x2, y2, d = left, top, right, bottom, 2  # width 1: no inset, the double line 2 inside
    a, b = 0xFF0000, 0x0000FF
    pen.move(x1, y2); pen.line(x1, y1, a); pen.line(x2, y1, a)
    if style == 6:
        pen.move(x1 + d, y2 - d); pen.line(x1 + d, y1 + d, a); pen.line(x2 - d, y1 + d, a)
    pen.move(x2, y1); pen.line(x2, y2, b); pen.line(x1, y2, b)
    if style == 6:
        pen.move(x2 - d, y1 + d); pen.line(x2 - d, y2 - d, b); pen.line(x1 + d, y2 - d, b)
    return img


def line(w, h, x1, y1, x2, y2, style):
    img = [[0xFFFFFF] * w for _ in range(h)]
    if style == 0:
        return img
    pen = Pen(img, style)
    pen.move(x1, y1); pen.line(x2, y2, 0)
    if style == 6:
        if x1 != x2: y1 += 2; y2 += 2
        if y1 != y2: x1 += 2; x2 += 2
        pen.move(x1, y1); pen.line(x2, y2, 0)
    return img


def main(args):
    cmd, nums = args[0], [int(a, 0) for a in args[1:]]
    if cmd == 'fill':
        img = fill(*nums)
    elif cmd == 'shadow':
        img = shadow(*nums)
    elif cmd == 'blend':
        w, h, s, d, percent = nums
        img = [[mix(pixel(*rgb(s)), percent / 100.0, pixel(*rgb(d)), 1 - percent / 100.0)] * w for _ in range(h)]
    elif cmd == 'alpha':
        w, h, s, d = nums
        a = (s >> 24) / 255.0
        img = [[mix(s & 0xFFFFFF, a, pixel(*rgb(d)), 1 - a)] * w for _ in range(h)]
    elif cmd == 'border':
        img = border(*nums)
    elif cmd == 'line':
        img = line(*nums)
    elif cmd == 'effect':
        img = [[effect_pixel(*nums)]]
    else:
        sys.exit('unknown command ' + cmd)
    print(' '.join('%06x' % v for row in img for v in row))


if __name__ == '__main__':
    main(sys.argv[1:])
