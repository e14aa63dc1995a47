#!/usr/bin/env python3
"""Tiles PNG captures into one contact sheet, left to right, top to bottom.

usage: contact_sheet.py OUT.png COLUMNS SCALE IN.png...

Reads 8-bit RGB or RGBA PNGs (not interlaced), keeps every SCALE-th pixel, and writes one RGB PNG
with a thin border between the tiles. Only the Python standard library is used.
"""
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError(f"{path}: only 8-bit RGB/RGBA without interlacing")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride if kind else 0):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, channels, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    out, columns, scale, inputs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
    tiles = []
    for path in inputs:
        width, height, channels, rows = read_png(path)
        tile = []
        for y in range(0, height, scale):
            row = rows[y]
            tile.append(b"".join(row[x * channels:x * channels + 3] for x in range(0, width, scale)))
        tiles.append(tile)
    tile_h, tile_w = len(tiles[0]), len(tiles[0][0]) // 3
    border = 4
    grid_rows = (len(tiles) + columns - 1) // columns
    sheet_w = columns * tile_w + (columns + 1) * border
    sheet_h = grid_rows * tile_h + (grid_rows + 1) * border
    background = b"\x20\x20\x20"
    sheet = [bytearray(background * sheet_w) for _ in range(sheet_h)]
    for n, tile in enumerate(tiles):
        top = border + (n // columns) * (tile_h + border)
        left = (border + (n % columns) * (tile_w + border)) * 3
        for y, line in enumerate(tile[:tile_h]):
            sheet[top + y][left:left + len(line)] = line
    write_png(out, sheet_w, sheet_h, [bytes(r) for r in sheet])


if __name__ == "__main__":
    main()
