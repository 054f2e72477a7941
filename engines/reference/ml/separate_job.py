#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Tonfield's engine invocation on top of the audio-separator library.

    python -u separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY

MODEL is the model file name, passed to the library unchanged; its weights
are kept in data/models beside this script (downloaded on first use). Stems
are written as `<input name>_(<Stem>).<ext>` directly into OUTPUT_DIR.
"模型就绪" is printed once the model is loaded; the library's own progress
goes to the log. Exit status: 0 on success, 2 for a bad invocation, 3 for an
unreadable input, 4 for an unwritable output folder, 1 for any other failure,
143 when terminated. A failed or terminated run removes the stems it wrote.
"""

import glob
import logging
import os
import signal
import sys

READY_MARKER = "模型就绪"
FORMATS = {"WAV": "wav", "FLAC": "flac", "MP3": "mp3"}
STEMS = ("Vocals", "Instrumental", "Drums", "Bass", "Guitar", "Piano", "Other")
QUALITIES = ("standard", "high")
HERE = os.path.dirname(os.path.abspath(__file__))
MODEL_FOLDER = os.path.join(HERE, "data", "models")


class EngineError(Exception):
    def __init__(self, reason, status=1):
        super().__init__(reason)
        self.status = status


class Terminated(Exception):
    pass


def on_sigterm(signum, frame):
    raise Terminated()


def library_parameters(quality):
    """"high" averages more passes over the audio: slower, cleaner."""
    if quality == "high":
        return {"mdx_params": {"overlap": 0.5},
                "demucs_params": {"shifts": 2, "overlap": 0.5}}
    return {}


def stem_paths(output_dir, base, extension):
    pattern = os.path.join(glob.escape(output_dir), glob.escape(f"{base}_(") + "*)." + extension)
    return set(glob.glob(pattern))


def run(argv):
    if len(argv) != 6:
        raise EngineError("用法：separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY", 2)
    _, input_path, output_dir, model, fmt, quality = argv
    if fmt not in FORMATS:
        raise EngineError(f"未知输出格式：{fmt}（可用 WAV、FLAC、MP3）", 2)
    if quality not in QUALITIES:
        raise EngineError(f"未知质量：{quality}（可用 high、standard）", 2)
    if not os.path.isfile(input_path):
        raise EngineError(f"无法读取输入文件：{input_path}: No such file", 3)
    if not os.path.isdir(output_dir) or not os.access(output_dir, os.W_OK):
        raise EngineError(f"无法写入输出文件夹：{output_dir}", 4)

    # Imported here so that a bad invocation is answered without the
    # library's slow import.
    from audio_separator.separator import Separator

    base = os.path.splitext(os.path.basename(input_path))[0]
    extension = FORMATS[fmt]
    before = stem_paths(output_dir, base, extension)
    written = set()
    try:
        os.makedirs(MODEL_FOLDER, exist_ok=True)
        separator = Separator(log_level=logging.INFO, model_file_dir=MODEL_FOLDER,
                              output_dir=output_dir, output_format=fmt,
                              **library_parameters(quality))
        try:
            separator.load_model(model_filename=model)
        except ValueError as error:
            raise EngineError(f"未知模型：{model}（{error}）", 2)
        print(READY_MARKER, flush=True)
        # The library names a stem it makes by this table; the rest go unused.
        names = {stem: f"{base}_({stem})" for stem in STEMS}
        outputs = separator.separate(input_path, custom_output_names=names)
        written = {path if os.path.isabs(path) else os.path.join(output_dir, path)
                   for path in outputs}
        for path in sorted(written):
            print(f"已写出 {os.path.basename(path)}", flush=True)
    except BaseException:
        # Whatever this run wrote is partial: leave the folder as it was.
        for path in (stem_paths(output_dir, base, extension) - before) | written:
            try:
                os.remove(path)
            except FileNotFoundError:
                pass
        raise


def main():
    signal.signal(signal.SIGTERM, on_sigterm)
    try:
        run(sys.argv)
    except EngineError as error:
        print(f"\n错误：{error}", file=sys.stderr, flush=True)
        return error.status
    except Terminated:
        print("\n已终止", file=sys.stderr, flush=True)
        return 128 + signal.SIGTERM
    except Exception as error:  # the library's own failures, as one line
        print(f"\n错误：{type(error).__name__}: {error}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
