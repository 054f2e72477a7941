#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes an engine folder that separates with trained models: a virtual
# environment with the audio-separator package and the adapter that gives it
# Tonfield's engine invocation. Needs the network once, for the package and,
# at first use of each model, its weights (kept in FOLDER/data/models).
#   make_ml_engine_folder.sh FOLDER [--gpu]
# --gpu installs the package's GPU build (CUDA) instead of the CPU one.
# TONFIELD_ML_PACKAGE overrides what pip installs (a path to a local copy).
# Safe to run again: the adapter is refreshed, the environment kept.
set -euo pipefail
target=${1:?usage: make_ml_engine_folder.sh FOLDER [--gpu]}
here=$(cd "$(dirname "$0")" && pwd)
version=0.47.1
extra=cpu
[[ "${2:-}" == "--gpu" ]] && extra=gpu
package=${TONFIELD_ML_PACKAGE:-audio-separator[$extra]==$version}

python=/usr/bin/python3
if [[ ! -x "$python" ]]; then
  echo "Python 3 is missing: install the python3 package" >&2
  exit 1
fi
mkdir -p "$target/data/models"
cp "$here/ml/separate_job.py" "$target/separate_job.py"
if [[ ! -x "$target/.venv/bin/pip" ]]; then
  # Debian's numpy, scipy and soundfile serve where the package's pins allow.
  if ! "$python" -m venv --system-site-packages "$target/.venv"; then
    rm -rf "$target/.venv"
    echo "Python could not make a virtual environment in $target/.venv (is python3-venv installed?)" >&2
    exit 1
  fi
fi
if ! "$target/.venv/bin/pip" install --disable-pip-version-check -q "$package"; then
  echo "pip could not install $package into $target/.venv" >&2
  exit 1
fi
if ! "$target/.venv/bin/python" -c 'from audio_separator.separator import Separator' 2>/dev/null; then
  echo "audio-separator is installed but does not load in $target/.venv" >&2
  exit 1
fi
echo "machine-learning engine ready in $target"
