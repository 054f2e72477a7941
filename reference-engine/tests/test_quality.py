"""Separation quality on a synthetic multitrack with known sources: every stem
must be clearly closer to its source than the mixture is, and the stems of
every stem set must add back up to the input."""

import glob
import os
import re

import numpy as np
import soundfile as sf

from engine_fixture import MODELS, EngineTestCase
from multitrack import RATE, multitrack, sdr

# Measured improvements over the mixture-as-estimate baseline were 9.6 dB and
# more (bass, standard quality) on this multitrack; the bound leaves headroom
# for numeric differences between machines, not for a worse separation.
MIN_IMPROVEMENT_DB = 6.0
MAX_SUM_ERROR_DB = -60.0


class Quality(EngineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sources = multitrack()
        cls.mixture = sum(cls.sources.values())
        cls.input = os.path.join(cls.scratch, "mix.wav")
        sf.write(cls.input, cls.mixture, RATE, subtype="FLOAT")

    def separate(self, model, quality):
        out = self.fresh_folder("out")
        result = self.run_engine(self.input, out, model, "WAV", quality)
        self.assertEqual(result.returncode, 0, result.stderr)
        stems = {}
        for path in glob.glob(os.path.join(out, "*.wav")):
            stems[re.search(r"_\((\w+)\)\.wav$", path).group(1)] = sf.read(path)[0]
        return stems

    def test_each_stem_beats_the_mixture_baseline(self):
        s = self.sources
        truth = {
            "Vocals": s["voice"],
            "Drums": s["drums"],
            "Bass": s["bass"],
            "Other": s["chords"],
            "Instrumental": s["drums"] + s["bass"] + s["chords"],
        }
        for model in ("UVR-MDX-NET-Inst_HQ_3.onnx", "htdemucs.yaml"):
            for quality in ("standard", "high"):
                stems = self.separate(model, quality)
                for name, estimate in stems.items():
                    with self.subTest(model=model, quality=quality, stem=name):
                        gained = sdr(truth[name], estimate) - sdr(truth[name], self.mixture)
                        self.assertGreater(gained, MIN_IMPROVEMENT_DB)

    def test_stems_sum_back_to_the_input(self):
        energy = np.sum(self.mixture ** 2)
        for model in MODELS:
            for quality in ("standard", "high"):
                with self.subTest(model=model, quality=quality):
                    total = sum(self.separate(model, quality).values())
                    error = 10 * np.log10(np.sum((total - self.mixture) ** 2) / energy)
                    self.assertLess(error, MAX_SUM_ERROR_DB)
