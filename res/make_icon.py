#!/usr/bin/env python3
"""Draws the Quorel mark (a white "Z" on a rounded plum tile) at 16, 32 and 48 px, 32 bits per pixel:
an .ico, and the same images as icon resources with their group directory."""
import struct
import sys

TILE = (0x8E, 0x2A, 0x6B)      # plum
TILE_EDGE = (0x6A, 0x1B, 0x4F)
MARK = (0xFF, 0xFF, 0xFF)
SUPERSAMPLE = 4


def inside_rounded_square(x, y, size, radius):
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_z(x, y, size):
    """A bold Z: top bar, bottom bar and a diagonal, in unit coordinates of the tile."""
    u, v = x / size, y / size
    m, t = 0.22, 0.17          # margin and stroke thickness
    if m <= u <= 1 - m and m <= v <= m + t:
        return True
    if m <= u <= 1 - m and 1 - m - t <= v <= 1 - m:
        return True
    top, bottom = m + t, 1 - m - t
    if top <= v <= bottom:
        # the diagonal runs from the top bar's right end down to the bottom bar's left end
        pos = (v - top) / (bottom - top)
        centre = (1 - m - t * 0.7) - pos * (1 - 2 * m - t * 1.4)
        return abs(u - centre) <= t * 0.7
    return False


def render(size):
    radius = size * 0.22
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            cover = 0
            mark = 0
            edge = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    if not inside_rounded_square(x, y, size, radius):
                        continue
                    cover += 1
                    if inside_z(x, y, size):
                        mark += 1
                    elif not inside_rounded_square(x, y, size, radius - max(1.0, size / 24)):
                        edge += 1
            n = SUPERSAMPLE * SUPERSAMPLE
            if cover == 0:
                row.append((0, 0, 0, 0))
                continue
            tile = cover - mark - edge
            rgb = tuple(
                (TILE[i] * tile + MARK[i] * mark + TILE_EDGE[i] * edge) // cover
                for i in range(3))
            row.append(rgb + (cover * 255 // n,))
        pixels.append(row)
    return pixels


def dib(size):
    pixels = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):           # DIBs are stored bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    return header + bytes(xor) + bytes(and_mask)


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def main(path):
    sizes = (16, 32, 48)
    images = [dib(s) for s in sizes]

    # Beside the .ico: the images as icon resources 1 to 3 and one group directory naming them, so
    # that both icon groups of the executable share one set of images.
    base = path[:-4] if path.endswith('.ico') else path
    group = bytearray(struct.pack('<HHH', 0, 1, len(sizes)))
    for icon_id, (s, img) in enumerate(zip(sizes, images), start=1):
        write('%s-%d.bin' % (base, s), img)
        group += struct.pack('<BBBBHHIH', s, s, 0, 0, 1, 32, len(img), icon_id)
    write(base + '-group.bin', bytes(group))

    offset = 6 + 16 * len(sizes)
    out = bytearray(struct.pack('<HHH', 0, 1, len(sizes)))
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    write(path, bytes(out))


if __name__ == '__main__':
    main(sys.argv[1])
