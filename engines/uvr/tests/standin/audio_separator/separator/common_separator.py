# SPDX-License-Identifier: GPL-3.0-or-later

"""A STAND-IN for audio-separator 0.44.1's separator/common_separator.py (see
audio_separator/__init__.py), with the bars tqdm draws and the test's knobs."""

import errno
import os
import re
import sys
import time

import numpy as np
import soundfile as sf


def progress_bar(steps):
    """Yields `steps` as tqdm does by default: "\\r NN%|…" redrawn on
    standard error, a line feed at the end."""
    steps = list(steps)
    total = len(steps)
    pause = float(os.environ.get("STANDIN_SECONDS_PER_STEP", "0"))
    for done, step in enumerate(steps):
        sys.stderr.write(f"\r{100 * done // total:3d}%|{'█' * (10 * done // total):10s}| {done}/{total} [00:00<?, ?it/s]")
        sys.stderr.flush()
        time.sleep(pause)
        yield step
    sys.stderr.write(f"\r100%|{'█' * 10}| {total}/{total} [00:00<00:00, 1.00it/s]\n")
    sys.stderr.flush()


class CommonSeparator:
    VOCAL_STEM = "Vocals"
    INST_STEM = "Instrumental"
    OTHER_STEM = "Other"
    BASS_STEM = "Bass"
    DRUM_STEM = "Drums"
    GUITAR_STEM = "Guitar"
    PIANO_STEM = "Piano"
    NO_STEM = "No "
    STEM_PAIR_MAPPER = {VOCAL_STEM: INST_STEM, INST_STEM: VOCAL_STEM}

    stems_written = 0  # across the process, for STANDIN_DISK_FULL_AFTER

    def __init__(self, config):
        self.logger = config.get("logger")
        self.log_level = config.get("log_level")
        self.torch_device = config.get("torch_device")
        self.model_name = config.get("model_name")
        self.model_path = config.get("model_path")
        self.model_data = config.get("model_data")
        self.output_dir = config.get("output_dir")
        self.output_format = config.get("output_format")
        self.normalization_threshold = config.get("normalization_threshold")
        self.amplification_threshold = config.get("amplification_threshold")
        self.output_single_stem = config.get("output_single_stem")
        self.invert_using_spec = config.get("invert_using_spec")
        self.sample_rate = config.get("sample_rate")
        self.use_soundfile = config.get("use_soundfile")
        self.primary_stem_name = self.model_data.get("primary_stem", "Vocals")
        self.secondary_stem_name = self.secondary_stem(self.primary_stem_name)
        self.input_bit_depth = None
        self.input_subtype = None
        self.audio_file_path = None
        self.audio_file_base = None
        self.primary_source = None
        self.secondary_source = None

    def secondary_stem(self, primary_stem):
        primary_stem = primary_stem if primary_stem else self.NO_STEM
        if primary_stem in self.STEM_PAIR_MAPPER:
            return self.STEM_PAIR_MAPPER[primary_stem]
        return primary_stem.replace(self.NO_STEM, "") if self.NO_STEM in primary_stem else f"{self.NO_STEM}{primary_stem}"

    def final_process(self, stem_path, source, stem_name):
        self.write_audio(stem_path, source)
        return {stem_name: source}

    def prepare_mix(self, mix):
        audio_path = mix
        try:
            audio_info = sf.info(mix)
            self.input_subtype = audio_info.subtype
            self.input_bit_depth = 32 if "FLOAT" in self.input_subtype else 16
        except Exception as e:
            self.logger.warning(f"Could not read audio file info, defaulting to 16-bit output: {e}")
            self.input_bit_depth = 16
            self.input_subtype = "PCM_16"
        # The library: librosa.load(mix, mono=False, sr=self.sample_rate),
        # which raises on what it cannot decode.
        data, rate = sf.read(mix, dtype="float32", always_2d=True)
        if rate != self.sample_rate:
            length = int(round(len(data) * self.sample_rate / rate))
            position = np.arange(length) * rate / self.sample_rate
            data = np.stack([np.interp(position, np.arange(len(data)), channel) for channel in data.T], axis=1)
        mix = data.T if data.shape[1] > 1 else data[:, 0]
        if isinstance(audio_path, str) and not np.any(mix):
            error_msg = f"Audio file {audio_path} is empty or not valid"
            self.logger.error(error_msg)
            raise ValueError(error_msg)
        if mix.ndim == 1:
            mix = np.asfortranarray([mix, mix])
        return mix

    def write_audio(self, stem_path, stem_source):
        duration_seconds = sf.info(self.audio_file_path).duration
        self.logger.info(f"Audio duration is {duration_seconds / 3600:.2f} hours ({duration_seconds:.2f} seconds).")
        if not self.use_soundfile:
            raise NotImplementedError("the stand-in does not mirror the pydub writer")
        self.logger.warning("Using soundfile for writing.")
        self.write_audio_soundfile(stem_path, stem_source)

    def write_audio_soundfile(self, stem_path, stem_source):
        stem_source = normalize(stem_source, self.normalization_threshold, self.amplification_threshold)
        if np.max(np.abs(stem_source)) < 1e-6:
            self.logger.warning("Warning: stem_source array is near-silent or empty.")
            return
        if self.output_dir:
            os.makedirs(self.output_dir, exist_ok=True)
            stem_path = os.path.join(self.output_dir, stem_path)
        output_subtype = self.input_subtype or "PCM_16"
        try:
            write_stem(stem_path, stem_source, self.sample_rate, output_subtype)
        except Exception as e:
            self.logger.error(f"Error exporting audio file: {e}")

    def clear_file_specific_paths(self):
        self.audio_file_path = None
        self.audio_file_base = None
        self.primary_source = None
        self.secondary_source = None

    def sanitize_filename(self, filename):
        sanitized = re.sub(r'[<>:"/\\|?*]', "_", filename)
        sanitized = re.sub(r"_+", "_", sanitized)
        return sanitized.strip("_. ")

    def get_stem_output_path(self, stem_name, custom_output_names):
        if custom_output_names:
            custom_output_names_lower = {k.lower(): v for k, v in custom_output_names.items()}
            if stem_name.lower() in custom_output_names_lower:
                sanitized_custom_name = self.sanitize_filename(custom_output_names_lower[stem_name.lower()])
                return os.path.join(f"{sanitized_custom_name}.{self.output_format.lower()}")
        sanitized_audio_base = self.sanitize_filename(self.audio_file_base)
        sanitized_stem_name = self.sanitize_filename(stem_name)
        sanitized_model_name = self.sanitize_filename(self.model_name)
        return os.path.join(f"{sanitized_audio_base}_({sanitized_stem_name})_{sanitized_model_name}.{self.output_format.lower()}")


def normalize(wave, max_peak=1.0, min_peak=None):
    """uvr_lib_v5/spec_utils.normalize."""
    maxv = np.abs(wave).max()
    if maxv > max_peak:
        wave *= max_peak / maxv
    elif min_peak is not None and maxv < min_peak:
        wave *= min_peak / maxv
    return wave


def write_stem(path, samples, rate, subtype):
    """sf.write, or, after STANDIN_DISK_FULL_AFTER stems, what a full disk
    does to it: half the samples written, then an error."""
    limit = os.environ.get("STANDIN_DISK_FULL_AFTER")
    CommonSeparator.stems_written += 1
    if limit is not None and CommonSeparator.stems_written > int(limit):
        with sf.SoundFile(path, "w", rate, samples.shape[1], subtype=subtype) as out:
            out.write(samples[: len(samples) // 2])
        raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC), path)
    sf.write(path, samples, rate, subtype=subtype)
