#!/usr/bin/env python3
"""Draws the launcher's icon: a white aircraft seen from above, climbing
through a blue disc ringed in VYRA orange. Writes vyra.ico (32x32, 32-bit)."""
import struct

N, S = 32, 8  # pixels, supersamples per axis


def inside_polygon(x, y, pts):
    hit = False
    for (x1, y1), (x2, y2) in zip(pts, pts[1:] + pts[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


# Aircraft, nose up, in a 32-unit square.
FUSELAGE = [(16, 4), (17.6, 7), (17.6, 24), (16, 27), (14.4, 24), (14.4, 7)]
WINGS = [(16, 11), (28, 18), (28, 20), (16, 17), (4, 20), (4, 18)]
TAIL = [(16, 22), (21, 26), (21, 27.5), (16, 26), (11, 27.5), (11, 26)]


def colour(x, y):
    d = ((x - 16) ** 2 + (y - 16) ** 2) ** 0.5
    if d > 15.5:
        return (0, 0, 0, 0)
    if any(inside_polygon(x, y, p) for p in (FUSELAGE, WINGS, TAIL)):
        return (255, 255, 255, 255)
    if d > 13.5:
        return (255, 128, 0, 255)  # orange ring
    t = y / 32  # sky: lighter towards the horizon
    return (int(20 + 60 * t), int(70 + 90 * t), int(160 + 80 * t), 255)


rows = []
for py in range(N):
    row = []
    for px in range(N):
        acc = [0, 0, 0, 0]
        for sy in range(S):
            for sx in range(S):
                r, g, b, a = colour(px + (sx + 0.5) / S, py + (sy + 0.5) / S)
                acc = [acc[0] + r * a, acc[1] + g * a, acc[2] + b * a, acc[3] + a]
        a = acc[3]
        row.append((0, 0, 0, 0) if a == 0 else
                   (acc[0] // a, acc[1] // a, acc[2] // a, a // (S * S)))
    rows.append(row)

# DIB rows run bottom-up, pixels as BGRA; then a 1-bit AND mask (all zero).
xor = b"".join(struct.pack("4B", b, g, r, a) for row in reversed(rows) for r, g, b, a in row)
mask = bytes(4 * N)
dib = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
image = dib + xor + mask
header = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", N, N, 0, 0, 1, 32, len(image), 22)
with open(__file__.rsplit("/", 1)[0] + "/vyra.ico", "wb") as f:
    f.write(header + image)
