# SPDX-License-Identifier: GPL-3.0-or-later

"""Separation quality on songs rendered track by track from General MIDI files
(evaluation/songs.py), judged against what needs no separating at all: every
stem of every mode must score above silence, and the vocals, drums and bass
above the best-scaled mixture. The judgement itself must reject scaled
copies of the input and silence. The stems of every stem set must add back
up to the input."""

import os
import sys
import tempfile

import numpy as np
import soundfile as sf

from engine_fixture import ENGINE_SOURCE, MODELS, EngineTestCase

sys.path.insert(0, os.path.join(ENGINE_SOURCE, "evaluation"))
import evaluate  # noqa: E402
import songs  # noqa: E402

SONG_SECONDS = 20.0
SONG_COUNT = 3
# Measured on these songs: the engine's stems scored 0.24 dB (six-stem Piano)
# and more; its vocals, drums and bass 0.8 to 1.1 dB above the best-scaled
# mixture. The bounds leave headroom for numeric differences between
# machines, not for a worse separation.
ABOVE_SILENCE_DB = 0.1
ABOVE_SCALED_MIXTURE_DB = 0.5
FOUND_STEMS = ("Vocals", "Drums", "Bass")
MAX_SUM_ERROR_DB = -100.0


def shortfalls(table):
    """What a separation misses, one line per stem; none when it passes."""
    missed = []
    for stem, score in table.items():
        engine, scaled = score["engine"], score["scaled mixture"]
        if engine is None or engine < ABOVE_SILENCE_DB:
            level = "no sound" if engine is None else f"{engine:.2f} dB"
            missed.append(f"{stem}: {level}, no better than silence")
        elif stem in FOUND_STEMS and engine < scaled + ABOVE_SCALED_MIXTURE_DB:
            missed.append(f"{stem}: {engine:.2f} dB, scaled mixture {scaled:.2f} dB")
    return missed


class Quality(EngineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.songs = songs.make_songs(os.path.join(cls.scratch, "songs"), SONG_SECONDS,
                                     SONG_COUNT)

    def judged(self, model, estimator):
        return shortfalls(evaluate.scores(self.songs, model, {
            "engine": estimator,
            "scaled mixture": evaluate.scaled_mixtures,
        }))

    def test_every_stem_of_every_mode_separates(self):
        engine = os.path.join(self.engine, "separate_job.py")
        for model in MODELS:
            with self.subTest(model=model), tempfile.TemporaryDirectory() as scratch:
                self.assertEqual(
                    self.judged(model, evaluate.engine_stems(engine, model, "standard",
                                                             scratch)), [])

    def test_the_judgement_rejects_what_does_not_separate(self):
        def copies(folder, truth, mixture):
            return {stem: mixture / len(truth) for stem in truth}

        def silence(folder, truth, mixture):
            return {stem: np.zeros_like(mixture) for stem in truth}

        for model, stems in MODELS.items():
            found = {stem for stem in stems if stem in FOUND_STEMS}
            for name, estimator, caught in (("copies", copies, found),
                                            ("best-scaled", evaluate.scaled_mixtures, found),
                                            ("silence", silence, set(stems))):
                with self.subTest(model=model, estimate=name):
                    missed = {line.split(":")[0] for line in self.judged(model, estimator)}
                    self.assertLessEqual(caught, missed)

    def test_stems_sum_back_to_the_input(self):
        song = self.songs[0]
        mixture = sf.read(os.path.join(song, "mixture.wav"), always_2d=True)[0]
        energy = np.sum(mixture ** 2)
        for model in MODELS:
            for quality in ("standard", "high"):
                with self.subTest(model=model, quality=quality):
                    out = self.fresh_folder("out")
                    result = self.run_engine(os.path.join(song, "mixture.wav"), out, model,
                                             "WAV", quality)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    total = sum(sf.read(os.path.join(out, name), always_2d=True)[0]
                                for name in self.listed(out))
                    error = 10 * np.log10(np.sum((total - mixture) ** 2) / energy)
                    self.assertLess(error, MAX_SUM_ERROR_DB)
