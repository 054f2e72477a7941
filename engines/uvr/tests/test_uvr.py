# SPDX-License-Identifier: GPL-3.0-or-later

"""The UVR engine: its set-up (make_engine_folder.sh) and whole runs of its
adapter as Tonfield runs it, over a STAND-IN for the audio-separator library
(tests/standin, which follows version 0.44.1's code paths; the library itself
cannot be downloaded here), with model files from a loopback mirror."""

import os
import re
import shutil
import signal
import subprocess
import tempfile

import numpy as np
import soundfile as sf

from engine_fixture import MODELS, EngineTestCase
from model_mirror import DEMUCS, MDX_MODEL, UVR_MODELS, Mirror, make_models

HERE = os.path.dirname(os.path.abspath(__file__))
ENGINE = os.path.dirname(HERE)
SETUP = os.path.join(ENGINE, "make_engine_folder.sh")
RATE = 44100


def offline_pip(**more):
    # The stand-in is built with Debian's setuptools, from no index.
    return dict(os.environ, PIP_NO_INDEX="1", PIP_NO_BUILD_ISOLATION="0", **more)


def path_without(folder, *tools):
    """A PATH of every program on this one but `tools`."""
    os.makedirs(folder, exist_ok=True)
    for directory in os.environ["PATH"].split(os.pathsep):
        if not os.path.isdir(directory):
            continue
        for name in os.listdir(directory):
            link = os.path.join(folder, name)
            if name not in tools and not os.path.lexists(link):
                os.symlink(os.path.join(directory, name), link)
    return folder


class UvrEngine(EngineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tonfield-uvr-test-")
        cls.library = os.path.join(cls.scratch, "standin")
        shutil.copytree(os.path.join(HERE, "standin"), cls.library)
        cls.engine = os.path.join(cls.scratch, "UVR Engine")
        made = subprocess.run([SETUP, cls.engine], capture_output=True, text=True,
                              env=offline_pip(TONFIELD_UVR_LIBRARY=cls.library))
        if made.returncode != 0:
            raise AssertionError(made.stdout + made.stderr)
        cls.mirror_root = os.path.join(cls.scratch, "mirror")
        cls.routes = make_models(cls.mirror_root)
        cls.mirror = Mirror(cls.mirror_root)
        # A name with characters the library replaces in the names it writes.
        cls.input = os.path.join(cls.scratch, "Live: take 2?.wav")
        t = np.arange(int(2.5 * 32000)) / 32000
        sf.write(cls.input, np.stack([0.3 * np.sin(2 * np.pi * 330 * t),
                                      0.2 * np.sin(2 * np.pi * 440 * t)], axis=1), 32000)
        cls.models = os.path.join(cls.engine, "data", "models")

    @classmethod
    def tearDownClass(cls):
        cls.mirror.close()
        super().tearDownClass()

    def setUp(self):
        self.mirror.cut.clear()

    def run_engine(self, *arguments, **environment):
        environment.setdefault("TONFIELD_MODEL_MIRROR", self.mirror.url)
        return super().run_engine(*arguments, **environment)

    def forget_models(self):
        shutil.rmtree(self.models, ignore_errors=True)
        os.makedirs(self.models)

    def assert_failed_cleanly(self, result, status, reason, out):
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        last = result.stderr.strip().splitlines()[-1]
        self.assertTrue(last.startswith("错误："), last)
        self.assertIn(reason, last)
        self.assertEqual(os.listdir(out), [])

    def test_every_model_and_quality_writes_whole_stems_under_tonfields_names(self):
        frames = sf.info(self.input).frames * RATE // 32000
        for model, stems in MODELS.items():
            for quality in ("standard", "high"):
                with self.subTest(model=model, quality=quality):
                    out = self.fresh_folder("out")
                    result = self.run_engine(self.input, out, model, "FLAC", quality)
                    self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                    self.assertIn("模型就绪", result.stdout)
                    self.assertIn("Starting separation process for audio_file_path", result.stderr)
                    self.assertEqual(sorted(os.listdir(out)),
                                     sorted(f"Live: take 2?_({stem}).flac" for stem in stems))
                    for stem in stems:
                        info = sf.info(os.path.join(out, f"Live: take 2?_({stem}).flac"))
                        self.assertEqual((info.samplerate, info.channels), (RATE, 2))
                        self.assertLessEqual(abs(info.frames - frames), 1)
                    # One rise from 0 to 100 for the whole job, whatever the
                    # library's passes: the window's time left holds.
                    shown = [int(p) for p in re.findall(r"分离进度\s+(\d+)%", result.stdout)]
                    self.assertEqual(shown, sorted(shown))
                    self.assertEqual(shown[-1], 100)
                    self.assertLess(shown[0], 50)

    def test_a_failure_inside_the_library_is_a_failure_with_its_reason(self):
        out = self.fresh_folder("out")
        # A full disk at the second stem: the library logs it and goes on.
        result = self.run_engine(self.input, out, "htdemucs.yaml", "WAV", "standard",
                                 STANDIN_DISK_FULL_AFTER="1")
        self.assert_failed_cleanly(result, 1, "No space left on device", out)
        self.assertNotIn("已写出", result.stdout)
        # Audio the library cannot take: silence, which it calls not valid.
        silent = os.path.join(self.scratch, "silent.wav")
        sf.write(silent, np.zeros((32000, 2)), 32000)
        result = self.run_engine(silent, out, MDX_MODEL, "WAV", "high")
        self.assert_failed_cleanly(result, 1, "is empty or not valid", out)

    def test_bad_input_and_a_missing_ffmpeg_are_said_before_the_library_starts(self):
        out = self.fresh_folder("out")
        notes = os.path.join(self.scratch, "notes.wav")
        with open(notes, "w") as text:
            text.write("not audio\n")
        result = self.run_engine(notes, out, "htdemucs.yaml", "WAV", "standard")
        self.assert_failed_cleanly(result, 3, "无法读取输入文件", out)
        no_ffmpeg = path_without(os.path.join(self.scratch, "no-ffmpeg"), "ffmpeg")
        result = self.run_engine(self.input, out, "htdemucs.yaml", "WAV", "standard",
                                 PATH=no_ffmpeg)
        self.assert_failed_cleanly(result, 1, "ffmpeg", out)
        self.assertNotIn("Separator version", result.stderr)
        result = self.run_engine(self.input, out, "no-such-model.onnx", "WAV", "standard")
        self.assert_failed_cleanly(result, 2, "未知模型", out)

    def test_the_library_keeps_to_the_engine_folder_whatever_the_environment_says(self):
        self.forget_models()
        out = self.fresh_folder("out")
        result = self.run_engine(self.input, out, MDX_MODEL, "WAV", "standard",
                                 AUDIO_SEPARATOR_MODEL_DIR=os.path.join(self.scratch, "elsewhere"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isfile(os.path.join(self.models, MDX_MODEL)))
        self.assertFalse(os.path.exists(os.path.join(self.scratch, "elsewhere")))

    def test_cancel_exits_143_and_leaves_nothing(self):
        out = self.fresh_folder("out")
        temporary = self.fresh_folder("tmp")
        env = dict(os.environ, PYTHONUNBUFFERED="1", TONFIELD_MODEL_MIRROR=self.mirror.url,
                   STANDIN_SECONDS_PER_STEP="0.5", TMPDIR=temporary)
        process = subprocess.Popen(self.command(self.input, out, "htdemucs_6s.yaml", "WAV", "high"),
                                   cwd=self.engine, env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT)
        seen = b""
        while b"Starting separation process" not in seen:
            line = process.stdout.readline()
            self.assertTrue(line, seen.decode())
            seen += line
        process.send_signal(signal.SIGTERM)
        rest, _ = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 143, (seen + rest).decode())
        self.assertIn("已终止", rest.decode())
        self.assertEqual(os.listdir(out), [])
        self.assertEqual(os.listdir(temporary), [])

    def test_damaged_or_cut_weights_are_removed_and_fetched_again(self):
        out = self.fresh_folder("warm-up")
        with open(self.mirror_root + self.routes[MDX_MODEL], "rb") as whole:
            onnx = whole.read()
        checkpoint = next(name for name in self.routes if name.endswith(".th"))
        with open(self.mirror_root + self.routes[checkpoint], "rb") as whole:
            th = whole.read()
        cases = (
            # What an interrupted in-place download left behind.
            ("a cut model file", MDX_MODEL, lambda: self.place(MDX_MODEL, onnx[:len(onnx) // 3]),
             "校验失败"),
            ("a cut checkpoint", "htdemucs.yaml", lambda: self.place(checkpoint, th[:len(th) // 2]),
             "校验失败"),
            # A download cut now: never under the name the library loads.
            ("a dropped connection", MDX_MODEL,
             lambda: self.mirror.cut.add(self.routes[MDX_MODEL]), "下载不完整"),
        )
        for case, model, damage, reason in cases:
            with self.subTest(case=case):
                self.forget_models()
                if model == "htdemucs.yaml":  # the checkpoint's bag must be listed too
                    self.assertEqual(self.run_engine(self.input, out, model, "WAV",
                                                     "standard").returncode, 0)
                out = self.fresh_folder("out")
                damage()
                result = self.run_engine(self.input, out, model, "WAV", "standard")
                self.assert_failed_cleanly(result, 1, reason, out)
                self.assertEqual([name for name in os.listdir(self.models)
                                  if name in (MDX_MODEL, checkpoint) or name.startswith(".")], [])
                self.mirror.cut.clear()
                result = self.run_engine(self.input, out, model, "WAV", "standard")
                self.assertEqual(result.returncode, 0, result.stderr)

    def place(self, name, content):
        with open(os.path.join(self.models, name), "wb") as out:
            out.write(content)


class UvrSetUp(EngineTestCase):
    """The set-up on its own: what it asks of the system, and that a folder
    is either ready or not an engine at all."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tonfield-uvr-setup-test-")
        cls.library = os.path.join(cls.scratch, "standin")
        shutil.copytree(os.path.join(HERE, "standin"), cls.library)

    def set_up(self, target, library, **environment):
        return subprocess.run([SETUP, target], capture_output=True, text=True,
                              env=offline_pip(TONFIELD_UVR_LIBRARY=library, **environment))

    def test_missing_system_packages_are_named_in_one_line(self):
        target = os.path.join(self.scratch, "no tools")
        path = path_without(os.path.join(self.scratch, "no-tools"), "ffmpeg", "gcc", "make")
        result = self.set_up(target, self.library, PATH=path)
        self.assertEqual(result.returncode, 1)
        last = result.stderr.strip().splitlines()[-1]
        self.assertIn("ffmpeg build-essential", last)
        self.assertIn("sudo apt install", last)
        self.assertFalse(os.path.exists(target))

    def test_a_failed_install_never_leaves_a_ready_folder(self):
        target = os.path.join(self.scratch, "engine")
        result = self.set_up(target, os.path.join(self.scratch, "no such package"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("pip 无法安装", result.stderr.strip().splitlines()[-1])
        self.assertFalse(os.path.exists(os.path.join(target, "separate_job.py")))

        broken = os.path.join(self.scratch, "broken")
        shutil.copytree(self.library, broken)
        with open(os.path.join(broken, "audio_separator", "separator", "__init__.py"), "a") as init:
            init.write("raise ImportError('onnxruntime is missing')\n")
        with open(os.path.join(broken, "pyproject.toml")) as project:
            toml = project.read().replace("0.44.1+standin", "0.44.1+broken")
        with open(os.path.join(broken, "pyproject.toml"), "w") as project:
            project.write(toml)
        result = self.set_up(target, broken)
        self.assertEqual(result.returncode, 1)
        self.assertIn("onnxruntime is missing", result.stderr.strip().splitlines()[-1])
        self.assertFalse(os.path.exists(os.path.join(target, "separate_job.py")))

        result = self.set_up(target, self.library)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertTrue(os.path.exists(os.path.join(target, "separate_job.py")))
        # Again: nothing to install, and still ready.
        result = self.set_up(target, self.library)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("已安装", result.stdout)
        self.assertTrue(os.path.exists(os.path.join(target, "separate_job.py")))
