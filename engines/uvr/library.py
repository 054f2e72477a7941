# SPDX-License-Identifier: GPL-3.0-or-later

"""What this engine relies on in the audio-separator library, version 0.44.1,
as read in its source (separator/separator.py, separator/common_separator.py,
separator/architectures/mdx_separator.py and demucs_separator.py,
separator/uvr_lib_v5/demucs/apply.py and repo.py), and the guards around it.

The library reports most failures only in its log: Separator.separate()
catches every Exception per file, the writers catch their export errors,
near-silent stems are skipped. So nothing it returns is trusted: its log
records are kept, and every stem it should have written is checked.
"""

import copy
import json
import logging
import os
import re
import sys

import soundfile as sf

from download import ServerRefused, download_file, mirrored, sha256
from engine_io import EngineError, print_progress

VERSION = "0.44.1"
RATE = 44100  # the library's sample_rate default, kept: the models are trained at it

# Separator.__init__'s defaults for the two architectures used here. The
# library stores a dict given for an architecture in place of its default, so
# every dict passed is whole: a partial one leaves keys None, and MDX then
# fails on `hop_length * (segment_size - 1)` inside separate().
DEFAULTS = {
    "mdx_params": {"hop_length": 1024, "segment_size": 256, "overlap": 0.25,
                   "batch_size": 1, "enable_denoise": False},
    "demucs_params": {"segment_size": "Default", "shifts": 2, "overlap": 0.25,
                      "segments_enabled": True},
}
# What each quality changes. "standard" runs Demucs once over the song (the
# library's default averages two shifted runs); "high" averages two runs with
# half-overlapping segments, three times standard's work. MDX's "high" makes
# its windows overlap by half instead of a quarter: one and a half times.
QUALITY_CHANGES = {
    "standard": {"demucs_params": {"shifts": 1}},
    "high": {"mdx_params": {"overlap": 0.5}, "demucs_params": {"shifts": 2, "overlap": 0.5}},
}
ARCHITECTURES = {
    "UVR-MDX-NET-Inst_HQ_3.onnx": "mdx_params",
    "htdemucs.yaml": "demucs_params",
    "htdemucs_6s.yaml": "demucs_params",
}
# Variables the library reads that would move its files elsewhere or excuse
# a missing ffmpeg.
LIBRARY_VARIABLES = ("AUDIO_SEPARATOR_MODEL_DIR", "PYTEST_CURRENT_TEST")
# Listings the library fetches into the model folder before any model.
LISTINGS = ("download_checks.json", "mdx_model_data.json", "vr_model_data.json")
UNKNOWN_MODEL = "not found in supported model files"
UNKNOWN_HASH = "Unsupported Model File: parameters for MD5 hash"
BAD_CHECKSUM = re.compile(r"Invalid checksum for file (.+?), expected")
NEAR_SILENT = "near-silent"


def parameters(quality):
    """The architecture dicts for a quality: the defaults with its changes."""
    merged = copy.deepcopy(DEFAULTS)
    for architecture, changes in QUALITY_CHANGES[quality].items():
        merged[architecture].update(changes)
    return merged


def pass_weights(model, quality):
    """The share of the work in each progress bar the library draws for one
    job, in order. MDX draws one bar for the model's pass and one for the
    mix matched without the model (a fraction of the cost); Demucs one per
    shift."""
    if ARCHITECTURES[model] == "mdx_params":
        return [0.9, 0.1]
    shifts = parameters(quality)["demucs_params"]["shifts"]
    return [1 / shifts] * max(shifts, 1)


class DownloadFailed(RuntimeError):
    """A file the server does not have, raised as the library's own download
    raises it (a RuntimeError): the library then tries its second
    repository. A download that broke off is an EngineError, which it lets
    through."""


def verify_checkpoint(path):
    """Demucs's checkpoints are named `<signature>-<SHA-256 prefix>.th`; the
    library checks that only when it loads them, inside separate()."""
    name = os.path.basename(path)
    if not name.endswith(".th") or "-" not in name:
        return
    expected = name[:-3].split("-")[-1]
    if not sha256(path).startswith(expected):
        os.remove(path)
        raise EngineError(f"下载的模型文件 {name} 校验失败，已删除；请稍后再试")


def build_separator(model_folder, output_folder, quality):
    """The library's Separator writing float WAV stems into `output_folder`,
    its downloads whole or absent. Imported here: the import is slow and a
    bad invocation should not wait for it."""
    for variable in LIBRARY_VARIABLES:
        os.environ.pop(variable, None)
    from audio_separator.separator import Separator

    class WholeDownloads(Separator):
        def download_file_if_not_exists(self, url, output_path):
            # The library writes in place: a cut download would stay as a
            # file it later takes for whole.
            if os.path.isfile(output_path):
                return
            try:
                download_file(mirrored(url), output_path)
            except ServerRefused as error:
                raise DownloadFailed(str(error)) from None
            verify_checkpoint(output_path)

    os.makedirs(model_folder, exist_ok=True)
    # use_soundfile: stems are written by libsndfile in the input's sample
    # format (float here), not by pydub at 16 bits through ffmpeg.
    return WholeDownloads(log_level=logging.INFO, model_file_dir=model_folder,
                          output_dir=output_folder, output_format="WAV", use_soundfile=True,
                          sample_rate=RATE, **parameters(quality))


def load_model(separator, model, model_folder):
    """Loads (downloading on first use) the model; a failure becomes a reason."""
    try:
        separator.load_model(model_filename=model)
    except EngineError:
        raise
    except DownloadFailed as error:
        raise EngineError(str(error))
    except ValueError as error:
        if UNKNOWN_MODEL in str(error):
            raise EngineError(f"未知模型：{model}（audio-separator {VERSION} 没有这个模型）", 2)
        if UNKNOWN_HASH in str(error):
            # The library identifies an MDX model by the MD5 of its last
            # 10 MB: a cut or damaged file matches no known model.
            remove_quietly(os.path.join(model_folder, model))
            raise EngineError(f"模型文件 {model} 校验失败（不完整或已损坏），已删除；"
                              "再次分离时将重新下载")
        raise EngineError(f"无法载入模型 {model}：{error}")
    except json.JSONDecodeError as error:
        for listing in LISTINGS:
            remove_quietly(os.path.join(model_folder, listing))
        raise EngineError(f"模型清单已损坏（{error}），已删除；再次分离时将重新下载")
    except OSError as error:
        raise EngineError(f"无法载入模型 {model}：{error}")
    except Exception as error:  # the library's own, as one line
        raise EngineError(f"无法载入模型 {model}：{type(error).__name__}: {error}")


class LogRecords(logging.Handler):
    """Keeps the library's warnings and errors: its only report of most
    failures."""

    def __init__(self):
        super().__init__(logging.WARNING)
        self.errors = []
        self.warnings = []

    def emit(self, record):
        message = record.getMessage()
        (self.errors if record.levelno >= logging.ERROR else self.warnings).append(message)

    def __enter__(self):
        logging.getLogger("audio_separator").addHandler(self)
        return self

    def __exit__(self, *exception):
        logging.getLogger("audio_separator").removeHandler(self)


class ProgressBars:
    """Stands in for standard error while the library separates: its tqdm
    bars (one per pass, each 0 to 100) become one progress line from 0 to
    100 for the whole job; everything else passes through to the log."""

    BAR = re.compile(r"\s*(\d{1,3})%\|")

    def __init__(self, weights):
        self.stream = sys.stderr
        self.weights = weights
        self.index = 0
        self.last = -1
        self.shown = -1

    def __enter__(self):
        sys.stderr = self
        return self

    def __exit__(self, *exception):
        sys.stderr = self.stream

    def write(self, text):
        for piece in re.split(r"(\r|\n)", text):
            match = self.BAR.match(piece)
            if match:
                self.bar(int(match.group(1)))
            elif piece != "\r":
                self.stream.write(piece)
        return len(text)

    def bar(self, percent):
        if percent < self.last:  # a new bar: the next pass
            self.index = min(self.index + 1, len(self.weights) - 1)
        self.last = percent
        done = sum(self.weights[:self.index]) + self.weights[self.index] * min(percent, 100) / 100
        whole = int(100 * done + 1e-9)
        if whole > self.shown:
            self.shown = whole
            print_progress(whole, 100)

    def flush(self):
        self.stream.flush()

    def __getattr__(self, name):  # isatty, encoding, fileno…: the log's own
        return getattr(self.stream, name)


def check_stems(job, folder, frames, records, model_folder):
    """The path of each stem the library wrote into `folder`, each checked
    whole: present, decodable, two channels at RATE, as long as the input.
    A stem the library skipped as near-silent, with nothing else wrong, is
    None: silence. Anything else fails with the library's own reason."""
    problems = []
    found = {}
    for stem in job.stems:
        path = os.path.join(folder, f"{stem}.wav")
        if not os.path.exists(path):
            found[stem] = None
            problems.append(f"{stem} 音轨没有写出")
            continue
        try:
            info = sf.info(path)
        except (sf.LibsndfileError, RuntimeError) as error:
            problems.append(f"{stem} 音轨无法解码（{error}）")
            continue
        # The library resamples to RATE and returns every sample.
        if info.samplerate != RATE or info.channels != 2 or abs(info.frames - frames) > RATE // 20:
            problems.append(f"{stem} 音轨不完整（{info.frames} / {frames} 个采样）")
            continue
        found[stem] = path
    missing = [stem for stem, path in found.items() if path is None]
    silent = sum(NEAR_SILENT in warning for warning in records.warnings)
    if not records.errors and len(problems) == len(missing) and len(missing) <= silent:
        return found
    for error in records.errors:
        checksum = BAD_CHECKSUM.search(error)
        if checksum and os.path.dirname(os.path.abspath(checksum.group(1))) == model_folder:
            remove_quietly(checksum.group(1))
            raise EngineError(f"模型文件 {os.path.basename(checksum.group(1))} 校验失败"
                              "（不完整或已损坏），已删除；再次分离时将重新下载")
    reason = records.errors[-1] if records.errors else "；".join(problems)
    raise EngineError(f"分离失败：{reason}")


def remove_quietly(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass
