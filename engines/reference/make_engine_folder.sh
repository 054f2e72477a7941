#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a ready engine folder at the given path: the reference engine's script
# and a virtual environment that sees Debian's numpy and soundfile.
set -euo pipefail
target=${1:?usage: make_engine_folder.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)
# Installed, the shared parts lie beside this script; in the source tree, in
# the engines' common folder.
common=$here
[[ -f "$common/engine_folder.sh" ]] || common=$here/../common
# shellcheck source=../common/engine_folder.sh
source "$common/engine_folder.sh"
make_engine_folder "$target" 'import numpy, soundfile' \
  "the engine needs python3-numpy and python3-soundfile" \
  "$here/separate_job.py" "$here/engine.json"
