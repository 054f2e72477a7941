#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later

"""Tonfield's engine on the audio-separator library and UVR's trained models
(UVR-MDX-NET-Inst_HQ_3, htdemucs, htdemucs_6s).

    python -u separate_job.py INPUT OUTPUT_DIR MODEL FORMAT QUALITY

The input is decoded by ffmpeg to 44.1 kHz stereo float in a scratch folder,
where the library also writes its stems. They are checked there (library.py)
and only then written under Tonfield's names, so the output folder never
holds a half-written or missing stem. Weights are downloaded on first use
into data/models beside this script. Exit statuses as engine_io.py says.
"""

import os
import shutil

import numpy as np
import soundfile as sf

import engine_io
import library

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL_FOLDER = os.path.join(HERE, "data", "models")
BLOCK = 1 << 16


class UvrModels:
    models = tuple(library.ARCHITECTURES)

    def __init__(self):
        self.separator = None
        self.stem_folder = None

    def refusal(self, model):
        return f"未知模型：{model}"

    def prepare(self, job, audio, scratch):
        # The library's constructor fails without ffmpeg, its error buried in
        # a traceback: said here first, plainly.
        if shutil.which("ffmpeg") is None:
            raise engine_io.EngineError("未找到 ffmpeg 程序：请安装 ffmpeg 软件包")
        print(f"UVR 模型（audio-separator {library.VERSION}）：{job.model}，"
              f"输入 {audio.samplerate} Hz，{audio.channels} 声道", flush=True)
        # Float WAV at the models' rate: the library then writes float WAV
        # stems (it writes the input's sample format), at the input's length.
        audio = engine_io.open_decoded(job.input_path, scratch,
                                       ["-ac", "2", "-ar", str(library.RATE)],
                                       name="library-input.wav")
        self.stem_folder = os.path.join(scratch, "stems")
        self.separator = library.build_separator(MODEL_FOLDER, self.stem_folder, job.quality)
        library.load_model(self.separator, job.model, MODEL_FOLDER)
        return audio

    def separate(self, job, audio, writers):
        # Plain stem names the library keeps as they are; Tonfield's own
        # (which may hold characters the library replaces) are given below.
        names = {stem: stem for stem in job.stems}
        with library.LogRecords() as records, \
                library.ProgressBars(library.pass_weights(job.model, job.quality)):
            try:
                self.separator.separate(audio.name, custom_output_names=names)
            except Exception as error:  # raised before its own per-file guard
                raise engine_io.EngineError(f"分离失败：{type(error).__name__}: {error}")
        stems = library.check_stems(job, self.stem_folder, audio.frames, records,
                                    os.path.abspath(MODEL_FOLDER))
        engine_io.print_progress(100, 100)
        print(flush=True)
        for stem in job.stems:
            copy_stem(stems[stem], audio.frames, writers, stem)


def copy_stem(path, frames, writers, stem):
    """The stem at `path` into its writer, block by block; silence for None."""
    if path is None:
        for start in range(0, frames, BLOCK):
            writers.write(stem, np.zeros((min(BLOCK, frames - start), 2), dtype="float32"))
        return
    with sf.SoundFile(path) as source:
        while True:
            block = source.read(BLOCK, dtype="float32", always_2d=True)
            if len(block) == 0:
                break
            writers.write(stem, block)


if __name__ == "__main__":
    raise SystemExit(engine_io.main(UvrModels()))
