#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Real-time factor and peak memory of the reference engine for each model and
quality, on a three-minute 44.1 kHz stereo input.

    bench/engine_bench.py [ENGINE_FOLDER]   (default: build/Engine)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
import soundfile as sf

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "engines/reference", "tests"))
from multitrack import RATE, multitrack  # noqa: E402

SECONDS = 180.0
MODELS = ("UVR-MDX-NET-Inst_HQ_3.onnx", "htdemucs.yaml", "htdemucs_6s.yaml")


def main():
    engine = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/Engine")
    scratch = tempfile.mkdtemp(prefix="tonfield-engine-bench-")
    try:
        source = os.path.join(scratch, "input.wav")
        # 12 s of the test multitrack, repeated: the engine's cost does not
        # depend on the music.
        piece = sum(multitrack().values())
        repeats = int(np.ceil(SECONDS * RATE / len(piece)))
        sf.write(source, np.tile(piece, (repeats, 1))[: int(SECONDS * RATE)], RATE)

        print(f"{'model':30} {'quality':9} {'seconds':>8} {'RTF':>6} {'peak MiB':>9}")
        for model in MODELS:
            for quality in ("standard", "high"):
                out = os.path.join(scratch, "out")
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                command = [os.path.join(engine, ".venv/bin/python"), "-u",
                           os.path.join(engine, "separate_job.py"), source, out, model,
                           "WAV", quality]
                started = time.monotonic()
                process = subprocess.Popen(command, cwd=engine, stdout=subprocess.DEVNULL)
                _, status, usage = os.wait4(process.pid, 0)
                took = time.monotonic() - started
                if status != 0:
                    sys.exit(f"{model} {quality}: engine failed ({status})")
                print(f"{model:30} {quality:9} {took:8.1f} {took / SECONDS:6.3f} "
                      f"{usage.ru_maxrss / 1024:9.0f}", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
