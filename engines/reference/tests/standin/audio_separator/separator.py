# SPDX-License-Identifier: GPL-3.0-or-later

"""A stand-in with the documented interface of audio-separator 0.47.1's
Separator (constructor options, load_model, separate with custom output
names), so the adapter can be tested without the network. NOT the library:
each stem is the input at an equal share."""

import logging
import os

import soundfile as sf

STEMS = {
    "UVR-MDX-NET-Inst_HQ_3.onnx": ("Vocals", "Instrumental"),
    "htdemucs.yaml": ("Vocals", "Drums", "Bass", "Other"),
    "htdemucs_6s.yaml": ("Vocals", "Drums", "Bass", "Guitar", "Piano", "Other"),
}
SUBTYPES = {"WAV": "PCM_16", "FLAC": "PCM_16", "MP3": "MPEG_LAYER_III"}


class Separator:
    def __init__(self, log_level=logging.INFO, model_file_dir="/tmp/audio-separator-models/",
                 output_dir=None, output_format="WAV", mdx_params=None, demucs_params=None,
                 **other_options):
        self.logger = logging.getLogger(__name__)
        logging.basicConfig(level=log_level)
        self.model_file_dir = model_file_dir
        self.output_dir = output_dir or os.getcwd()
        self.output_format = output_format
        self.stems = None

    def load_model(self, model_filename="model_mel_band_roformer_ep_3005_sdr_11.4360.ckpt"):
        if model_filename not in STEMS:
            raise ValueError(f"Model file {model_filename} not found in supported model files")
        if os.environ.get("STANDIN_FAIL") == "load":
            raise RuntimeError("stand-in asked to fail while loading")
        # Where the real library keeps downloaded weights.
        with open(os.path.join(self.model_file_dir, model_filename), "w") as weights:
            weights.write("stand-in weights\n")
        self.stems = STEMS[model_filename]
        self.logger.info(f"Loading model {model_filename}...")

    def separate(self, audio_file_path, custom_output_names=None):
        audio, rate = sf.read(audio_file_path, always_2d=True)
        base = os.path.splitext(os.path.basename(audio_file_path))[0]
        extension = self.output_format.lower()
        written = []
        for index, stem in enumerate(self.stems):
            name = (custom_output_names or {}).get(stem, f"{base}_({stem})_standin")
            path = os.path.join(self.output_dir, f"{name}.{extension}")
            sf.write(path, audio / len(self.stems), rate, subtype=SUBTYPES[self.output_format],
                     format=self.output_format)
            written.append(os.path.basename(path))
            self.logger.info(f"Separation progress: {100 * (index + 1) // len(self.stems)}%")
            if os.environ.get("STANDIN_FAIL") == "separate":
                raise RuntimeError("stand-in asked to fail half-way")
        return written
