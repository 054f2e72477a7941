# SPDX-License-Identifier: GPL-3.0-or-later

"""The Hybrid Demucs engine, run as Tonfield runs it, with torchaudio's real
model from Debian's package. The trained weights cannot be had here: the test
makes weights of the same architecture, randomly initialised and saved as the
pipeline's file is (a state dict), and serves them from a loopback mirror."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

import numpy as np
import soundfile as sf
import torch

from engine_fixture import EngineTestCase
from make_test_weights import make_test_weights
from mirror import Mirror

HERE = os.path.dirname(os.path.abspath(__file__))
ENGINE = os.path.dirname(HERE)
FOUR = "htdemucs.yaml"
VOCAL = "UVR-MDX-NET-Inst_HQ_3.onnx"
RATE = 44100


def song(seconds, channels=2, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    mono = 0.3 * np.sin(2 * np.pi * 220 * t) * (1 + np.sin(2 * np.pi * 2 * t)) / 2
    noise = np.random.default_rng(1).standard_normal(len(t)) * 0.02
    return np.stack([mono + noise * c for c in range(channels)], axis=1).astype(np.float32)


class Running:
    """An engine process whose output is collected as it comes, so a test can
    act on a line the moment it appears."""

    def __init__(self, command, cwd, env):
        self.process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        self.output = b""
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for chunk in iter(lambda: self.process.stdout.read1(4096), b""):
            with self.changed:
                self.output += chunk
                self.changed.notify_all()
        with self.changed:
            self.changed.notify_all()

    def wait_for(self, text):
        """Waits until `text` has been printed; false if the engine ended first."""
        wanted = text.encode()
        with self.changed:
            return self.changed.wait_for(
                lambda: wanted in self.output or not self.reader.is_alive())

    def finish(self):
        status = self.process.wait()
        self.reader.join()
        return status, self.output.decode()


class HybridDemucsEngine(EngineTestCase):
    engine_source = ENGINE

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.weights = os.path.join(cls.scratch, "weights.pt")
        make_test_weights(cls.weights)
        cls.mirror = Mirror(cls.weights)
        cls.input = os.path.join(cls.scratch, "歌 song.flac")
        sf.write(cls.input, song(3.0), RATE)

    @classmethod
    def tearDownClass(cls):
        cls.mirror.close()
        super().tearDownClass()

    def setUp(self):
        self.mirror.mode = "whole"
        self.mirror.release.clear()
        self.models = os.path.join(self.engine, "data", "models")
        shutil.rmtree(self.models, ignore_errors=True)

    def separate(self, *arguments, mirror=None):
        return self.run_engine(*arguments, TONFIELD_MODEL_MIRROR=mirror or self.mirror.url)

    def start(self, *arguments):
        env = dict(os.environ, PYTHONUNBUFFERED="1", TONFIELD_MODEL_MIRROR=self.mirror.url)
        return Running(self.command(*arguments), self.engine, env)

    def models_folder(self):
        return sorted(os.listdir(self.models)) if os.path.isdir(self.models) else []

    def test_four_and_vocal_write_their_stems_and_download_only_once(self):
        expected = {FOUR: ["Bass", "Drums", "Other", "Vocals"], VOCAL: ["Instrumental", "Vocals"]}
        for model, stems in expected.items():
            with self.subTest(model=model):
                out = self.fresh_folder("out")
                before = self.mirror.requests
                result = self.separate(self.input, out, model, "FLAC", "standard")
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertEqual(self.listed(out), [f"歌 song_({stem}).flac" for stem in stems])
                for name in self.listed(out):
                    info = sf.info(os.path.join(out, name))
                    self.assertEqual((info.samplerate, info.channels, info.frames),
                                     (RATE, 2, 3 * RATE))
                self.assertIn("模型就绪", result.stdout)
                self.assertEqual(self.models_folder(),
                                 ["hdemucs_high_trained.pt", "hdemucs_high_trained.pt.sha256"])
                downloads = self.mirror.requests - before
                self.assertEqual(downloads, 1 if model == FOUR else 0)
                self.assertEqual("下载模型" in result.stdout, model == FOUR)

    def test_the_instrumental_is_what_the_model_gives_besides_the_vocals(self):
        four, vocal = self.fresh_folder("four"), self.fresh_folder("vocal")
        for model, out in ((FOUR, four), (VOCAL, vocal)):
            result = self.separate(self.input, out, model, "WAV", "standard")
            self.assertEqual(result.returncode, 0, result.stderr)

        def read(folder, stem):
            return sf.read(os.path.join(folder, f"歌 song_({stem}).wav"))[0]
        accompaniment = read(four, "Drums") + read(four, "Bass") + read(four, "Other")
        # Both written as 24-bit: the sum of three roundings.
        np.testing.assert_allclose(read(vocal, "Instrumental"), accompaniment, atol=4 * 2 ** -23)
        np.testing.assert_allclose(read(vocal, "Vocals"), read(four, "Vocals"), atol=2 ** -23)

    def test_six_stems_are_refused_before_anything_is_downloaded(self):
        out = self.fresh_folder("out")
        result = self.separate(self.input, out, "htdemucs_6s.yaml", "WAV", "standard")
        self.assertEqual(result.returncode, 2)
        self.assertIn("Hybrid Demucs 不能做六轨分离", result.stderr)
        self.assertEqual(self.listed(out), [])
        self.assertEqual(self.models_folder(), [])

    def test_a_failed_download_says_why_and_leaves_nothing(self):
        closed = socket_nobody_listens_on()
        cases = {
            "no server": (closed, "whole", "无法下载模型"),
            "cut short": (None, "cut", "下载不完整"),
            "not on the mirror": (None, "missing", "服务器回答 404"),
        }
        for case, (address, mode, reason) in cases.items():
            with self.subTest(case=case):
                self.mirror.mode = mode
                out = self.fresh_folder("out")
                result = self.separate(self.input, out, FOUR, "WAV", "standard", mirror=address)
                self.assertEqual(result.returncode, 1, result.stdout)
                last = result.stderr.strip().splitlines()[-1]
                self.assertIn(reason, last)
                self.assertEqual(self.listed(out), [])
                self.assertEqual(self.models_folder(), [], "no partial download is left")
                self.assertNotIn("模型就绪", result.stdout)

    def test_weights_that_will_not_load_are_removed_and_fetched_again_next_time(self):
        garbage = os.path.join(self.scratch, "garbage.pt")
        with open(garbage, "wb") as handle:
            handle.write(os.urandom(1 << 20))
        self.mirror.body_path = garbage
        try:
            result = self.separate(self.input, self.fresh_folder("out"), FOUR, "WAV", "standard")
        finally:
            self.mirror.body_path = self.weights
        self.assertEqual(result.returncode, 1)
        self.assertIn("模型文件无法载入，已删除", result.stderr.strip().splitlines()[-1])
        self.assertEqual(self.models_folder(), [])

        result = self.separate(self.input, self.fresh_folder("out"), FOUR, "WAV", "standard")
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_weights_damaged_after_they_loaded_are_replaced(self):
        self.assertEqual(self.separate(self.input, self.fresh_folder("out"), VOCAL, "WAV",
                                       "standard").returncode, 0)
        path = os.path.join(self.models, "hdemucs_high_trained.pt")
        with open(path, "r+b") as handle:
            handle.seek(os.path.getsize(path) // 2)
            handle.write(b"\0" * 64)
        before = self.mirror.requests
        result = self.separate(self.input, self.fresh_folder("out"), VOCAL, "WAV", "standard")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("模型文件已损坏", result.stdout)
        self.assertEqual(self.mirror.requests - before, 1)

    def test_a_cancel_while_downloading_leaves_no_partial_weights(self):
        self.mirror.mode = "slow"
        out = self.fresh_folder("out")
        running = self.start(self.input, out, FOUR, "WAV", "standard")
        self.assertTrue(running.wait_for("下载模型 1%"))
        running.process.send_signal(signal.SIGTERM)
        status, output = running.finish()
        self.assertEqual(status, 143, output)
        self.assertEqual(self.models_folder(), [])
        self.assertEqual(os.listdir(out), [])

    def test_a_cancel_while_separating_leaves_no_stems(self):
        long_song = os.path.join(self.scratch, "long.wav")
        sf.write(long_song, song(60.0), RATE)
        out = self.fresh_folder("out")
        running = self.start(long_song, out, FOUR, "WAV", "standard")
        self.assertTrue(running.wait_for("分离进度"))
        running.process.send_signal(signal.SIGTERM)
        status, output = running.finish()
        self.assertEqual(status, 143, output)
        self.assertEqual(os.listdir(out), [], "partial stems are removed")


def socket_nobody_listens_on():
    """A loopback address with no server: a port just bound and released."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    return f"http://127.0.0.1:{port}"


class Segmenting(unittest.TestCase):
    """The engine's segments, overlaps, shifted passes and normalisation, with
    the network replaced by a linear one that splits its input into four equal
    shares, so the stems must add back up to the song exactly."""

    @classmethod
    def setUpClass(cls):
        sys.path[:0] = [ENGINE, os.path.join(os.path.dirname(ENGINE), "common")]
        import engine_io
        import separate_job
        cls.engine_io, cls.separate_job = engine_io, separate_job

    def separate(self, samples, rate, quality, model=FOUR):
        folder = tempfile.mkdtemp(prefix="tonfield-segments-")
        self.addCleanup(shutil.rmtree, folder)
        path = os.path.join(folder, "in.wav")
        sf.write(path, samples, rate, subtype="FLOAT")
        out = os.path.join(folder, "out")
        os.mkdir(out)
        job = self.engine_io.Job(["separate_job.py", path, out, model, "WAV", quality],
                                 self.separate_job.HybridDemucs)
        engine = self.separate_job.HybridDemucs(folder)
        engine.torch = torch
        engine.model = lambda mix: mix[:, None].repeat(1, 4, 1, 1) / 4
        with sf.SoundFile(path) as audio:
            writers = Collect(job.stems)
            engine.separate(job, audio, writers)
        return writers.samples

    def test_the_stems_add_up_to_the_song_across_segments(self):
        for seconds in (3.0, 10.0, 10.5, 27.3):
            for quality in ("standard", "high"):
                with self.subTest(seconds=seconds, quality=quality):
                    samples = song(seconds)
                    stems = self.separate(samples, RATE, quality)
                    total = sum(stems.values())
                    self.assertEqual(total.shape, samples.shape)
                    np.testing.assert_allclose(total, samples, atol=1e-5)
                    np.testing.assert_allclose(stems["Vocals"], samples / 4, atol=1e-5)

    def test_mono_stays_mono_and_another_rate_keeps_its_length(self):
        mono = self.separate(song(12.0, channels=1)[:, 0], RATE, "high", VOCAL)
        self.assertEqual(mono["Vocals"].shape, (12 * RATE, 1))
        np.testing.assert_allclose(mono["Vocals"] + mono["Instrumental"],
                                   song(12.0, channels=1), atol=1e-5)
        other_rate = self.separate(song(11.0, rate=48000), 48000, "standard")
        self.assertEqual(other_rate["Drums"].shape, (11 * 48000, 2))

    def test_silence_is_separated_into_silence(self):
        stems = self.separate(np.zeros((RATE * 2, 2), dtype=np.float32), RATE, "standard")
        for stem, samples in stems.items():
            self.assertFalse(np.any(samples), stem)


class Collect:
    """Stands in for the stem writers: keeps what would be written."""

    def __init__(self, stems):
        self.parts = {stem: [] for stem in stems}

    def write(self, stem, samples):
        self.parts[stem].append(np.array(samples))

    @property
    def samples(self):
        return {stem: np.concatenate(parts) for stem, parts in self.parts.items()}


if __name__ == "__main__":
    unittest.main()
