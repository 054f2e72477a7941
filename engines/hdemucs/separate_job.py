#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Tonfield's Hybrid Demucs engine: torchaudio's pipeline
HDEMUCS_HIGH_MUSDB_PLUS (drums, bass, other, vocals at 44.1 kHz), with torch
and torchaudio from Debian's packages.

    python -u separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY

The song is separated in overlapping segments whose outputs are cross-faded,
so memory stays bounded whatever its length.
"""

import os
import sys

import numpy as np

import engine_io
from engine_io import EngineError, STEM_SETS
from weights import Weights

FOUR = "htdemucs.yaml"
VOCAL = "UVR-MDX-NET-Inst_HQ_3.onnx"
SOURCES = ["drums", "bass", "other", "vocals"]
MODEL_RATE = 44100
SEGMENT_SECONDS = 10.0

# Overlap of neighbouring segments, as a share of a segment, and the offsets
# of the passes whose outputs are averaged (Demucs's "shift trick": the model
# is not invariant to where a segment starts, so shifted passes average out
# its edge and alignment errors). "high" overlaps more and makes two passes.
QUALITIES = {
    "standard": {"overlap": 0.1, "shifts": (0.0,)},
    "high": {"overlap": 0.25, "shifts": (0.0, 0.5)},
}


def blas_in_use():
    """The BLAS library torch was loaded with, from this process's mappings."""
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
            for line in maps:
                name = os.path.basename(line.split()[-1]) if line.split() else ""
                if "blas" in name:
                    return line.split()[-1]
    except OSError:
        pass
    return None


class HybridDemucs:
    models = (FOUR, VOCAL)

    def __init__(self, engine_folder):
        self.weights = Weights(engine_folder)
        self.model = None
        self.torch = None

    @staticmethod
    def refusal(model):
        return (f"Hybrid Demucs 不能做六轨分离（{model}）：它只分出人声、鼓、贝斯和其他，"
                f"请改用“四轨分离”或“人声 / 伴奏”")

    def prepare(self, job, audio, scratch):
        print(f"Hybrid Demucs：{job.model} → {'、'.join(job.stems)}；"
              f"{audio.samplerate} Hz，{audio.channels} 声道，"
              f"{audio.frames / audio.samplerate:.1f} 秒，质量 {job.quality}", flush=True)
        if audio.channels > 2:
            # The model hears two channels: more are mixed down to two first.
            audio = engine_io.open_decoded(job.input_path, scratch, ["-ac", "2"])
        self.load()
        return audio

    def load(self):
        try:
            import torch
            from torchaudio.models import hdemucs_high
        except ImportError as error:
            raise EngineError(f"缺少 Debian 软件包 python3-torchaudio（{error}）")
        blas = blas_in_use()
        if blas is not None and "openblas" not in blas:
            print(f"提示：torch 用的是 {blas}，分离会慢数倍；"
                  f"安装 libopenblas0-pthread 可以快得多", flush=True)
        path = self.weights.obtain()
        model = hdemucs_high(sources=SOURCES)
        try:
            # weights_only: a weights file is data; it must not run code.
            model.load_state_dict(torch.load(path, map_location="cpu", weights_only=True))
        except Exception as error:
            self.weights.remove()
            reason = str(error).strip().splitlines()[0] if str(error).strip() else type(error).__name__
            raise EngineError(f"模型文件无法载入，已删除，下次运行会重新下载：{reason[:200]}")
        self.weights.remember()
        model.eval()
        self.model = model
        self.torch = torch

    def separate(self, job, audio, writers):
        settings = QUALITIES[job.quality]
        rate = audio.samplerate
        segment = int(SEGMENT_SECONDS * rate)
        overlap = int(settings["overlap"] * segment)
        hop = segment - overlap
        shifts = [int(seconds * rate) for seconds in settings["shifts"]]
        total = audio.frames
        mean, scale = loudness(audio)
        reader = engine_io.SequentialReader(audio)
        carried = None  # the faded-out tail of the last segment, awaiting the next
        first = 0
        while first < total:
            last = min(first + segment, total)
            estimate = sum(self.estimate(reader, first - shift, last, mean, scale)[:, :, shift:]
                           for shift in shifts) / len(shifts)
            estimate *= crossfade(last - first, overlap, first > 0, last < total)[None, None, :]
            if carried is not None:
                estimate[:, :, :carried.shape[2]] += carried
            done = min(first + hop, total) if last < total else total
            keep = done - first
            self.write(job, writers, estimate[:, :, :keep], audio.channels)
            carried = estimate[:, :, keep:] if last < total else None
            reader.forget_before(done - max(shifts))
            first = done
            engine_io.print_progress(first, total)
        print(flush=True)

    def estimate(self, reader, first, last, mean, scale):
        """The four sources of samples [first, last) at the input's rate:
        an array (sources, 2, samples)."""
        torch = self.torch
        samples = reader.range(first, last).T
        if samples.shape[0] == 1:
            samples = np.repeat(samples, 2, axis=0)
        with torch.no_grad():
            mix = (torch.from_numpy(np.ascontiguousarray(samples)) - mean) / scale
            rate = reader.audio.samplerate
            if rate != MODEL_RATE:
                mix = resample(mix, rate, MODEL_RATE)
            sources = self.model(mix[None])[0]
            if rate != MODEL_RATE:
                sources = fit(resample(sources, MODEL_RATE, rate), last - first)
            # The mix's offset shared among the sources, not added to each (as
            # Demucs does), so that the stems add up to the song.
            return (sources * scale + mean / len(SOURCES)).numpy()

    @staticmethod
    def write(job, writers, estimate, channels):
        named = dict(zip(SOURCES, estimate))
        if job.model == VOCAL:
            stems = {"Vocals": named["vocals"],
                     "Instrumental": named["drums"] + named["bass"] + named["other"]}
        else:
            stems = {stem: named[stem.lower()] for stem in job.stems}
        for stem, samples in stems.items():
            if channels == 1:
                samples = samples.mean(axis=0, keepdims=True)
            writers.write(stem, samples.T)


def loudness(audio):
    """The mean and standard deviation of the song's mono mix, by which the
    model's input is normalised (as torchaudio's Hybrid Demucs tutorial
    does), read in one pass without holding the song."""
    count, total, squares = 0, 0.0, 0.0
    for block in audio.blocks(blocksize=1 << 18, dtype="float32", always_2d=True):
        mono = block.mean(axis=1, dtype=np.float64)
        count += len(mono)
        total += mono.sum()
        squares += np.square(mono).sum()
    audio.seek(0)
    mean = total / count
    variance = max(squares / count - mean * mean, 0.0)
    # Digital silence has no spread: leave its scale alone.
    return float(mean), float(np.sqrt(variance)) if variance > 1e-12 else 1.0


def crossfade(length, overlap, fade_in, fade_out):
    """Weights of one segment: linear ramps over the overlaps it shares with
    its neighbours, which sum to one with theirs."""
    weights = np.ones(length, dtype=np.float32)
    ramp = (np.arange(overlap, dtype=np.float32) + 0.5) / overlap
    if fade_in:
        weights[:min(overlap, length)] = ramp[:length]
    if fade_out and length >= overlap:
        weights[length - overlap:] *= ramp[::-1]
    return weights


def resample(signal, source_rate, target_rate):
    import torchaudio.functional
    return torchaudio.functional.resample(signal, source_rate, target_rate)


def fit(signal, length):
    """Cuts or zero-pads the last axis to `length`: resampling there and back
    may be a sample off."""
    import torch
    if signal.shape[-1] >= length:
        return signal[..., :length]
    return torch.nn.functional.pad(signal, (0, length - signal.shape[-1]))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(engine_io.main(HybridDemucs(here)))
