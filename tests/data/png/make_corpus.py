#!/usr/bin/python3
"""Makes the PNG decoder's test corpus: small animated and still PNG files, each good one with the
frames a reference reader composes from it (<name>.rgba: every frame's canvas, RGBA bytes, one after
another) and a line in expected.txt; hostile files get a line with part of the message they must get.

The reference reader is Pillow (Debian's python3-pil). Two files it cannot serve: Pillow lays a
frame "over" the canvas by pasting it with its own alpha as the mask, which is the APNG rule only
where the frame's alpha is 0 or 255, and it cannot read interlaced APNG frames. For those two the
frames come from this script's own model of the rule (exact fractions, halves rounded up), and the
model must give Pillow's frames for every other file.

Run once, from anywhere: /usr/bin/python3 tests/data/png/make_corpus.py
"""
import math
import os
import struct
import zlib
from fractions import Fraction

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
NONE, BACKGROUND, PREVIOUS = 0, 1, 2
SOURCE, OVER = 0, 1


def chunk(kind, data):
    body = kind.encode() + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


# --- Writing: pixels are RGBA tuples; each colour type stores them its own way. ---------------

def sample_bytes(px, ctype, depth, palette):
    r, g, b, a = px
    if ctype == 6:
        return bytes((r, g, b, a))
    if ctype == 4:
        return bytes((r, a))
    if ctype == 2 and depth == 16:  # readers keep the high bytes (rounding would raise most of these)
        return bytes((r, 0xFF, g, 0xC0, b, 0x80))
    if ctype == 2:
        return bytes((r, g, b))
    raise ValueError(ctype)


def pack_row(row, ctype, depth, palette):
    if ctype in (0, 3):  # sub-byte samples, most significant bits first
        values = [p[0] >> (8 - depth) if ctype == 0 else palette.index(p) for p in row]
        bits = "".join(format(v, "0%db" % depth) for v in values)
        bits += "0" * (-len(bits) % 8)
        return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return b"".join(sample_bytes(p, ctype, depth, palette) for p in row)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_row(kind, row, prev, bpp):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i] if prev else 0
        c = prev[i - bpp] if prev and i >= bpp else 0
        pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - pred) & 0xFF)
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def raw_image(pixels, ctype, depth, palette, interlace):
    """Filtered rows, every filter type in turn, of one frame (each Adam7 pass on its own)."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    bpp = max(1, channels * depth // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    out, n = bytearray(), 0
    for x0, y0, dx, dy in passes:
        prev = None
        for y in range(y0, len(pixels), dy):
            row = pixels[y][x0::dx]
            if not row:
                continue
            packed = pack_row(row, ctype, depth, palette)
            out += filter_row(n % 5, packed, prev, bpp)
            prev, n = packed, n + 1
    return bytes(out)


def pieces(data, parts):
    size = -(-len(data) // parts)
    return [data[i:i + size] for i in range(0, len(data), size)] or [b""]


class Frame:
    def __init__(self, pixels, x=0, y=0, delay=(1, 10), dispose=NONE, blend=SOURCE):
        self.pixels, self.x, self.y, self.delay = pixels, x, y, delay
        self.dispose, self.blend = dispose, blend
        self.w, self.h = len(pixels[0]), len(pixels)


def write_png(width, height, frames, ctype=6, depth=8, plays=0, interlace=0, palette=None, animated=True,
              default_image=None, parts=1, declared=None, data=None, trns=None):
    """An APNG (a still PNG when not animated). default_image: pixels shown only by readers without
    APNG, the frames then all in fdAT chunks. data(index, compressed) may replace a frame's data."""
    out = b"\x89PNG\r\n\x1a\n" + chunk("IHDR", struct.pack(">IIBBBBB", width, height, depth, ctype, 0, 0, interlace))
    if animated:
        out += chunk("acTL", struct.pack(">II", len(frames) if declared is None else declared, plays))
    if palette:
        out += chunk("PLTE", b"".join(bytes(p[:3]) for p in palette))
        out += chunk("tRNS", bytes(p[3] for p in palette))
    if trns:  # grey or RGB: the one colour that is transparent
        out += chunk("tRNS", trns)
    seq = 0

    def compressed(index, pixels):
        z = zlib.compress(raw_image(pixels, ctype, depth, palette, interlace), 9)
        return data(index, z) if data else z

    if default_image is not None:
        for part in pieces(compressed(-1, default_image), parts):
            out += chunk("IDAT", part)
    for i, f in enumerate(frames):
        if animated:
            out += chunk("fcTL", struct.pack(">IIIIIHHBB", seq, f.w, f.h, f.x, f.y, f.delay[0], f.delay[1],
                                             f.dispose, f.blend))
            seq += 1
        for part in pieces(compressed(i, f.pixels), parts):
            if i == 0 and default_image is None:
                out += chunk("IDAT", part)
            else:
                out += chunk("fdAT", struct.pack(">I", seq) + part)
                seq += 1
    return out + chunk("IEND", b"")


# --- The model: the APNG composition rule, exactly. --------------------------------------------

def round_half_up(q):
    return math.floor(q + Fraction(1, 2))


def over(s, d):
    sa, da = s[3], d[3]
    if sa == 255 or da == 0:
        return s
    if sa == 0:
        return d
    fs, fd = Fraction(sa, 255), Fraction(da, 255) * (1 - Fraction(sa, 255))
    a = fs + fd
    return tuple(round_half_up((s[i] * fs + d[i] * fd) / a) for i in range(3)) + (round_half_up(a * 255),)


def compose(width, height, frames):
    canvas = [[(0, 0, 0, 0)] * width for _ in range(height)]
    shown = []
    for i, f in enumerate(frames):
        dispose = BACKGROUND if i == 0 and f.dispose == PREVIOUS else f.dispose
        saved = [row[f.x:f.x + f.w] for row in canvas[f.y:f.y + f.h]]
        for y in range(f.h):
            for x in range(f.w):
                d = canvas[f.y + y][f.x + x]
                canvas[f.y + y][f.x + x] = f.pixels[y][x] if f.blend == SOURCE else over(f.pixels[y][x], d)
        shown.append(b"".join(bytes(p) for row in canvas for p in row))
        for y in range(f.h):
            if dispose == BACKGROUND:
                canvas[f.y + y][f.x:f.x + f.w] = [(0, 0, 0, 0)] * f.w
            elif dispose == PREVIOUS:
                canvas[f.y + y][f.x:f.x + f.w] = saved[y]
    return shown


def pillow_frames(path, skip_default):
    im = Image.open(path)
    frames, durations = [], []
    for i in range(getattr(im, "n_frames", 1)):
        im.seek(i)
        if skip_default and i == 0:
            continue
        frames.append(im.convert("RGBA").tobytes())
        durations.append(im.info.get("duration", 0))
    return frames, durations, im.info.get("loop", 0)


# --- Pictures ---------------------------------------------------------------------------------

def picture(w, h, colour, holes=None, alpha=None):
    """w x h pixels of colour(x, y); holes(x, y) true for fully transparent ones."""
    return [[(0, 0, 0, 0) if holes and holes(x, y) else colour(x, y) + ((alpha(x, y) if alpha else 255),)
             for x in range(w)] for y in range(h)]


def gradient(x, y):
    return (x * 30 % 256, y * 40 % 256, (x * y * 7 + 90) % 256)


def flat(r, g, b):
    return lambda x, y: (r, g, b)


def grey(x, y):
    v = (x * 37 + y * 53) % 256
    return (v, v, v)


def main():
    expected = []

    def good(name, width, height, frames, golden="pillow", **kw):
        data = write_png(width, height, frames, **kw)
        path = os.path.join(HERE, name)
        with open(path, "wb") as f:
            f.write(data)
        model = compose(width, height, frames)
        delays = [round_half_up(Fraction(f.delay[0] * 1000, f.delay[1] or 100)) for f in frames]
        if golden == "pillow":
            got, durations, loop = pillow_frames(path, kw.get("default_image") is not None)
            assert got == model, name + ": the model and Pillow disagree"
            if kw.get("animated", True):
                assert [round(d) for d in durations] == delays, (name, durations, delays)
                assert loop == kw.get("plays", 0)
        with open(os.path.join(HERE, name[:-4] + ".rgba"), "wb") as f:
            f.write(b"".join(model if golden == "model" else got))
        expected.append("%s %d %d %d %s %s" % (name, width, height, kw.get("plays", 0),
                                               ",".join(map(str, delays)), golden))

    def hostile(name, data, message):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
        expected.append("%s refused %s" % (name, message))

    # Every disposal with every blending: a frame at (3, 2) with holes, then one over it that shows
    # what the disposal left; delays as fractions of a second, a denominator of 0 read as 100.
    names = {NONE: "none", BACKGROUND: "background", PREVIOUS: "previous"}
    for dispose in (NONE, BACKGROUND, PREVIOUS):
        for blend in (SOURCE, OVER):
            frames = [
                Frame(picture(8, 6, gradient), delay=(1, 10)),
                Frame(picture(4, 3, flat(200, 30, 30), holes=lambda x, y: (x + y) % 2 == 0), 3, 2,
                      delay=(7, 0), dispose=dispose, blend=blend),
                Frame(picture(3, 3, flat(20, 20, 220), holes=lambda x, y: x == 1), 4, 1, delay=(33, 1000),
                      blend=OVER),
            ]
            good("dispose-%s-blend-%s.png" % (names[dispose], "source" if blend == SOURCE else "over"),
                 8, 6, frames, plays=dispose * 2 + blend)

    good("first-frame-previous.png", 8, 6, [
        Frame(picture(8, 6, gradient, holes=lambda x, y: y == 0), dispose=PREVIOUS, delay=(1, 1)),
        Frame(picture(2, 2, flat(250, 250, 0)), 5, 3, blend=OVER, delay=(1, 3)),
    ], plays=1)

    # Frames only in fdAT chunks, each split in pieces, behind a default image browsers never show.
    good("default-image-not-a-frame.png", 8, 6, [
        Frame(picture(8, 6, flat(10, 200, 10), holes=lambda x, y: x > 5), delay=(65535, 1000)),
        Frame(picture(5, 2, gradient), 1, 4, delay=(0, 100), blend=OVER),
    ], default_image=picture(8, 6, flat(255, 0, 255)), parts=3, plays=2)

    # Colour types and bit depths that libpng expands: 4-bit palette with transparency, grey and
    # alpha, 16-bit RGB interlaced, a 1-bit grey still of an odd width.
    palette = [(0, 0, 0, 0), (255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 255), (250, 250, 250, 40)]
    pal = lambda w, h, k: [[palette[(x + y + k) % 5] for x in range(w)] for y in range(h)]
    good("palette-4bit.png", 9, 5, [Frame(pal(9, 5, 0)), Frame(pal(3, 2, 2), 5, 3, delay=(2, 25)),
                                    Frame(pal(4, 4, 1), 0, 1, delay=(1, 50))], ctype=3, depth=4, palette=palette)
    grey_alpha = picture(7, 6, grey, holes=lambda x, y: x == y)
    good("grey-alpha-split.png", 7, 6, [
        Frame(grey_alpha, delay=(3, 100)),
        Frame(picture(3, 4, flat(128, 128, 128), holes=lambda x, y: y == 1), 2, 1, dispose=PREVIOUS, blend=OVER),
        Frame(picture(6, 2, grey), 1, 3, delay=(1, 100), blend=OVER),
    ], ctype=4, parts=4, plays=5)
    # Pillow 9.4 cannot read interlaced APNG frames: the model's frames are the golden ones.
    good("rgb16-interlaced.png", 11, 9, [Frame(picture(11, 9, gradient)),
                                         Frame(picture(9, 7, grey), 1, 2, delay=(45, 1000)),
                                         Frame(picture(1, 1, flat(1, 2, 3)), 10, 8)], golden="model",
         ctype=2, depth=16, interlace=1)
    good("grey-1bit-still.png", 13, 5, [Frame(picture(13, 5, lambda x, y: (255,) * 3 if (x * y) % 3 else (0,) * 3),
                                              delay=(0, 100))], ctype=0, depth=1, animated=False)

    # Grey and RGB stills with one transparent colour (tRNS), 8 bits a sample.
    key_rgb = lambda x, y: (200, 10, 10) if (x + y) % 3 == 0 else gradient(x, y)
    good("rgb-trns-still.png", 7, 5, [Frame(picture(7, 5, key_rgb, alpha=lambda x, y: 0 if key_rgb(x, y) == (200, 10, 10) else 255),
                                            delay=(0, 100))], ctype=2, trns=struct.pack(">HHH", 200, 10, 10), animated=False)
    key_grey = lambda x, y: (77, 77, 77) if x % 2 else grey(x, y)
    good("grey-trns-still.png", 6, 4, [Frame(picture(6, 4, key_grey, alpha=lambda x, y: 0 if key_grey(x, y)[0] == 77 else 255),
                                             delay=(0, 100))], ctype=0, depth=8, trns=struct.pack(">H", 77), animated=False)

    # Partial alpha over partial alpha: the golden frames are the model's.
    soft = lambda w, h, k: picture(w, h, gradient, alpha=lambda x, y: (x * 50 + y * 30 + k) % 256)
    good("partial-alpha-over.png", 8, 6, [Frame(soft(8, 6, 7)), Frame(soft(6, 4, 100), 1, 1, blend=OVER),
                                          Frame(soft(5, 5, 200), 3, 0, blend=OVER, delay=(1, 30))],
         golden="model", plays=0)

    # Hostile files.
    base = [Frame(picture(8, 6, gradient)), Frame(picture(4, 3, flat(1, 2, 3)), 3, 2, blend=OVER),
            Frame(picture(3, 3, grey), 4, 1)]
    whole = write_png(8, 6, base)
    hostile("truncated.png", whole[:len(whole) * 2 // 3], "the file ends")
    damaged = bytearray(whole)
    at = whole.index(b"fdAT") + 10
    damaged[at] ^= 0x40
    hostile("bad-crc.png", bytes(damaged), "fdAT chunk at byte %d fails its CRC check" % (at - 14))
    hostile("bad-zlib.png", write_png(8, 6, base, data=lambda i, z: z[:2] + b"\x07" + z[3:] if i == 1 else z),
            "the image data of frame 2 cannot be decoded")
    outside = [base[0], Frame(picture(5, 5, grey), 4, 2)]
    hostile("fctl-outside.png", write_png(8, 6, outside), "frame 2 (the fcTL chunk at byte")
    hostile("fewer-frames.png", write_png(8, 6, base, declared=4), "declares 4 frames, and it has 3")
    hostile("more-frames.png", write_png(8, 6, base, declared=2), "more frames than the 2")
    swapped = write_png(8, 6, base)
    f1, f2 = swapped.index(b"fcTL", 40) - 4, swapped.index(b"IEND") - 4
    second = swapped.index(b"fcTL", f1 + 8) - 4
    hostile("out-of-order.png", swapped[:f1] + swapped[second:f2] + swapped[f1:second] + swapped[f2:],
            "was due (chunks are missing or out of order)")
    still = write_png(8, 6, [Frame(picture(8, 6, gradient))], parts=2, animated=False)
    at = still.index(b"IDAT", 41) - 4  # the second IDAT chunk
    hostile("idat-interrupted.png", still[:at] + chunk("tEXt", b"Comment\x00between") + still[at:],
            "its IDAT chunks are not all together")
    hostile("width-2-31.png", b"\x89PNG\r\n\x1a\n" + chunk("IHDR", struct.pack(">IIBBBBB", 1 << 31, 1, 8, 6, 0, 0, 0)),
            "gives a size of 2147483648 x 1, outside PNG's range")
    hostile("canvas-too-large.png",
            b"\x89PNG\r\n\x1a\n" + chunk("IHDR", struct.pack(">IIBBBBB", (1 << 31) - 1, 1, 8, 6, 0, 0, 0)),
            "is too large: one frame of 2147483647 x 1")
    # A tiny file that would decode to 30 frames of 8192 x 8192: refused at its acTL chunk.
    blank = [[(0, 0, 0, 255)] * 8192] * 8192
    bomb = write_png(8192, 8192, [Frame(blank)], ctype=0, depth=1, declared=30)
    hostile("bomb-frames.png", bomb, "is too large: its 30 frames of 8192 x 8192 need 7681 MiB of textures")
    # A 4 x 4 frame whose data would inflate to 70 MB: refused before it is read.
    excess = zlib.compress(raw_image(picture(4, 4, grey), 6, 8, None, 0) + bytes(70 << 20), 9)
    hostile("bomb-data.png", write_png(4, 4, [Frame(picture(4, 4, grey))], data=lambda i, z: excess),
            "frame 1 has more compressed data than its 4 x 4 pixels could need")

    with open(os.path.join(HERE, "expected.txt"), "w") as f:
        f.write("# Made by make_corpus.py. name width height loops delays(ms) golden | name refused message\n")
        f.write("\n".join(expected) + "\n")


if __name__ == "__main__":
    main()
