#!/usr/bin/env python3
"""Writes demo.swf, the movie the player shows when started without one: a ball bouncing across
a turning square on a night-blue stage, 4 seconds at 24 fps, looping. Rerun to change it."""
import math
import struct
import sys


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def ub(self, value, nbits):
        for i in range(nbits - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                self.acc, self.n = 0, 0

    def sb(self, value, nbits):
        self.ub(value & ((1 << nbits) - 1), nbits)

    def align(self):
        if self.n:
            self.ub(0, 8 - self.n)
        return bytes(self.out)


def sbits(*values):
    """Bits needed to store every value as a signed field."""
    return max(max(abs(v).bit_length() + 1 for v in values), 1)


def rect(xmin, xmax, ymin, ymax):
    b = Bits()
    n = sbits(xmin, xmax, ymin, ymax)
    b.ub(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.sb(v, n)
    return b.align()


def matrix(tx, ty, scale=1.0, angle=0.0):
    b = Bits()
    c, s = math.cos(angle) * scale, math.sin(angle) * scale
    if abs(c - 1) > 1e-9 or abs(s) > 1e-9:
        sx, sy = round(c * 65536), round(c * 65536)
        b.ub(1, 1)
        n = sbits(sx, sy)
        b.ub(n, 5)
        b.sb(sx, n)
        b.sb(sy, n)
        r0, r1 = round(s * 65536), round(-s * 65536)
        b.ub(1, 1)
        n = sbits(r0, r1)
        b.ub(n, 5)
        b.sb(r0, n)
        b.sb(r1, n)
    else:
        b.ub(0, 1)
        b.ub(0, 1)
    n = sbits(tx, ty)
    b.ub(n, 5)
    b.sb(tx, n)
    b.sb(ty, n)
    return b.align()


def tag(code, body=b""):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def shape3(char_id, bounds, rgba, edges):
    """DefineShape3 with one solid fill; `edges` start with a move to edges[0]."""
    body = struct.pack("<H", char_id) + rect(*bounds)
    body += bytes([1, 0x00]) + bytes(rgba)  # one solid fill style
    body += bytes([0])  # no line styles
    b = Bits()
    b.ub(1, 4)  # NumFillBits
    b.ub(0, 4)  # NumLineBits
    x0, y0 = edges[0]
    n = sbits(x0, y0)
    b.ub(0, 1)
    b.ub(0b00101, 5)  # FillStyle1 and MoveTo
    b.ub(n, 5)
    b.sb(x0, n)
    b.sb(y0, n)
    b.ub(1, 1)  # FillStyle1 = 1
    for e in edges[1:]:
        if len(e) == 2:  # straight
            dx, dy = e
            n = sbits(dx, dy)
            b.ub(1, 1)
            b.ub(1, 1)
            b.ub(max(n - 2, 0), 4)
            b.ub(1, 1)
            b.sb(dx, max(n, 2))
            b.sb(dy, max(n, 2))
        else:  # curved: control delta, anchor delta
            cx, cy, ax, ay = e
            n = max(sbits(cx, cy, ax, ay), 2)
            b.ub(1, 1)
            b.ub(0, 1)
            b.ub(n - 2, 4)
            for v in (cx, cy, ax, ay):
                b.sb(v, n)
    b.ub(0, 6)  # end record
    return tag(32, body + b.align())


def circle_edges(r):
    edges = [(r, 0)]
    pts = [(r * math.cos(i * math.pi / 4), r * math.sin(i * math.pi / 4)) for i in range(9)]
    px, py = pts[0]
    for i in range(1, 9):
        a0, a1 = (i - 1) * math.pi / 4, i * math.pi / 4
        mid = (a0 + a1) / 2
        cx, cy = r / math.cos(math.pi / 8) * math.cos(mid), r / math.cos(math.pi / 8) * math.sin(mid)
        ex, ey = pts[i]
        cdx, cdy = round(cx - px), round(cy - py)
        adx, ady = round(ex - (px + cdx)), round(ey - (py + cdy))
        edges.append((cdx, cdy, adx, ady))
        px, py = px + cdx + adx, py + cdy + ady
    return edges


def place(depth, char_id, mtx, move=False):
    flags = 0x04 | (0x01 if move else 0x02)
    body = bytes([flags]) + struct.pack("<H", depth)
    if not move:
        body += struct.pack("<H", char_id)
    return tag(26, body + mtx)


def main(path):
    width, height, fps, frames = 550, 400, 24, 96
    tags = [tag(9, bytes([0x1B, 0x2A, 0x4A]))]  # SetBackgroundColor: night blue
    s = 1600
    tags.append(shape3(1, (-s, s, -s, s), (0xDB, 0xBA, 0xD7, 0xFF),
                       [(-s, -s), (2 * s, 0), (0, 2 * s), (-2 * s, 0), (0, -2 * s)]))
    r = 700
    tags.append(shape3(2, (-r, r, -r, r), (0xFF, 0xD0, 0x40, 0xFF), circle_edges(r)))
    cx, cy = width * 10, height * 10
    for f in range(frames):
        t = f / frames
        angle = 2 * math.pi * t
        bx = round(1400 + (width * 20 - 2800) * (0.5 - 0.5 * math.cos(angle)))
        by = round(height * 20 - 1000 - abs(math.sin(3 * angle)) * 4500)
        if f == 0:
            tags.append(place(1, 1, matrix(cx, cy, 1.0, angle / 4)))
            tags.append(place(2, 2, matrix(bx, by)))
        else:
            tags.append(place(1, 1, matrix(cx, cy, 1.0 + 0.25 * math.sin(angle), angle), True))
            tags.append(place(2, 2, matrix(bx, by), True))
        tags.append(tag(1))
    tags.append(tag(0))
    body = rect(0, width * 20, 0, height * 20) + struct.pack("<HH", fps << 8, frames) + b"".join(tags)
    data = b"FWS" + bytes([6]) + struct.pack("<I", len(body) + 8) + body
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "demo.swf")
