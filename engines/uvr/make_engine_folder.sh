#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes an engine folder that separates with UVR's trained models: a virtual
# environment with the audio-separator library (version 0.44.1) and this
# engine's scripts. Needs the network: about 0.5 GB of Python packages here
# (PyTorch's CPU build, the library and its dependencies), and each model's
# weights at its first use (kept in FOLDER/data/models).
#   make_engine_folder.sh FOLDER [--gpu]
# --gpu installs PyPI's default PyTorch (with CUDA, several GB) instead of
# the CPU build from PyTorch's own index.
# TONFIELD_UVR_LIBRARY installs the library from a local copy (a path pip
# accepts) instead of the package index, with no PyTorch of its own.
# The folder counts as ready only when its separate_job.py exists, and that
# is copied in last, after everything installed and loaded: a failed or
# cancelled set-up never leaves a folder that looks ready. Safe to run again:
# an environment that already holds this version is kept as it is.
set -euo pipefail
target=${1:?usage: make_engine_folder.sh FOLDER [--gpu]}
gpu=no
[[ "${2:-}" == "--gpu" ]] && gpu=yes
here=$(cd "$(dirname "$0")" && pwd)
# Installed, the shared parts lie beside this script; in the source tree, in
# the engines' common folder.
common=$here
[[ -f "$common/engine_io.py" ]] || common=$here/../common
version=0.44.1
extra=cpu
[[ $gpu == yes ]] && extra=gpu
library=${TONFIELD_UVR_LIBRARY:-audio-separator[$extra]==$version}
torch_index=https://download.pytorch.org/whl/cpu
# Debian's own Python, whose headers the build below needs.
python=/usr/bin/python3

# What pip needs that only the system can give, each named by its package.
missing=()
[[ -x "$python" ]] || missing+=(python3)
[[ -x "$python" ]] && ! "$python" -c 'import ensurepip, venv' 2>/dev/null && missing+=(python3-venv)
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
# diffq, which the library needs on Linux, has no wheel for this Python:
# pip compiles it, with a C compiler and Python's headers.
{ command -v gcc >/dev/null && command -v make >/dev/null; } || missing+=(build-essential)
[[ -x "$python" ]] && ! "$python" -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' \
  && missing+=(python3-dev)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "缺少软件包：${missing[*]}（请先运行 sudo apt install ${missing[*]}）" >&2
  exit 1
fi

venv=$target/.venv
import_check='from audio_separator.separator import Separator'
installed_version() {
  "$venv/bin/python" -c 'import importlib.metadata as m; print(m.version("audio-separator"))' \
    2>/dev/null || true
}

# pip_install WHAT ARGUMENT...: pip's own output goes to the log as it comes;
# when it fails, its reason ends the log, where the window reads it.
pip_install() {
  local what=$1 output reason
  shift
  output=$(mktemp)
  if "$venv/bin/python" -m pip install --disable-pip-version-check --progress-bar on "$@" 2>&1 \
    | tee "$output"; then
    rm -f "$output"
    return 0
  fi
  if grep -q "Failed to establish a new connection\|Temporary failure in name resolution" "$output"; then
    reason="无法连接网络"
  else
    reason=$(grep "^ERROR:" "$output" | tail -n 1 || true)
  fi
  rm -f "$output"
  echo "pip 无法安装 $what：${reason:-见安装日志}" >&2
  exit 1
}

mkdir -p "$target/data/models"
if [[ -x "$venv/bin/python" && "$(installed_version)" == "$version"* ]] \
  && "$venv/bin/python" -c "$import_check" 2>/dev/null; then
  echo "audio-separator $version 已安装"
else
  # Not ready while it is rebuilt.
  rm -f "$target/separate_job.py"
  if [[ ! -x "$venv/bin/pip" ]]; then
    rm -rf "$venv"
    # Debian's packages stay visible, but the library's pins (numpy >= 2,
    # scipy >= 1.13, torch >= 2.3) are newer than Debian 12's: pip installs
    # its own copies of those into the environment, which then come first.
    if ! "$python" -m venv --system-site-packages "$venv"; then
      rm -rf "$venv"
      echo "Python 无法在 $venv 建立虚拟环境" >&2
      exit 1
    fi
  fi
  if [[ -z ${TONFIELD_UVR_LIBRARY:-} && $gpu == no ]]; then
    echo "正在下载 PyTorch（CPU 版，约 0.2 GB）…"
    pip_install "PyTorch" --index-url "$torch_index" "torch>=2.3"
  fi
  echo "正在安装 $library 及其依赖（约 0.3 GB）…"
  pip_install "$library" "$library"
  if ! failure=$("$venv/bin/python" -c "$import_check" 2>&1); then
    printf '%s\n' "$failure" >&2
    echo "audio-separator 已安装但无法载入：${failure##*$'\n'}" >&2
    exit 1
  fi
fi

# Renamed into place whole, the adapter last: a job that starts while the
# folder is refreshed reads old scripts or new ones, never half of one.
for script in "$common/engine_io.py" "$common/download.py" "$here/library.py" \
  "$here/engine.json" "$here/separate_job.py"; do
  cp "$script" "$target/.$(basename "$script").new"
  mv -f "$target/.$(basename "$script").new" "$target/$(basename "$script")"
done
echo "UVR 模型引擎已就绪：$target"
