# SPDX-License-Identifier: GPL-3.0-or-later

"""A STAND-IN for audio-separator 0.44.1's architectures/mdx_separator.py (see
audio_separator/__init__.py): the arch dict is read key by key as the library
reads it, and the chunking computed from it as the library computes it, so a
partial dict fails where the library's does. The "model" keeps 60 % of the
mix as its primary stem."""

import os

import numpy as np

from audio_separator.separator.common_separator import CommonSeparator, normalize, progress_bar


class MDXSeparator(CommonSeparator):
    def __init__(self, common_config, arch_config):
        super().__init__(config=common_config)
        self.segment_size = arch_config.get("segment_size")
        self.overlap = arch_config.get("overlap")
        self.batch_size = arch_config.get("batch_size", 1)
        self.hop_length = arch_config.get("hop_length")
        self.enable_denoise = arch_config.get("enable_denoise")
        self.compensate = self.model_data["compensate"]
        self.dim_f = self.model_data["mdx_dim_f_set"]
        self.dim_t = 2 ** self.model_data["mdx_dim_t_set"]
        self.n_fft = self.model_data["mdx_n_fft_scale_set"]
        self.load_model()

    def load_model(self):
        # The library: onnxruntime when segment_size == dim_t, else the model
        # converted to torch. Either reads the whole file.
        with open(self.model_path, "rb") as model:
            model.read()
        if self.segment_size != self.dim_t:
            self.logger.warning("Model converted from onnx to pytorch due to segment size not matching dim_t, processing may be slower.")

    def separate(self, audio_file_path, custom_output_names=None):
        self.audio_file_path = audio_file_path
        self.audio_file_base = os.path.splitext(os.path.basename(audio_file_path))[0]
        mix = self.prepare_mix(self.audio_file_path)
        peak = np.abs(mix).max()
        mix = normalize(mix, self.normalization_threshold, self.amplification_threshold)
        self.initialize_model_settings()
        source = self.demix(mix) * peak
        self.primary_source = source.T
        output_files = []
        self.demix(mix, is_match_mix=True)
        self.secondary_source = (-self.primary_source * self.compensate) + mix.T
        if not self.output_single_stem or self.output_single_stem.lower() == self.secondary_stem_name.lower():
            path = self.get_stem_output_path(self.secondary_stem_name, custom_output_names)
            self.logger.info(f"Saving {self.secondary_stem_name} stem to {path}...")
            self.final_process(path, self.secondary_source, self.secondary_stem_name)
            output_files.append(path)
        if not self.output_single_stem or self.output_single_stem.lower() == self.primary_stem_name.lower():
            path = self.get_stem_output_path(self.primary_stem_name, custom_output_names)
            self.logger.info(f"Saving {self.primary_stem_name} stem to {path}...")
            self.final_process(path, self.primary_source, self.primary_stem_name)
            output_files.append(path)
        return output_files

    def initialize_model_settings(self):
        self.n_bins = self.n_fft // 2 + 1
        self.trim = self.n_fft // 2
        self.chunk_size = self.hop_length * (self.segment_size - 1)
        self.gen_size = self.chunk_size - 2 * self.trim

    def demix(self, mix, is_match_mix=False):
        if is_match_mix:
            chunk_size = self.hop_length * (self.segment_size - 1)
            overlap = 0.02
        else:
            chunk_size = self.chunk_size
            overlap = self.overlap
        step = int((1 - overlap) * chunk_size)
        result = np.zeros_like(mix)
        for i in progress_bar(range(0, mix.shape[-1], step)):
            end = min(i + chunk_size, mix.shape[-1])
            result[:, i:end] = mix[:, i:end] if is_match_mix else 0.6 * mix[:, i:end]
        return result
