# SPDX-License-Identifier: GPL-3.0-or-later

"""How well an engine separates the rendered songs (songs.py), against two
baselines on the same songs:

- the best-scaled mixture: the mixture times the gain that brings it closest
  to the stem, the best any output that does not separate can score;
- the oracle ratio mask: each stem's share of the summed magnitudes in the
  engine's own STFT, computed from the true stems, the best a mask-based
  method can hope for.

The score is the signal-to-distortion ratio in 1-second frames, median over
a song's frames, then median over the songs (frames where the stem is
silent, and songs without the stem, are left out). Silence scores 0 dB.

    /usr/bin/python3 evaluate.py [--seconds 30] [--count 6] [--quality standard]
                                 [--engine separate_job.py] [--songs FOLDER]
"""

import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
import soundfile as sf

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "common"))

import separate_job  # noqa: E402
import songs  # noqa: E402

MODES = {
    "2 stems": "UVR-MDX-NET-Inst_HQ_3.onnx",
    "4 stems": "htdemucs.yaml",
    "6 stems": "htdemucs_6s.yaml",
}
# What each stem of a mode holds of the six rendered parts.
PARTS = {
    "Vocals": ("Vocals",),
    "Instrumental": ("Drums", "Bass", "Guitar", "Piano", "Other"),
    "Drums": ("Drums",),
    "Bass": ("Bass",),
    "Guitar": ("Guitar",),
    "Piano": ("Piano",),
}
SILENT = 1e-8  # mean square below which a frame or a stem counts as silent


def parts_of(stem, stems):
    if stem in PARTS:
        return PARTS[stem]
    if stem == "Other" and "Guitar" not in stems:
        return ("Guitar", "Piano", "Other")
    return ("Other",)


def framewise_sdr(truth, estimate, rate=songs.RATE):
    """Median over 1-second frames of 10 log10(|s|^2 / |s - s_hat|^2); None
    when the stem is silent throughout."""
    scores = []
    for first in range(0, len(truth) - rate + 1, rate):
        s = truth[first:first + rate]
        if np.mean(s ** 2) < SILENT:
            continue
        error = np.sum((s - estimate[first:first + rate]) ** 2)
        scores.append(10 * np.log10(np.sum(s ** 2) / max(error, 1e-20)))
    return float(np.median(scores)) if scores else None


def load_song(folder):
    parts = {name: sf.read(os.path.join(folder, name + ".wav"), always_2d=True)[0]
             for name in songs.STEMS}
    mixture = sf.read(os.path.join(folder, "mixture.wav"), always_2d=True)[0]
    return parts, mixture


def truths(stems, parts):
    return {stem: sum(parts[p] for p in parts_of(stem, stems)) for stem in stems}


def best_scaled(truth, mixture):
    return mixture * (np.sum(truth * mixture) / np.sum(mixture ** 2))


def oracle_masks(truth, mixture, quality):
    """Each stem's share of the summed magnitudes, applied to the mixture."""
    window, hop = separate_job.WINDOWS[quality]
    transform = separate_job.Transform(window, hop, songs.RATE)
    # Padded by a window each side, so that every sample is fully analysed.
    def padded(audio):
        return np.pad(audio, ((window, window), (0, 0)))

    spectra = {stem: transform.forward(padded(audio)) for stem, audio in truth.items()}
    total = sum(np.abs(s) for s in spectra.values()) + 1e-12
    mixed = transform.forward(padded(mixture))
    length = len(mixture) + 2 * window
    return {stem: transform.inverse(mixed * (np.abs(s) / total), length).T[window:-window]
            for stem, s in spectra.items()}


def engine_stems(engine, model, quality, scratch):
    """An estimator running `engine` the way Tonfield does."""
    def estimate(folder, truth, mixture):
        out = tempfile.mkdtemp(dir=scratch)
        subprocess.run([sys.executable, engine, os.path.join(folder, "mixture.wav"), out,
                        model, "WAV", quality], check=True, stdout=subprocess.DEVNULL)
        return {stem: sf.read(os.path.join(out, f"mixture_({stem}).wav"), always_2d=True)[0]
                for stem in truth}
    return estimate


def scaled_mixtures(folder, truth, mixture):
    return {stem: best_scaled(audio, mixture) for stem, audio in truth.items()}


def oracle(quality):
    return lambda folder, truth, mixture: oracle_masks(truth, mixture, quality)


def scores(song_folders, model, estimators):
    """{stem: {name: median dB or None}} for each named estimator, which maps
    (song folder, true stems, mixture) to estimated stems."""
    stems = separate_job.STEM_SETS[model]
    found = {stem: {name: [] for name in estimators} for stem in stems}
    for folder in song_folders:
        parts, mixture = load_song(folder)
        truth = truths(stems, parts)
        for name, estimator in estimators.items():
            estimate = estimator(folder, truth, mixture)
            for stem in stems:
                score = framewise_sdr(truth[stem], estimate[stem])
                if score is not None:
                    found[stem][name].append(score)
    return {stem: {name: float(np.median(values)) if values else None
                   for name, values in by_name.items()}
            for stem, by_name in found.items()}


def evaluate(song_folders, engine, quality):
    """{mode: {stem: {"engine"|"scaled mixture"|"oracle mask": median dB}}}"""
    with tempfile.TemporaryDirectory() as scratch:
        return {mode: scores(song_folders, model, {
                    "engine": engine_stems(engine, model, quality, scratch),
                    "scaled mixture": scaled_mixtures,
                    "oracle mask": oracle(quality),
                }) for mode, model in MODES.items()}


def print_table(table):
    print("| mode | stem | engine | best-scaled mixture | oracle ratio mask |")
    print("|---|---|---|---|---|")
    for mode, stems in table.items():
        for stem, methods in stems.items():
            cells = ["—" if methods[m] is None else f"{methods[m]:.1f}"
                     for m in ("engine", "scaled mixture", "oracle mask")]
            print(f"| {mode} | {stem} | " + " | ".join(cells) + " |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--count", type=int, default=len(songs.SONGS))
    parser.add_argument("--quality", default="standard")
    parser.add_argument("--engine", default=os.path.join(os.path.dirname(HERE), "separate_job.py"))
    parser.add_argument("--songs", default=os.path.join(tempfile.gettempdir(), "tonfield-songs"))
    arguments = parser.parse_args()
    folders = songs.make_songs(arguments.songs, arguments.seconds, arguments.count)
    print_table(evaluate(folders, arguments.engine, arguments.quality))


if __name__ == "__main__":
    sys.exit(main())
