#!/usr/bin/env python3
"""Synthesizes Quiblet's three sounds as 16-bit mono WAVE files.

Paper1.wav   a note deleted: a short crumpling rustle
Paper2.wav   a note hidden: a soft rising swish
bellsong.wav the default alarm: a little three-bell tune
Usage: make_sounds.py <output folder>
"""
import math
import os
import random
import struct
import sys
import wave

RATE = 22050


def write(path, samples):
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b''.join(struct.pack('<h', max(-32767, min(32767, int(s * 32767)))) for s in samples))


def rustle(seconds, seed, rising):
    rnd = random.Random(seed)
    n = int(RATE * seconds)
    out, low = [], 0.0
    for i in range(n):
        t = i / n
        env = math.sin(math.pi * t) ** 2
        if not rising:
            env *= 0.6 + 0.4 * (rnd.random() > 0.85)
        cutoff = 0.15 + 0.6 * t if rising else 0.5
        low += cutoff * (rnd.uniform(-1, 1) - low)
        out.append(0.5 * env * low)
    return out


def bells():
    notes = [(880.0, 0.0), (1108.7, 0.25), (1318.5, 0.5), (1760.0, 0.9)]
    n = int(RATE * 2.0)
    out = [0.0] * n
    for freq, start in notes:
        s0 = int(start * RATE)
        for i in range(s0, n):
            t = (i - s0) / RATE
            env = math.exp(-3.5 * t)
            out[i] += 0.22 * env * (math.sin(2 * math.pi * freq * t) + 0.4 * math.sin(2 * math.pi * 2.76 * freq * t))
    return out


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, 'Paper1.wav'), rustle(0.45, 1, False))
    write(os.path.join(folder, 'Paper2.wav'), rustle(0.35, 2, True))
    write(os.path.join(folder, 'bellsong.wav'), bells())


if __name__ == '__main__':
    main()
