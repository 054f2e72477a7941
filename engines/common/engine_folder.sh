# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by each engine's make_engine_folder.sh: makes a ready engine folder
# from the engine's scripts and a virtual environment over Debian's Python.
# Safe to run again: the scripts are refreshed, an existing environment kept.
# What it finds missing it says in its last line.

# make_engine_folder TARGET IMPORT_CHECK MISSING_MESSAGE FILE...
# IMPORT_CHECK is Python that must run in the environment; FILE... are
# copied into TARGET, with engine_io.py and download.py, which engines import (an
# engine.json among them describes the engine to Tonfield).
make_engine_folder() {
  local target=$1 import_check=$2 missing=$3
  shift 3
  local common
  common=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  # Debian's own Python, whose packages the engine uses: not whatever python3
  # comes first on the PATH.
  local python=/usr/bin/python3
  if [[ ! -x "$python" ]]; then
    echo "Python 3 is missing: install the python3 package" >&2
    return 1
  fi
  mkdir -p "$target"
  local script
  for script in "$common/engine_io.py" "$common/download.py" "$@"; do
    # Renamed into place whole: a job that starts while an upgrade refreshes
    # the folder reads the old script or the new one, never half of one.
    cp "$script" "$target/.$(basename "$script").new"
    mv -f "$target/.$(basename "$script").new" "$target/$(basename "$script")"
  done
  if [[ ! -x "$target/.venv/bin/python" ]]; then
    # No pip inside: the engine uses the system's packages, and Debian's
    # ensurepip would need python3-venv for nothing.
    if ! "$python" -m venv --system-site-packages --without-pip "$target/.venv"; then
      rm -rf "$target/.venv"
      echo "Python could not make a virtual environment in $target/.venv" >&2
      return 1
    fi
  fi
  local failure
  if ! failure=$("$target/.venv/bin/python" -c "$import_check" 2>&1); then
    echo "$missing (${failure##*$'\n'})" >&2
    return 1
  fi
}
