#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Tonfield's reference separation engine.

A signal-processing stand-in for a machine-learning engine: it separates with
short-time Fourier transform masks, so Tonfield does its whole job on a machine
where no model weights can be had.

    python -u separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY

The masks of every stem set sum to one in each time-frequency bin, so the stems
add back up to the input. The audio is processed in overlapping segments whose
margins cover every frame and filter context that the kept samples depend on:
the result equals a whole-file computation while memory stays bounded.
"""

import sys

import numpy as np
from numpy.lib.stride_tricks import sliding_window_view

import engine_io
from engine_io import STEM_SETS

# window length and hop in samples. "high" overlaps its windows twice as
# much: the masks are estimated four times as often, which smooths them.
WINDOWS = {"standard": (4096, 1024), "high": (4096, 512)}

# Context of the median filters, kept in seconds and hertz so that both
# qualities look at the same stretch of sound.
HARMONIC_SECONDS = 0.2  # across time, for the harmonic estimate
PERCUSSIVE_HZ = 180.0  # across frequency, for the percussive estimate
# How much one estimate must outweigh the other before a bin counts as
# harmonic or percussive; what neither claims goes to the accompaniment.
# Four stems give that residue to Other alone, which a stricter split feeds
# (measured: Other +0.6 dB, Bass +0.1); six stems share it three ways, where
# the stricter split leaves Other below silence.
SEPARATION_FACTOR = {"htdemucs.yaml": 2.5}
DEFAULT_SEPARATION_FACTOR = 1.5
SEGMENT_SECONDS = 10.0
# Frames per call of numpy's transform, which works in double precision:
# bounds its temporary copies, whatever the segment's length.
FFT_BLOCK = 128
VOICE_BAND_HZ = (120.0, 8000.0)
# Bass fades out between these (a raised cosine), rather than stopping dead.
BASS_CROSSOVER_HZ = (150.0, 300.0)


# ---------------------------------------------------------------- masks


def band(freqs, low, high):
    return ((freqs >= low) & (freqs < high)).astype(np.float32)[:, None]


def crossover(freqs, start, end):
    """1 below `start`, 0 above `end`, a raised cosine between."""
    position = np.clip((freqs - start) / (end - start), 0.0, 1.0)
    return (0.5 + 0.5 * np.cos(np.pi * position)).astype(np.float32)[:, None]


def median_sizes(rate, window_size, hop):
    """The median filters' lengths in frames (across time) and bins (across
    frequency), odd so that each is centred."""
    frames = int(round(HARMONIC_SECONDS * rate / hop)) // 2 * 2 + 1
    bins = int(round(PERCUSSIVE_HZ * window_size / rate)) // 2 * 2 + 1
    return frames, bins


def running_median(values, size, axis):
    """The median of each value's odd-sized neighbourhood along one axis, the
    edges repeated beyond the ends (what scipy.ndimage.median_filter gives
    with mode "nearest", exactly: numpy alone does it, so the engine needs no
    scipy). Worked in blocks of rows to bound the windows' copy."""
    half = size // 2
    moved = np.moveaxis(values, axis, -1)
    padded = np.pad(moved, [(0, 0)] * (moved.ndim - 1) + [(half, half)], mode="edge")
    out = np.empty_like(moved)
    rows = max(1, (1 << 22) // (moved.shape[-1] * size))
    for first in range(0, moved.shape[0], rows):
        windows = sliding_window_view(padded[first:first + rows], size, axis=-1)
        out[first:first + rows] = np.partition(windows, half, axis=-1)[..., half]
    return np.moveaxis(out, -1, axis)


def stem_masks(spectra, freqs, stems, sizes):
    """Soft masks, one per stem, that sum to one in every bin.

    spectra: complex array (channels, bins, frames); sizes: median_sizes()."""
    frames, bins = sizes
    magnitude = np.abs(spectra).sum(axis=0)
    harmonic = running_median(magnitude, frames, axis=1) ** 2
    percussive = running_median(magnitude, bins, axis=0) ** 2
    eps = np.float32(1e-12)
    model = next(name for name, stem_set in STEM_SETS.items() if stem_set == stems)
    beta = SEPARATION_FACTOR.get(model, DEFAULT_SEPARATION_FACTOR) ** 2
    p_share = percussive / (percussive + beta * harmonic + eps)
    h_share = harmonic / (harmonic + beta * percussive + eps)

    if spectra.shape[0] >= 2:
        # How alike the channels are in level and in phase: 1 only for what
        # is panned to the centre, 0 for what is out of phase.
        left, right = spectra[0], spectra[1]
        power = np.abs(left) ** 2 + np.abs(right) ** 2
        alike = 2.0 * np.real(left * np.conj(right)) / (power + eps)
        centre = np.clip(alike, 0.0, 1.0) ** 4
    else:
        centre = np.ones_like(magnitude)

    voice = centre * band(freqs, *VOICE_BAND_HZ)
    masks = {"Vocals": h_share * voice}
    if stems == STEM_SETS["UVR-MDX-NET-Inst_HQ_3.onnx"]:
        masks["Instrumental"] = 1.0 - masks["Vocals"]
        return masks

    masks["Drums"] = p_share
    masks["Bass"] = h_share * (1.0 - voice) * crossover(freqs, *BASS_CROSSOVER_HZ)
    if "Guitar" in stems:
        # Nothing here tells a guitar from a piano: each of the three gets an
        # equal share of what is left, which never scores below silence.
        rest = (1.0 - masks["Vocals"] - masks["Drums"] - masks["Bass"]) / 3.0
        masks["Guitar"] = rest
        masks["Piano"] = rest
    masks["Other"] = 1.0 - sum(masks.values())
    return masks


# ---------------------------------------------------------------- transform


class Transform:
    """STFT with a square-root Hann window for analysis and synthesis; overlap-
    add divided by the summed squared window reconstructs exactly."""

    def __init__(self, window_size, hop, rate):
        self.size = window_size
        self.hop = hop
        self.window = np.sqrt(np.hanning(window_size + 1)[:-1]).astype(np.float32)
        self.freqs = np.fft.rfftfreq(window_size, 1.0 / rate)

    def forward(self, samples):
        """samples (length, channels) -> (channels, bins, frames)."""
        count = (len(samples) - self.size) // self.hop + 1
        spectra = np.empty((samples.shape[1], self.size // 2 + 1, count), dtype=np.complex64)
        for first in range(0, count, FFT_BLOCK):
            starts = self.hop * np.arange(first, min(first + FFT_BLOCK, count))
            frames = samples.T[:, starts[:, None] + np.arange(self.size)] * self.window
            spectra[:, :, first:first + len(starts)] = np.fft.rfft(frames, axis=-1).transpose(0, 2, 1)
        return spectra

    def inverse(self, spectra, length):
        out = np.zeros((spectra.shape[0], length), dtype=np.float32)
        weight = np.zeros(length, dtype=np.float32)
        squared = self.window ** 2
        for first in range(0, spectra.shape[2], FFT_BLOCK):
            block = spectra[:, :, first:first + FFT_BLOCK].transpose(0, 2, 1)
            frames = np.fft.irfft(block, n=self.size, axis=-1).astype(np.float32)
            frames *= self.window
            for j in range(frames.shape[1]):
                at = (first + j) * self.hop
                out[:, at:at + self.size] += frames[:, j]
                weight[at:at + self.size] += squared
        return out / np.maximum(weight, 1e-12)


# ---------------------------------------------------------------- run


class ReferenceEngine:
    models = tuple(STEM_SETS)

    @staticmethod
    def refusal(model):
        return f"未知模型：{model}"

    @staticmethod
    def prepare(job, audio, scratch):
        print(f"参考引擎（信号处理）：{job.model} → {'、'.join(job.stems)}；"
              f"{audio.samplerate} Hz，{audio.channels} 声道，"
              f"{audio.frames / audio.samplerate:.1f} 秒", flush=True)
        return audio

    @staticmethod
    def separate(job, audio, writers):
        window_size, hop = WINDOWS[job.quality]
        transform = Transform(window_size, hop, audio.samplerate)
        sizes = median_sizes(audio.samplerate, window_size, hop)
        total = audio.frames
        segment = max(hop, int(SEGMENT_SECONDS * audio.samplerate) // hop * hop)
        # Every kept sample depends on frames within one window of it, and
        # those frames' masks on half the harmonic median's frames either side.
        margin = window_size + (sizes[0] // 2 + 1) * hop
        reader = engine_io.SequentialReader(audio)

        first = 0
        while first < total:
            last = min(first + segment, total)
            region = reader.range(first - margin, last + margin)
            spectra = transform.forward(region)
            masks = stem_masks(spectra, transform.freqs, job.stems, sizes)
            keep = slice(margin, margin + last - first)
            for stem in job.stems:
                stem_signal = transform.inverse(spectra * masks[stem][None], len(region))
                writers.write(stem, stem_signal[:, keep].T)
            reader.forget_before(last - margin)
            first = last
            engine_io.print_progress(first, total)
        print(flush=True)


if __name__ == "__main__":
    sys.exit(engine_io.main(ReferenceEngine))
