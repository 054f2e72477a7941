#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a ready engine folder at the given path: the reference engine's script
# and a virtual environment that sees Debian's numpy and soundfile.
# Safe to run again: the script is refreshed, an existing environment kept.
# What it finds missing it says in its last line.
set -euo pipefail
target=${1:?usage: make_engine_folder.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)

# Debian's own Python, whose packages the engine uses: not whatever python3
# comes first on the PATH.
python=/usr/bin/python3
if [[ ! -x "$python" ]]; then
  echo "Python 3 is missing: install the python3 package" >&2
  exit 1
fi
mkdir -p "$target"
# Renamed into place whole: a job that starts while an upgrade refreshes the
# folder reads the old script or the new one, never half of one.
cp "$here/separate_job.py" "$target/.separate_job.py.new"
mv -f "$target/.separate_job.py.new" "$target/separate_job.py"
if [[ ! -x "$target/.venv/bin/python" ]]; then
  # No pip inside: the engine uses the system's packages, and Debian's
  # ensurepip would need python3-venv for nothing.
  if ! "$python" -m venv --system-site-packages --without-pip "$target/.venv"; then
    rm -rf "$target/.venv"
    echo "Python could not make a virtual environment in $target/.venv" >&2
    exit 1
  fi
fi
if ! "$target/.venv/bin/python" -c 'import numpy, soundfile' 2>/dev/null; then
  echo "the engine needs python3-numpy and python3-soundfile" >&2
  exit 1
fi
