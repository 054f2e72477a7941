# SPDX-License-Identifier: GPL-3.0-or-later

"""Runs an engine the way Tonfield does: from a ready engine folder made by
its make_engine_folder.sh, with the engine folder as working directory."""

import os
import shutil
import subprocess
import tempfile
import unittest

ENGINES = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ENGINE_SOURCE = os.path.join(ENGINES, "reference")
STEM_EXTENSIONS = (".wav", ".flac", ".mp3")
MODELS = {
    "UVR-MDX-NET-Inst_HQ_3.onnx": ["Vocals", "Instrumental"],
    "htdemucs.yaml": ["Vocals", "Drums", "Bass", "Other"],
    "htdemucs_6s.yaml": ["Vocals", "Drums", "Bass", "Guitar", "Piano", "Other"],
}


class EngineTestCase(unittest.TestCase):
    engine_source = ENGINE_SOURCE

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="tonfield-engine-test-")
        cls.engine = os.path.join(cls.scratch, "Engine")
        subprocess.run([os.path.join(cls.engine_source, "make_engine_folder.sh"), cls.engine],
                       check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def fresh_folder(self, name):
        folder = os.path.join(self.scratch, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        return folder

    def command(self, *arguments):
        return [os.path.join(self.engine, ".venv/bin/python"), "-u",
                os.path.join(self.engine, "separate_job.py"), *arguments]

    def run_engine(self, *arguments, **environment):
        env = dict(os.environ, PYTHONUNBUFFERED="1", **environment)
        # Bytes, decoded by hand: text mode would turn the progress line's
        # carriage returns into line feeds.
        result = subprocess.run(self.command(*arguments), cwd=self.engine, env=env,
                                capture_output=True)
        result.stdout = result.stdout.decode()
        result.stderr = result.stderr.decode()
        return result

    @staticmethod
    def listed(folder):
        """What Tonfield would list as stems: every entry with a stem extension."""
        return sorted(name for name in os.listdir(folder)
                      if os.path.splitext(name)[1].lower() in STEM_EXTENSIONS)
