# SPDX-License-Identifier: GPL-3.0-or-later

"""A synthetic multitrack: the engine benchmark's input."""

import numpy as np

RATE = 44100


def _envelope(length, attack, decay):
    t = np.arange(length) / RATE
    return np.minimum(t / attack, 1.0) * np.exp(-t / decay)


def voice(seconds, rng):
    """A centre-panned, voice-like harmonic tone: phrases of sung notes with
    vibrato, separated by breaths."""
    n = int(seconds * RATE)
    out = np.zeros(n)
    notes = [220.0, 247.0, 262.0, 294.0, 330.0, 294.0, 262.0, 247.0]
    at = 0
    k = 0
    while at < n:
        length = min(int(rng.uniform(0.35, 0.8) * RATE), n - at)
        f0 = notes[k % len(notes)]
        t = np.arange(length) / RATE
        vibrato = 1.0 + 0.012 * np.sin(2 * np.pi * 5.5 * t)
        phase = 2 * np.pi * np.cumsum(f0 * vibrato) / RATE
        tone = sum(np.sin(h * phase) / h ** 1.2 for h in range(1, 12))
        fade = np.minimum(1.0, np.minimum(t / 0.04, (t[-1] - t + 1e-9) / 0.06))
        out[at:at + length] = 0.25 * tone * fade
        at += length
        k += 1
        if k % 4 == 0:
            at += int(0.3 * RATE)  # a breath between phrases
    return np.stack([out, out], axis=1)


def drums(seconds, rng):
    """Kicks as swept sines on the beat, snares and hats as noise bursts."""
    n = int(seconds * RATE)
    out = np.zeros(n)
    beat = int(0.5 * RATE)
    kick_len = int(0.25 * RATE)
    t = np.arange(kick_len) / RATE
    kick = np.sin(2 * np.pi * np.cumsum(50 + 120 * np.exp(-t / 0.03)) / RATE)
    kick *= _envelope(kick_len, 0.002, 0.08)
    snare_len = int(0.18 * RATE)
    hat_len = int(0.05 * RATE)
    for at in range(0, n, beat):
        step = at // beat
        if step % 2 == 0:
            end = min(n, at + kick_len)
            out[at:end] += 0.6 * kick[:end - at]
        else:
            end = min(n, at + snare_len)
            out[at:end] += 0.35 * rng.standard_normal(end - at) * _envelope(snare_len, 0.001, 0.05)[:end - at]
        half = at + beat // 2
        if half < n:
            end = min(n, half + hat_len)
            out[half:end] += 0.12 * rng.standard_normal(end - half) * _envelope(hat_len, 0.0005, 0.012)[:end - half]
    return np.stack([out, out], axis=1)


def bass(seconds, rng):
    """A low bass line, two notes a bar."""
    n = int(seconds * RATE)
    out = np.zeros(n)
    notes = [55.0, 55.0, 73.4, 65.4, 49.0, 55.0, 82.4, 73.4]
    length = RATE
    for k, at in enumerate(range(0, n, length)):
        end = min(n, at + length)
        t = np.arange(end - at) / RATE
        f = notes[k % len(notes)]
        tone = np.sin(2 * np.pi * f * t) + 0.3 * np.sin(4 * np.pi * f * t)
        out[at:end] = 0.35 * tone * _envelope(end - at, 0.01, 0.9)
    return np.stack([out, out], axis=1)


def _pluck(frequency, length, rng):
    """Karplus-Strong string."""
    period = int(RATE / frequency)
    buffer = rng.uniform(-1, 1, period)
    out = np.zeros(length)
    for i in range(length):
        out[i] = buffer[i % period]
        buffer[i % period] = 0.996 * 0.5 * (buffer[i % period] + buffer[(i + 1) % period])
    return out


def chords(seconds, rng):
    """Plucked chords, panned to the left."""
    n = int(seconds * RATE)
    out = np.zeros(n)
    shapes = [(196.0, 247.0, 294.0, 392.0), (220.0, 262.0, 330.0, 440.0),
              (175.0, 220.0, 262.0, 349.0), (196.0, 247.0, 294.0, 370.0)]
    length = 2 * RATE
    for k, at in enumerate(range(0, n, length)):
        end = min(n, at + length)
        for j, f in enumerate(shapes[k % len(shapes)]):
            offset = at + j * int(0.02 * RATE)
            if offset < end:
                out[offset:end] += 0.12 * _pluck(f, end - offset, rng)
    return np.stack([0.9 * out, 0.3 * out], axis=1)


def multitrack(seconds=12.0, seed=7):
    """The four sources, scaled together so that their mixture peaks at 0.8."""
    rng = np.random.default_rng(seed)
    sources = {
        "voice": voice(seconds, rng),
        "drums": drums(seconds, rng),
        "bass": bass(seconds, rng),
        "chords": chords(seconds, rng),
    }
    scale = 0.8 / np.abs(sum(sources.values())).max()
    return {name: source * scale for name, source in sources.items()}
