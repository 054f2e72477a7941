#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Real-time factor and peak memory of an engine for each model and quality,
on a 44.1 kHz stereo input, from a fresh engine folder made in a scratch
folder by the engine's own make_engine_folder.sh.

    bench/engine_bench.py [reference|hdemucs] [--seconds S] [--blas FOLDER]
                          [--qualities standard high] [--models MODEL...]

hdemucs runs with weights of the real architecture, randomly initialised:
they cost what the trained ones cost, and separate nothing. --blas puts a
folder holding another libblas.so.3 first on the loader's path (for example
/usr/lib/x86_64-linux-gnu/blas, the reference BLAS, or .../atlas).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
import soundfile as sf

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "engines", "reference", "tests"))
sys.path.insert(0, os.path.join(ROOT, "engines", "hdemucs", "tests"))
from multitrack import RATE, multitrack  # noqa: E402

MODELS = {
    "reference": ("UVR-MDX-NET-Inst_HQ_3.onnx", "htdemucs.yaml", "htdemucs_6s.yaml"),
    "hdemucs": ("UVR-MDX-NET-Inst_HQ_3.onnx", "htdemucs.yaml"),
}


def make_folder(engine, folder):
    subprocess.run([os.path.join(ROOT, "engines", engine, "make_engine_folder.sh"), folder],
                   check=True)
    if engine == "hdemucs":
        from make_test_weights import make_test_weights
        models = os.path.join(folder, "data", "models")
        os.makedirs(models)
        make_test_weights(os.path.join(models, "hdemucs_high_trained.pt"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("engine", nargs="?", default="reference", choices=sorted(MODELS))
    parser.add_argument("--seconds", type=float, default=180.0)
    parser.add_argument("--blas")
    parser.add_argument("--qualities", nargs="+", default=["standard", "high"])
    parser.add_argument("--models", nargs="+", help="the model names to run (default: all)")
    options = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="tonfield-engine-bench-")
    try:
        folder = os.path.join(scratch, "Engine")
        make_folder(options.engine, folder)
        source = os.path.join(scratch, "input.wav")
        # 12 s of the test multitrack, repeated: the engine's cost does not
        # depend on the music.
        piece = sum(multitrack().values())
        frames = int(options.seconds * RATE)
        repeats = int(np.ceil(frames / len(piece)))
        sf.write(source, np.tile(piece, (repeats, 1))[:frames], RATE)
        environment = dict(os.environ)
        if options.blas:
            environment["LD_LIBRARY_PATH"] = options.blas

        print(f"{options.engine}, {options.seconds:.0f} s, BLAS: {options.blas or 'as the system selects'}")
        print(f"{'model':30} {'quality':9} {'seconds':>8} {'RTF':>6} {'x real time':>11} {'peak MiB':>9}")
        for model in options.models or MODELS[options.engine]:
            for quality in options.qualities:
                out = os.path.join(scratch, "out")
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                command = [os.path.join(folder, ".venv/bin/python"), "-u",
                           os.path.join(folder, "separate_job.py"), source, out, model,
                           "WAV", quality]
                started = time.monotonic()
                process = subprocess.Popen(command, cwd=folder, env=environment,
                                           stdout=subprocess.DEVNULL)
                _, status, usage = os.wait4(process.pid, 0)
                took = time.monotonic() - started
                if status != 0:
                    sys.exit(f"{model} {quality}: engine failed ({status})")
                print(f"{model:30} {quality:9} {took:8.1f} {took / options.seconds:6.3f} "
                      f"{options.seconds / took:11.2f} "
                      f"{usage.ru_maxrss / 1024:9.0f}", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
