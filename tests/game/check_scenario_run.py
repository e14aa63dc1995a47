#!/usr/bin/env python3
"""Runs the stand-in from the command line: a scenario file (its trace and capture checked), a bad
scenario (exit code 2) and a module that crashes the game (exit code 3, reported, no hang)."""
import json
import os
import struct
import subprocess
import sys
import zlib


def run(standin, wine, args, cwd):
    return subprocess.run([wine, standin] + args, cwd=cwd, capture_output=True, text=True, timeout=300)


def read_png(path):
    """RGBA or RGB 8-bit PNG without interlace, as rows of (r, g, b) tuples."""
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
    pos, idat, width, height, channels = 8, b'', 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
            channels = 4 if colour == 6 else 3
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return rows


def cell_centre(cell, width, height, window_width=640):
    columns = window_width // 80
    return (cell % columns) * 80 + 4 + min(width, 72) // 2, (cell // columns) * 80 + 4 + min(height, 72) // 2


def near(got, expected, tolerance=3):
    return all(abs(g - e) <= tolerance for g, e in zip(got, expected))


def main():
    standin, wine, scenario, work, crash_module = sys.argv[1:6]
    os.makedirs(work, exist_ok=True)
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    result = run(standin, wine, ['--scenario', scenario, '--trace', 'trace.jsonl', '--no_asi'], work)
    check(result.returncode == 0, 'exit code %d: %s' % (result.returncode, result.stderr))
    events = [json.loads(line) for line in open(os.path.join(work, 'trace.jsonl'))]
    if len(events) < 2:
        print('FAILED: the trace holds %d lines; stderr: %s' % (len(events), result.stderr))
        return 1
    kinds = [e['event'] for e in events]
    check(kinds[0] == 'start' and kinds[-1] == 'end', 'trace starts with %s, ends with %s' % (kinds[0], kinds[-1]))
    check(events[-1].get('frames') == 4, 'frames run: %s' % events[-1])
    draws = [e for e in events if e['event'] == 'draw']
    check(len(draws) == 12, '%d draws, expected 4 frames x 3 textures' % len(draws))
    check(all(not d['swapped'] and d['raster'] == d['own_raster'] for d in draws), 'a draw used a foreign raster')
    check([d['texture'] for d in draws[:3]] == ['fire', 'leaf', 'dot'], 'scene order %s' % draws[:3])
    leaf = [d for d in draws if d['texture'] == 'leaf'][0]
    dot = [d for d in draws if d['texture'] == 'dot'][0]
    check(leaf['alpha'] and dot['palette'] != '0x0' and dot['palette_index'] == 2, 'flags %s %s' % (leaf, dot))
    resets = [e for e in events if e['event'] == 'reset']
    check(len(resets) == 1 and resets[0]['frame'] == 2 and resets[0]['result'] == 0, 'resets %s' % resets)
    messages = [(e['frame'], e['message'], e['wparam']) for e in events if e['event'] == 'message']
    for expected in [(1, 0x100, 0x41), (1, 0x101, 0x41), (2, 0x401, 7)]:
        check(expected in messages, 'message %s missing from %s' % (expected, messages))
    unload = [e for e in events if e['event'] == 'unload']
    check(len(unload) == 1 and unload[0]['changed'] == [], 'unload report %s' % unload)
    captures = [e for e in events if e['event'] == 'capture']
    check(len(captures) == 1 and captures[0]['ok'] and captures[0]['frame'] == 3, 'captures %s' % captures)

    pixels = read_png(os.path.join(work, 'frame3.png'))
    check(len(pixels) == 480 and len(pixels[0]) == 640, 'capture size')
    for cell, (w, h), colour in [(0, (64, 64), (255, 0, 0)), (1, (40, 40), (16, 80, 16)), (2, (8, 8), (0, 0, 255))]:
        x, y = cell_centre(cell, w, h)
        check(near(pixels[y][x], colour), 'cell %d at (%d, %d): %s, expected %s' % (cell, x, y, pixels[y][x], colour))
    check(near(pixels[470][630], (32, 32, 32)), 'background %s' % (pixels[470][630],))

    bad = run(standin, wine, ['--texture', 'fire,64,64,ff0000,0x123456'], work)
    check(bad.returncode == 2 and 'not a texture site' in bad.stderr, 'bad scenario: %d %s' % (bad.returncode, bad.stderr))

    crash = run(standin, wine, ['--asi', crash_module, '--trace', 'crash.jsonl', '--frames', '2'], work)
    crash_lines = open(os.path.join(work, 'crash.jsonl')).read().splitlines()
    last = json.loads(crash_lines[-1]) if crash_lines else {'event': 'nothing'}
    # Wine on qemu may report the null write as an illegal instruction rather than an access fault.
    check(crash.returncode == 3 and 'crash: exception 0xC' in crash.stderr, 'crash: %d %s' % (crash.returncode, crash.stderr))
    check(last['event'] == 'crash' and last['code'].startswith('0xC'), 'crash trace %s' % last)

    for failure in failures:
        print('FAILED: ' + failure)
    print('%d checks failed' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
