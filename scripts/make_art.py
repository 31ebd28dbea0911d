#!/usr/bin/env python3
"""Turns the readable pixel maps of resources/art into .ico and .bmp files.

A map file holds, in this order:
    size W H          the picture's size in pixels
    scale N           optional: each map cell becomes N x N pixels
    X #RRGGBB         one line per palette entry; '.' is transparent (icons)
    then the rows of the picture, one character per cell.
Lines starting with '#' at the very beginning are comments.
Usage: make_art.py <map> <output.ico|output.bmp>
"""
import struct
import sys


def read_map(path):
    width = height = None
    scale = 1
    palette = {'.': None}
    rows = []
    with open(path, encoding='utf-8') as f:
        for raw in f:
            line = raw.rstrip('\n')
            if not rows and (line.startswith('#') or not line.strip()):
                continue
            parts = line.split()
            if not rows and parts and parts[0] == 'size':
                width, height = int(parts[1]), int(parts[2])
            elif not rows and parts and parts[0] == 'scale':
                scale = int(parts[1])
            elif not rows and len(parts) == 2 and len(parts[0]) == 1 and parts[1].startswith('#') and len(parts[1]) == 7:
                c = parts[1]
                palette[parts[0]] = (int(c[1:3], 16), int(c[3:5], 16), int(c[5:7], 16))
            else:
                rows.append(line)
    if width is None:
        raise SystemExit(f'{path}: no size line')
    cells_w, cells_h = width // scale, height // scale
    if len(rows) != cells_h or any(len(r) != cells_w for r in rows):
        raise SystemExit(f'{path}: expected {cells_h} rows of {cells_w} cells')
    pixels = []
    for y in range(height):
        row = rows[y // scale]
        pixels.append([palette[row[x // scale]] for x in range(width)])
    return width, height, pixels


def bmp_rows_bottom_up(width, height, pixels, with_alpha):
    out = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for p in pixels[y]:
            r, g, b = p if p else (0, 0, 0)
            line += bytes((b, g, r, 255 if p else 0)) if with_alpha else bytes((b, g, r))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def write_bmp(path, width, height, pixels):
    data = bmp_rows_bottom_up(width, height, pixels, False)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + data)


def write_ico(path, width, height, pixels):
    color = bmp_rows_bottom_up(width, height, pixels, True)
    mask = bytearray()
    stride = ((width + 31) // 32) * 4
    for y in reversed(range(height)):
        line = bytearray(stride)
        for x, p in enumerate(pixels[y]):
            if p is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0, len(color) + len(mask), 0, 0, 0, 0)
    image = info + color + bytes(mask)
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(header + entry + image)


def main():
    src, dst = sys.argv[1], sys.argv[2]
    width, height, pixels = read_map(src)
    (write_ico if dst.lower().endswith('.ico') else write_bmp)(dst, width, height, pixels)


if __name__ == '__main__':
    main()
