# SPDX-License-Identifier: GPL-3.0-or-later

"""A STAND-IN for audio-separator 0.44.1's architectures/demucs_separator.py
with uvr_lib_v5/demucs/apply.py and repo.py (see audio_separator/__init__.py):
the model is found and checked as repo.py does (a checkpoint's name ends in
the start of its SHA-256), one pass per shift as apply.py runs them. The
"checkpoint" is JSON naming its sources; each stem is a fixed share of the
mix."""

import hashlib
import json
import os
from pathlib import Path

import numpy as np
import yaml

from audio_separator.separator.common_separator import CommonSeparator, progress_bar

DEMUCS_4_SOURCE_MAPPER = {CommonSeparator.BASS_STEM: 0, CommonSeparator.DRUM_STEM: 1, CommonSeparator.OTHER_STEM: 2, CommonSeparator.VOCAL_STEM: 3}
DEMUCS_6_SOURCE_MAPPER = {
    CommonSeparator.BASS_STEM: 0,
    CommonSeparator.DRUM_STEM: 1,
    CommonSeparator.OTHER_STEM: 2,
    CommonSeparator.VOCAL_STEM: 3,
    CommonSeparator.GUITAR_STEM: 4,
    CommonSeparator.PIANO_STEM: 5,
}
SEGMENT_SECONDS = 7.8  # htdemucs's


class ModelLoadingError(RuntimeError):
    pass


def check_checksum(path, checksum):
    sha = hashlib.sha256()
    with open(path, "rb") as file:
        for buf in iter(lambda: file.read(2**20), b""):
            sha.update(buf)
    actual_checksum = sha.hexdigest()[: len(checksum)]
    if actual_checksum != checksum:
        raise ModelLoadingError(f"Invalid checksum for file {path}, " f"expected {checksum} but got {actual_checksum}")


def get_demucs_model(name, repo):
    checksums, models = {}, {}
    for file in repo.iterdir():
        if file.suffix == ".th":
            if "-" in file.stem:
                xp_sig, checksum = file.stem.split("-")
                checksums[xp_sig] = checksum
            else:
                xp_sig = file.stem
            models[xp_sig] = file
    bag = yaml.safe_load(open(repo / f"{name}.yaml"))
    loaded = []
    for sig in bag["models"]:
        if sig not in models:
            raise ModelLoadingError(f"Could not find pre-trained model with signature {sig}.")
        if sig in checksums:
            check_checksum(models[sig], checksums[sig])
        loaded.append(json.loads(models[sig].read_text()))
    return loaded[0]


class DemucsSeparator(CommonSeparator):
    def __init__(self, common_config, arch_config):
        super().__init__(config=common_config)
        self.segment_size = arch_config.get("segment_size", "Default")
        self.shifts = arch_config.get("shifts", 2)
        self.overlap = arch_config.get("overlap", 0.25)
        self.segments_enabled = arch_config.get("segments_enabled", True)
        self.demucs_source_map = DEMUCS_4_SOURCE_MAPPER
        self.logger.info("Demucs Separator initialisation complete")

    def separate(self, audio_file_path, custom_output_names=None):
        self.audio_file_path = audio_file_path
        self.audio_file_base = os.path.splitext(os.path.basename(audio_file_path))[0]
        mix = self.prepare_mix(self.audio_file_path)
        model = get_demucs_model(name=os.path.splitext(os.path.basename(self.model_path))[0], repo=Path(os.path.dirname(self.model_path)))
        source = self.demix_demucs(mix, len(model["sources"]))
        if len(source) == 6:
            self.demucs_source_map = DEMUCS_6_SOURCE_MAPPER
        output_files = []
        for stem_name, stem_value in self.demucs_source_map.items():
            if self.output_single_stem is not None and stem_name.lower() != self.output_single_stem.lower():
                continue
            stem_path = self.get_stem_output_path(stem_name, custom_output_names)
            self.final_process(stem_path, source[stem_value].T, stem_name)
            output_files.append(stem_path)
        return output_files

    def demix_demucs(self, mix, source_count):
        length = mix.shape[-1]
        segment = int(self.sample_rate * SEGMENT_SECONDS)
        stride = int((1 - self.overlap) * segment)
        out = np.zeros((source_count,) + mix.shape, dtype=np.float32)
        # apply_model: `shifts` passes when shifts > 0, each over every segment.
        for _ in range(self.shifts if self.shifts else 1):
            for offset in progress_bar(range(0, length, stride)):
                pass
            out += np.stack([mix * (k + 1) / (source_count * (source_count + 1) / 2) for k in range(source_count)])
        out /= self.shifts if self.shifts else 1
        out[[0, 1]] = out[[1, 0]]
        return out
