# SPDX-License-Identifier: GPL-3.0-or-later

"""What every Tonfield engine shares: its invocation, reading the input,
writing stems that appear only when complete, and its exit statuses.

    python -u separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY

Exit statuses: 0 every stem written, 1 any other failure, 2 bad invocation or
a model the engine cannot do, 3 unreadable input, 4 unwritable output folder,
143 terminated (SIGTERM).
"""

import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile

import numpy as np
import soundfile as sf

READY_MARKER = "模型就绪"

STEM_SETS = {
    "UVR-MDX-NET-Inst_HQ_3.onnx": ("Vocals", "Instrumental"),
    "htdemucs.yaml": ("Vocals", "Drums", "Bass", "Other"),
    "htdemucs_6s.yaml": ("Vocals", "Drums", "Bass", "Guitar", "Piano", "Other"),
}

# extension, libsndfile format, subtype
FORMATS = {
    "WAV": ("wav", "WAV", "PCM_24"),
    "FLAC": ("flac", "FLAC", "PCM_24"),
    "MP3": ("mp3", "MP3", "MPEG_LAYER_III"),
}

QUALITIES = ("high", "standard")


class EngineError(Exception):
    """A failure with a reason for the user and an exit status."""

    def __init__(self, reason, status=1):
        super().__init__(reason)
        self.status = status


class Terminated(BaseException):
    """SIGTERM. Not an Exception, so that no `except Exception` of a library
    the engine calls can swallow a cancel."""


def on_sigterm(signum, frame):
    raise Terminated()


class Job:
    """The invocation, checked."""

    def __init__(self, argv, engine):
        if len(argv) != 6:
            raise EngineError("用法：separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY", 2)
        _, self.input_path, self.output_dir, self.model, self.format, self.quality = argv
        if self.model not in STEM_SETS:
            raise EngineError(f"未知模型：{self.model}", 2)
        if self.model not in engine.models:
            raise EngineError(engine.refusal(self.model), 2)
        if self.format not in FORMATS:
            raise EngineError(f"未知输出格式：{self.format}（可用 WAV、FLAC、MP3）", 2)
        if self.quality not in QUALITIES:
            raise EngineError(f"未知质量：{self.quality}（可用 high、standard）", 2)
        if not os.path.isdir(self.output_dir) or not os.access(self.output_dir, os.W_OK):
            raise EngineError(f"无法写入输出文件夹：{self.output_dir}", 4)
        self.stems = STEM_SETS[self.model]
        self.base = os.path.splitext(os.path.basename(self.input_path))[0]


# ---------------------------------------------------------------- input


@contextlib.contextmanager
def quiet_stderr():
    """Silences what C libraries print straight to standard error (libmpg123
    reports every bad frame there), so the log holds only our own reason."""
    sys.stderr.flush()
    saved = os.dup(2)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 2)
    try:
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)
        os.close(devnull)


def open_input(path, scratch):
    """Opens the input with libsndfile, decoding it first with ffmpeg when
    libsndfile cannot read it (m4a, aac, wma)."""
    if not os.path.isfile(path):
        raise EngineError(f"无法读取输入文件：{path}: No such file", 3)
    try:
        with quiet_stderr():
            audio = sf.SoundFile(path)
    except (sf.LibsndfileError, RuntimeError):
        audio = open_decoded(path, scratch)
    if audio.frames <= 0:
        raise EngineError(f"无法读取输入文件：{path}: 没有音频内容", 3)
    return audio


def open_decoded(path, scratch, options=(), name="decoded.wav"):
    """Decodes the input with the ffmpeg program into the scratch folder as
    `name`, with any further output options (["-ac", "2"] to mix down to
    stereo)."""
    decoded = os.path.join(scratch, name)
    command = ["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", path, "-vn", *options,
               "-c:a", "pcm_f32le", "-f", "wav", decoded]
    try:
        result = subprocess.run(command, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
    except FileNotFoundError:
        raise EngineError("无法读取输入文件：未找到 ffmpeg 程序", 3)
    if result.returncode != 0:
        detail = result.stderr.strip().splitlines()
        reason = detail[-1] if detail else f"{path}: 不是可识别的音频"
        raise EngineError(f"无法读取输入文件：{reason}", 3)
    try:
        return sf.SoundFile(decoded)
    except (sf.LibsndfileError, RuntimeError) as error:
        raise EngineError(f"无法读取输入文件：{path}: {error}", 3)


class SequentialReader:
    """Serves sample ranges of a file read front to back, keeping only what a
    later range can still ask for."""

    def __init__(self, audio):
        self.audio = audio
        self.channels = audio.channels
        self.start = 0
        self.buffer = np.zeros((0, self.channels), dtype=np.float32)
        self.finished = False

    def range(self, first, last):
        """Samples [first, last), zero outside the file."""
        while not self.finished and self.start + len(self.buffer) < last:
            block = self.audio.read(65536, dtype="float32", always_2d=True)
            if len(block) == 0:
                self.finished = True
            else:
                self.buffer = np.concatenate([self.buffer, block])
        out = np.zeros((last - first, self.channels), dtype=np.float32)
        lo = max(first, self.start)
        hi = min(last, self.start + len(self.buffer))
        if hi > lo:
            out[lo - first:hi - first] = self.buffer[lo - self.start:hi - self.start]
        return out

    def forget_before(self, sample):
        drop = max(0, min(sample - self.start, len(self.buffer)))
        self.buffer = self.buffer[drop:]
        self.start += drop


# ---------------------------------------------------------------- output


class StemWriters:
    """One writer per stem under a hidden name the application does not list;
    a stem gets its final name only once it is complete."""

    def __init__(self, job, rate, channels):
        extension, container, subtype = FORMATS[job.format]
        self.final = {}
        self.partial = {}
        self.files = {}
        for stem in job.stems:
            name = f"{job.base}_({stem}).{extension}"
            self.final[stem] = os.path.join(job.output_dir, name)
            self.partial[stem] = os.path.join(job.output_dir, f".{name}.part")
        try:
            for stem in job.stems:
                self.files[stem] = sf.SoundFile(self.partial[stem], "w", rate, channels,
                                                subtype=subtype, format=container)
        except (sf.LibsndfileError, RuntimeError, OSError) as error:
            self.discard()
            raise EngineError(f"无法写入输出文件夹：{job.output_dir}: {error}", 4)

    def write(self, stem, samples):
        self.files[stem].write(samples)

    def finish(self):
        for stem, handle in self.files.items():
            handle.close()
        for stem in self.files:
            os.replace(self.partial[stem], self.final[stem])
            print(f"已写出 {os.path.basename(self.final[stem])}", flush=True)
        self.files = {}

    def discard(self):
        for stem, handle in self.files.items():
            try:
                handle.close()
            except Exception:
                pass
        for path in self.partial.values():
            try:
                os.remove(path)
            except FileNotFoundError:
                pass
        self.files = {}


def print_progress(done, total):
    print(f"\r分离进度 {100 * done // total:3d}%", end="", flush=True)


# ---------------------------------------------------------------- run


def run_engine(argv, engine):
    """Checks the invocation, opens the input and writes the stems.

    engine.models: the STEM_SETS keys it can do; engine.refusal(model): why
    it cannot do another; engine.prepare(job, audio, scratch): prints its
    first line, loads its model and returns the audio to separate (the input,
    or a conversion of it kept in the scratch folder); engine.separate(job, audio, writers): writes every
    stem's samples, front to back."""
    job = Job(argv, engine)
    scratch = tempfile.mkdtemp(prefix="tonfield-engine-")
    writers = None
    try:
        audio = open_input(job.input_path, scratch)
        audio = engine.prepare(job, audio, scratch)
        print(READY_MARKER, flush=True)
        writers = StemWriters(job, audio.samplerate, audio.channels)
        engine.separate(job, audio, writers)
        writers.finish()
    except BaseException:
        if writers is not None:
            writers.discard()
        raise
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main(engine):
    """Runs the engine on this process's invocation and turns the outcome
    into the exit status."""
    signal.signal(signal.SIGTERM, on_sigterm)
    try:
        run_engine(sys.argv, engine)
    except EngineError as error:
        print(f"\n错误：{error}", file=sys.stderr, flush=True)
        return error.status
    except Terminated:
        print("\n已终止", file=sys.stderr, flush=True)
        return 128 + signal.SIGTERM
    except (sf.LibsndfileError, OSError) as error:
        print(f"\n错误：{error}", file=sys.stderr, flush=True)
        return 1
    return 0
