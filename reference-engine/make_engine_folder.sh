#!/usr/bin/env bash
# Makes a ready engine folder at the given path: the reference engine's script
# and a virtual environment that sees Debian's numpy, scipy and soundfile.
# Safe to run again: the script is refreshed, an existing environment kept.
set -euo pipefail
target=${1:?usage: make_engine_folder.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$target"
cp "$here/separate_job.py" "$target/separate_job.py"
if [[ ! -x "$target/.venv/bin/python" ]]; then
  /usr/bin/python3 -m venv --system-site-packages "$target/.venv"
fi
"$target/.venv/bin/python" -c 'import numpy, scipy, soundfile' \
  || { echo "the engine needs python3-numpy, python3-scipy and python3-soundfile" >&2; exit 1; }
