# SPDX-License-Identifier: GPL-3.0-or-later

"""The engine contract, checked from outside: invocation, output names, log
text, exit statuses and what a failed or terminated run leaves behind."""

import os
import signal
import subprocess
import unittest

import numpy as np
import soundfile as sf

from engine_fixture import MODELS, EngineTestCase

RATE = 32000


def tone(seconds, channels, rate=RATE):
    t = np.arange(int(seconds * rate)) / rate
    mono = 0.3 * np.sin(2 * np.pi * 330 * t) + 0.05 * np.sin(2 * np.pi * 55 * t)
    return np.stack([mono * (1 - 0.2 * c) for c in range(channels)], axis=1)


class Contract(EngineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.input = os.path.join(cls.scratch, "歌 song.flac")
        sf.write(cls.input, tone(3.0, 2), RATE)

    def test_every_model_writes_its_stems_with_the_inputs_rate_and_length(self):
        for model, stems in MODELS.items():
            with self.subTest(model=model):
                out = self.fresh_folder("out")
                result = self.run_engine(self.input, out, model, "WAV", "standard")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.listed(out),
                                 sorted(f"歌 song_({stem}).wav" for stem in stems))
                self.assertEqual(os.listdir(out).__len__(), len(stems), "nothing else is left")
                for name in self.listed(out):
                    info = sf.info(os.path.join(out, name))
                    self.assertEqual((info.samplerate, info.frames, info.channels),
                                     (RATE, 3 * RATE, 2))

                self.assertEqual(result.stdout.count("模型就绪"), 1)
                self.assertIn("\r分离进度 100%", result.stdout)
                written = [line for line in result.stdout.splitlines() if line.startswith("已写出 ")]
                self.assertEqual(len(written), len(stems))
                self.assertLess(result.stdout.index("模型就绪"), result.stdout.index("分离进度"))

    def test_each_format_gets_its_extension(self):
        for fmt, extension in (("FLAC", "flac"), ("MP3", "mp3")):
            with self.subTest(format=fmt):
                out = self.fresh_folder("out")
                result = self.run_engine(self.input, out, "UVR-MDX-NET-Inst_HQ_3.onnx", fmt, "high")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.listed(out), [f"歌 song_(Instrumental).{extension}",
                                                    f"歌 song_(Vocals).{extension}"])
                info = sf.info(os.path.join(out, self.listed(out)[0]))
                self.assertEqual(info.samplerate, RATE)
                if fmt == "FLAC":
                    self.assertEqual(info.frames, 3 * RATE)

    def test_formats_libsndfile_cannot_read_are_decoded_with_ffmpeg_and_mono_stays_mono(self):
        mono = os.path.join(self.scratch, "mono.wav")
        sf.write(mono, tone(2.0, 1, 44100), 44100)
        m4a = os.path.join(self.scratch, "mono.m4a")
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", mono, "-c:a", "aac", m4a],
                       check=True)
        out = self.fresh_folder("out")
        result = self.run_engine(m4a, out, "htdemucs.yaml", "WAV", "standard")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(self.listed(out)), 4)
        info = sf.info(os.path.join(out, "mono_(Vocals).wav"))
        self.assertEqual((info.samplerate, info.channels), (44100, 1))
        self.assertAlmostEqual(info.frames / 44100, 2.0, delta=0.05)

    def test_bad_invocations_fail_with_a_reason_and_leave_nothing_listed(self):
        not_audio = os.path.join(self.scratch, "notes.mp3")
        with open(not_audio, "w") as f:
            f.write("not audio at all\n")
        out = self.fresh_folder("out")
        cases = {
            "unknown model": ((self.input, out, "htdemucs_ft.yaml", "WAV", "high"), 2),
            "unknown format": ((self.input, out, "htdemucs.yaml", "OGG", "high"), 2),
            "unknown quality": ((self.input, out, "htdemucs.yaml", "WAV", "best"), 2),
            "missing input": ((os.path.join(self.scratch, "gone.wav"), out, "htdemucs.yaml",
                               "WAV", "high"), 3),
            "input that is not audio": ((not_audio, out, "htdemucs.yaml", "WAV", "high"), 3),
            "missing output folder": ((self.input, os.path.join(out, "missing"), "htdemucs.yaml",
                                       "WAV", "high"), 4),
            "too few arguments": ((self.input, out), 2),
        }
        for name, (arguments, status) in cases.items():
            with self.subTest(name):
                result = self.run_engine(*arguments)
                self.assertEqual(result.returncode, status, result.stderr)
                reason = [line for line in result.stderr.splitlines() if line.strip()]
                self.assertEqual(len(reason), 1, result.stderr)
                self.assertTrue(reason[0].startswith("错误："))
                self.assertEqual(os.listdir(out), [])
                self.assertNotIn("模型就绪", result.stdout)

    def test_sigterm_mid_run_ends_promptly_and_leaves_no_listed_file(self):
        long_input = os.path.join(self.scratch, "long.wav")
        sf.write(long_input, tone(240.0, 2, 44100), 44100)
        out = self.fresh_folder("out")
        process = subprocess.Popen(self.command(long_input, out, "htdemucs_6s.yaml", "WAV", "high"),
                                   cwd=self.engine, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        # Wait until the run is writing stems: the first progress report.
        seen = b""
        while "分离进度".encode() not in seen:
            chunk = process.stdout.read1(4096)
            if not chunk:
                break
            seen += chunk
        self.assertIn("分离进度".encode(), seen)
        self.assertTrue(any(name.endswith(".part") for name in os.listdir(out)))
        process.send_signal(signal.SIGTERM)
        process.communicate(timeout=60)
        self.assertEqual(process.returncode, 128 + signal.SIGTERM)
        self.assertEqual(os.listdir(out), [])


if __name__ == "__main__":
    unittest.main()
