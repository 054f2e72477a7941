# SPDX-License-Identifier: GPL-3.0-or-later

"""A STAND-IN for audio-separator 0.44.1, NOT the library.

It follows the library's own code paths, read in these files at 0.44.1:
separator/separator.py (Separator: its parameter defaults, the
AUDIO_SEPARATOR_MODEL_DIR override, the ffmpeg check, downloads written in
place, the model listing, identifying an MDX model by the MD5 of its last
10 MB, separate() catching every Exception per file and returning the paths
it planned), separator/common_separator.py (stem names, sanitised file names
with custom names matched case-insensitively, near-silent stems skipped, the
soundfile writer catching its errors), separator/architectures/mdx_separator.py
(the arch dict stored as given; chunk sizes computed from it; a pass for the
model and one for the matched mix), separator/architectures/demucs_separator.py
with uvr_lib_v5/demucs/apply.py and repo.py (one pass per shift, checkpoints
checked against the SHA-256 prefix in their names).

What it does not mirror: the networks (each stem is a fixed share of the
mix), torch and onnxruntime, librosa's resampler (linear interpolation here),
the pydub writer, requests' transport details (urllib here), tqdm's exact
layout (the same "\\r NN%|" bars on standard error).

Where its lines are the library's own (the parameter defaults, the model
listing, the file-name rules, the checksum check), they are used under the
library's MIT licence, in LICENSE.audio-separator beside pyproject.toml.

Set by tests: STANDIN_SECONDS_PER_STEP slows each step of a pass;
STANDIN_DISK_FULL_AFTER=N makes every stem after the N-th fail half-written,
as a full disk does.
"""
