#!/usr/bin/env python3
"""Synthesizes Quiblet's three sounds as 16-bit mono WAVE files.

Paper1.wav   a note deleted: a sheet crumpled up in the hand
Paper2.wav   a note hidden: a soft swish, as of a sheet slid away
bellsong.wav the default alarm: a little rising tune of hand bells
Only the Python standard library is used; the noise comes from a seeded
generator, so every build makes the same files.
Usage: make_sounds.py <output folder>
"""
import array
import math
import os
import random
import sys
import wave

RATE = 22050


def write(path, samples, peak=0.8):
    """Scales the samples to the given peak, fades the last few milliseconds
    so the sound never ends in a click, and writes the file."""
    top = max(1e-9, max(abs(s) for s in samples))
    fade = int(RATE * 0.01)
    pcm = array.array('h')
    for i, s in enumerate(samples):
        if i >= len(samples) - fade:
            s *= (len(samples) - i) / fade
        pcm.append(max(-32767, min(32767, int(s / top * peak * 32767))))
    if sys.byteorder == 'big':
        pcm.byteswap()
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


class BandPass:
    """A band-pass biquad; its centre may move from sample to sample."""

    def __init__(self, q):
        self.q = q
        self.centre = None
        self.x1 = self.x2 = self.y1 = self.y2 = 0.0

    def __call__(self, x, centre):
        if centre != self.centre:
            self.centre = centre
            w = 2 * math.pi * centre / RATE
            alpha = math.sin(w) / (2 * self.q)
            a0 = 1 + alpha
            self.b0, self.a1, self.a2 = alpha / a0, -2 * math.cos(w) / a0, (1 - alpha) / a0
        y = self.b0 * (x - self.x2) - self.a1 * self.y1 - self.a2 * self.y2
        self.x2, self.x1 = self.x1, x
        self.y2, self.y1 = self.y1, y
        return y


def crumple(seconds=0.6, seed=11):
    """Many short crackles, thick at first and thinning out, over a quiet
    rustle: what a sheet sounds like when it is balled up."""
    rnd = random.Random(seed)
    n = int(RATE * seconds)
    out = [0.0] * n
    # the crackles: tiny bursts of bright noise, each with its own colour
    t = 0.0
    while t < seconds * 0.9:
        start = int(t * RATE)
        length = int(RATE * rnd.uniform(0.002, 0.012))
        loud = rnd.uniform(0.3, 1.0) * (1.0 - 0.6 * t / seconds)
        bp = BandPass(rnd.uniform(1.5, 3.0))
        centre = rnd.uniform(1800, 5200)
        for i in range(length):
            if start + i >= n:
                break
            env = math.exp(-5.0 * i / length)
            out[start + i] += loud * env * bp(rnd.uniform(-1, 1), centre)
        # the gaps grow as the ball gets tight
        t += rnd.expovariate(140.0 * (1.0 - 0.75 * t / seconds))
    # the rustle underneath
    bp = BandPass(0.8)
    for i in range(n):
        x = i / n
        env = math.sin(math.pi * x) ** 2 * 0.25
        out[i] += env * bp(rnd.uniform(-1, 1), 2500)
    return out


def swish(seconds=0.4, seed=5):
    """Noise through a band-pass whose centre climbs and falls again, with a
    quick rise and a longer tail."""
    rnd = random.Random(seed)
    n = int(RATE * seconds)
    bp = BandPass(1.6)
    out = []
    for i in range(n):
        x = i / n
        env = (x / 0.35) ** 1.5 if x < 0.35 else math.exp(-4.5 * (x - 0.35))
        centre = 700 + 3300 * math.sin(math.pi * min(1.0, x / 0.8)) ** 1.5
        out.append(env * bp(rnd.uniform(-1, 1), centre))
    return out


# A hand bell: the strike tone with its overtones, each dying at its own pace.
BELL_PARTIALS = [(1.0, 1.0, 2.2), (2.0, 0.45, 3.5), (3.0, 0.30, 5.0),
                 (4.16, 0.14, 7.0), (5.43, 0.08, 9.0)]


def bell_tune():
    c6, e6, g6, c7, g5 = 1046.5, 1318.5, 1568.0, 2093.0, 784.0
    notes = [(0.00, g5, 0.7), (0.17, c6, 0.75), (0.34, e6, 0.8), (0.51, g6, 0.85),
             (0.80, c7, 1.0), (0.80, e6, 0.35)]
    n = int(RATE * 2.2)
    out = [0.0] * n
    for start, freq, loud in notes:
        s0 = int(start * RATE)
        parts = [(freq * r, a, d) for r, a, d in BELL_PARTIALS if freq * r < RATE * 0.45]
        for i in range(s0, n):
            t = (i - s0) / RATE
            attack = min(1.0, t / 0.003)
            v = 0.0
            for f, a, d in parts:
                # two strings a hair apart give the tone a slow shimmer
                v += a * math.exp(-d * t) * (math.sin(2 * math.pi * f * t) + 0.5 * math.sin(2 * math.pi * f * 1.0018 * t))
            out[i] += loud * attack * v
    return out


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, 'Paper1.wav'), crumple())
    write(os.path.join(folder, 'Paper2.wav'), swish(), peak=0.6)
    write(os.path.join(folder, 'bellsong.wav'), bell_tune(), peak=0.7)


if __name__ == '__main__':
    main()
