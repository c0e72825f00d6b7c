#!/usr/bin/env python3
"""Draws the maker's mark, resources/logo686.png: a room seen from above, a
source and the waves it sends out. 269 x 227, 8-bit RGBA. Run once by hand;
the PNG is committed."""
import math, struct, zlib, sys

W, H = 269, 227

def blend(dst, src, a):
    return tuple(int(round(d * (1 - a) + s * a)) for d, s in zip(dst, src))

pixels = [[(0, 0, 0, 0) for _ in range(W)] for _ in range(H)]

def put(x, y, rgb, a):
    if 0 <= x < W and 0 <= y < H and a > 0:
        r, g, b, oa = pixels[y][x]
        na = a + oa / 255 * (1 - a)
        if na <= 0:
            return
        c = blend((r, g, b), rgb, a / na if na else 0)
        pixels[y][x] = (c[0], c[1], c[2], int(round(na * 255)))

def coverage(d, half):  # anti-aliased band of half-width `half` around distance 0
    return max(0.0, min(1.0, half + 0.5 - abs(d)))

cyan, violet, red = (0, 200, 210), (148, 0, 211), (235, 40, 40)
left, top, right, bottom, radius = 18, 14, 251, 213, 22
src = (88, 150)
for y in range(H):
    for x in range(W):
        # room outline: a rounded rectangle
        qx = max(left + radius - x, 0, x - (right - radius))
        qy = max(top + radius - y, 0, y - (bottom - radius))
        d = math.hypot(qx, qy) - radius if (qx > 0 and qy > 0) else max(qx, qy) - radius
        inside = math.hypot(qx, qy) if (qx > 0 and qy > 0) else max(qx, qy)
        put(x, y, cyan, coverage(inside - radius, 3.0))
        # waves from the source, fading with distance, only inside the room
        if inside < radius - 6:
            r = math.hypot(x - src[0], y - src[1])
            for k in range(1, 6):
                put(x, y, cyan, coverage(r - 26 * k, 1.6) * (1.0 - k / 7))
        # source and listener
        put(x, y, red, coverage(math.hypot(x - src[0], y - src[1]) - 10, 4.0))
        put(x, y, violet, coverage(math.hypot(x - 190, y - 70) - 0, 14.0))
# the listener's nose, towards the source
for t in range(0, 26):
    ang = math.atan2(src[1] - 70, src[0] - 190)
    cx, cy = 190 + math.cos(ang) * t, 70 + math.sin(ang) * t
    for dy in range(-3, 4):
        for dx in range(-3, 4):
            put(int(cx) + dx, int(cy) + dy, violet, coverage(math.hypot(dx, dy), 2.0))

def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xffffffff)

raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in pixels)
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
       + chunk(b"sBIT", bytes([8, 8, 8, 8])) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
open(sys.argv[1] if len(sys.argv) > 1 else "resources/logo686.png", "wb").write(png)
