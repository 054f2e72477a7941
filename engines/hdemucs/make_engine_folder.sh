#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a ready Hybrid Demucs engine folder at the given path: the engine's
# scripts and a virtual environment that sees Debian's torch and torchaudio.
# The weights are not fetched here: the engine downloads them on first use.
set -euo pipefail
target=${1:?usage: make_engine_folder.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)
# Installed, the shared parts lie beside this script; in the source tree, in
# the engines' common folder.
common=$here
[[ -f "$common/engine_folder.sh" ]] || common=$here/../common
# shellcheck source=../common/engine_folder.sh
source "$common/engine_folder.sh"
make_engine_folder "$target" 'import numpy, soundfile, torch, torchaudio.models' \
  "the engine needs python3-torchaudio, python3-numpy and python3-soundfile" \
  "$here/separate_job.py" "$here/weights.py" "$here/engine.json"
