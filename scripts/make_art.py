#!/usr/bin/env python3
"""Turns the readable pixel maps of resources/art into .ico and .bmp files.

A map file holds, in this order:
    size W H          the picture's size in pixels
    scale N           optional: each map cell becomes N x N pixels
    fill #RRGGBB      optional: the picture's background colour; cells drawn
                      with '.' and everything outside the map show it
                      (without it '.' is transparent in icons, black in bitmaps)
    at X Y            optional: the map's top left corner sits at pixel X, Y
                      and the map may be smaller than the picture; without
                      it the map must cover the picture exactly
    X #RRGGBB         one line per palette entry; '.' is transparent (icons)
    then the rows of the picture, one character per cell.
Lines starting with '#' at the very beginning are comments.

An icon of 32 x 32 pixels also gets a 16 x 16 image in the same file, each
pixel the average of a 2 x 2 block, so the tray and other small places find
a ready-made small picture. Every square icon is also given the sizes of the
display scales (16, 20, 24, 32, 48 pixels), each cell copied to whole pixels
(nearest neighbour), so that no size is stretched blurred at run time.
Usage: make_art.py <map> <output.ico|output.bmp>
"""
import struct
import sys


def parse_colour(text, path):
    if not (text.startswith('#') and len(text) == 7):
        raise SystemExit(f'{path}: bad colour {text!r}')
    return (int(text[1:3], 16), int(text[3:5], 16), int(text[5:7], 16))


def read_map(path):
    width = height = None
    scale = 1
    fill = None
    origin = None
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
            elif not rows and parts and parts[0] == 'fill':
                fill = parse_colour(parts[1], path)
            elif not rows and parts and parts[0] == 'at':
                origin = (int(parts[1]), int(parts[2]))
            elif not rows and len(parts) == 2 and len(parts[0]) == 1 and parts[1].startswith('#') and len(parts[1]) == 7:
                palette[parts[0]] = parse_colour(parts[1], path)
            else:
                rows.append(line)
    if width is None:
        raise SystemExit(f'{path}: no size line')
    if fill is not None:
        palette['.'] = fill
    if origin is None:
        cells_w, cells_h = width // scale, height // scale
        if len(rows) != cells_h or any(len(r) != cells_w for r in rows):
            raise SystemExit(f'{path}: expected {cells_h} rows of {cells_w} cells')
        origin = (0, 0)
    else:
        cells_w = len(rows[0]) if rows else 0
        if any(len(r) != cells_w for r in rows):
            raise SystemExit(f'{path}: all rows must have {cells_w} cells')
        if origin[0] < 0 or origin[1] < 0 or origin[0] + cells_w * scale > width \
                or origin[1] + len(rows) * scale > height:
            raise SystemExit(f'{path}: the map does not fit into the picture at {origin}')
    for y, row in enumerate(rows):
        for ch in row:
            if ch not in palette:
                raise SystemExit(f'{path}: row {y + 1}: no colour for {ch!r}')
    pixels = [[fill] * width for _ in range(height)]
    ox, oy = origin
    for y in range(len(rows) * scale):
        row = rows[y // scale]
        for x in range(cells_w * scale):
            pixels[oy + y][ox + x] = palette[row[x // scale]]
    # Pixels are (r, g, b, alpha) from here on.
    return width, height, [[p + (255,) if p else (0, 0, 0, 0) for p in line] for line in pixels]


def halve(width, height, pixels):
    """Averages each 2 x 2 block, weighting the colours by their alpha."""
    out = []
    for y in range(0, height, 2):
        line = []
        for x in range(0, width, 2):
            block = [pixels[y + dy][x + dx] for dy in (0, 1) for dx in (0, 1)]
            alpha = sum(p[3] for p in block)
            if alpha == 0:
                line.append((0, 0, 0, 0))
                continue
            r, g, b = (round(sum(p[i] * p[3] for p in block) / alpha) for i in range(3))
            line.append((r, g, b, round(alpha / 4)))
        out.append(line)
    return width // 2, height // 2, out


def bmp_rows_bottom_up(width, height, pixels, with_alpha):
    out = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for r, g, b, a in pixels[y]:
            line += bytes((b, g, r, a)) if with_alpha else bytes((b, g, r))
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


def icon_image(width, height, pixels):
    color = bmp_rows_bottom_up(width, height, pixels, True)
    mask = bytearray()
    stride = ((width + 31) // 32) * 4
    for y in reversed(range(height)):
        line = bytearray(stride)
        for x, p in enumerate(pixels[y]):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0, len(color) + len(mask), 0, 0, 0, 0)
    return info + color + bytes(mask)


SCALE_SIZES = (16, 20, 24, 32, 48)


def resized(size, width, pixels):
    return [[pixels[y * width // size][x * width // size] for x in range(size)] for y in range(size)]


def write_ico(path, width, height, pixels):
    sources = {width: pixels}
    if width == height == 32:
        sources[16] = halve(width, height, pixels)[2]
    if width == height:
        for size in SCALE_SIZES:
            if size not in sources:
                base = max(s for s in sources if s <= size) if min(sources) <= size else min(sources)
                sources[size] = resized(size, base, sources[base])
    images = [(s, s, icon_image(s, s, p)) for s, p in sorted(sources.items())] if width == height \
        else [(width, height, icon_image(width, height, pixels))]
    header = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for w, h, image in images:
        entries += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, 'wb') as f:
        f.write(header + entries + b''.join(image for _, _, image in images))


def main():
    src, dst = sys.argv[1], sys.argv[2]
    width, height, pixels = read_map(src)
    (write_ico if dst.lower().endswith('.ico') else write_bmp)(dst, width, height, pixels)


if __name__ == '__main__':
    main()
