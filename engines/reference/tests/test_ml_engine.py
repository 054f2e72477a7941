# SPDX-License-Identifier: GPL-3.0-or-later

"""The machine-learning engine folder (make_ml_engine_folder.sh) and its
adapter, tested with a stand-in for the audio-separator package
(tests/standin, NOT the library, which cannot be downloaded here): the folder
is made with pip, and the adapter keeps Tonfield's engine invocation."""

import os
import shutil
import subprocess
import tempfile

import numpy as np
import soundfile as sf

from engine_fixture import ENGINE_SOURCE, MODELS, EngineTestCase

HERE = os.path.dirname(os.path.abspath(__file__))


class MachineLearningEngine(EngineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tonfield-ml-engine-test-")
        cls.engine = os.path.join(cls.scratch, "ML Engine")
        package = os.path.join(cls.scratch, "standin")
        shutil.copytree(os.path.join(HERE, "standin"), package)
        # Offline: the stand-in is built with Debian's setuptools.
        env = dict(os.environ, TONFIELD_ML_PACKAGE=package, PIP_NO_INDEX="1",
                   PIP_NO_BUILD_ISOLATION="0")
        made = subprocess.run([os.path.join(ENGINE_SOURCE, "make_ml_engine_folder.sh"),
                               cls.engine], env=env, capture_output=True, text=True)
        if made.returncode != 0:
            raise AssertionError(made.stdout + made.stderr)
        cls.input = os.path.join(cls.scratch, "歌 song.wav")
        t = np.arange(32000) / 32000
        sf.write(cls.input, np.stack([0.3 * np.sin(2 * np.pi * 330 * t)] * 2, axis=1), 32000)

    def test_every_model_writes_its_stems_under_tonfields_names(self):
        for model, stems in MODELS.items():
            for fmt, extension in (("WAV", "wav"), ("FLAC", "flac")):
                with self.subTest(model=model, format=fmt):
                    out = self.fresh_folder("out")
                    result = self.run_engine(self.input, out, model, fmt, "high")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertIn("模型就绪", result.stdout)
                    self.assertIn("Separation progress: 100%", result.stderr)  # the log
                    self.assertEqual(self.listed(out),
                                     sorted(f"歌 song_({stem}).{extension}" for stem in stems))
                    self.assertTrue(os.path.isfile(
                        os.path.join(self.engine, "data", "models", model)))

    def test_failures_keep_the_contracts_statuses_and_leave_nothing(self):
        out = self.fresh_folder("out")
        cases = (
            ((self.input, out, "htdemucs.yaml", "WAV"), 2),
            ((self.input, out, "no-such-model.onnx", "WAV", "standard"), 2),
            ((self.input, out, "htdemucs.yaml", "OGG", "standard"), 2),
            ((os.path.join(self.scratch, "missing.wav"), out, "htdemucs.yaml", "WAV",
              "standard"), 3),
            ((self.input, os.path.join(self.scratch, "no folder"), "htdemucs.yaml", "WAV",
              "standard"), 4),
        )
        for arguments, status in cases:
            with self.subTest(arguments=arguments):
                result = self.run_engine(*arguments)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertTrue(result.stderr.strip().splitlines()[-1].startswith("错误："))
        result = self.run_engine(self.input, out, "htdemucs_6s.yaml", "WAV", "standard",
                                 STANDIN_FAIL="separate")
        self.assertEqual(result.returncode, 1)
        self.assertIn("stand-in asked to fail half-way", result.stderr)
        self.assertEqual(self.listed(out), [])
        result = self.run_engine(self.input, out, "htdemucs.yaml", "WAV", "standard",
                                 STANDIN_FAIL="load")
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("模型就绪", result.stdout)
        self.assertEqual(self.listed(out), [])

