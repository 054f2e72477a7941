#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The command line's overhead per job over running the engine directly, with
# an engine that writes one stem and exits at once:
#   bench/cli_bench.sh [TONFIELD_EXECUTABLE] [RUNS]
set -euo pipefail
tonfield=$(realpath "${1:-build/tonfield}")
runs=${2:-20}
scratch=$(mktemp -d /tmp/tonfield-cli-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

engine=$scratch/Engine
mkdir -p "$engine/.venv/bin"
echo '# stand-in' > "$engine/separate_job.py"
printf '#!/bin/sh\nprintf v > "$4/song_(Vocals).wav"\n' > "$engine/.venv/bin/python"
chmod +x "$engine/.venv/bin/python"
printf 'RIFF' > "$scratch/song.wav"

seconds() { date +%s.%N; }
start=$(seconds)
for i in $(seq "$runs"); do
  mkdir -p "$scratch/direct/$i"
  "$engine/.venv/bin/python" -u "$engine/separate_job.py" "$scratch/song.wav" \
    "$scratch/direct/$i" UVR-MDX-NET-Inst_HQ_3.onnx WAV standard
done
direct=$(echo "($(seconds) - $start) / $runs" | bc -l)

start=$(seconds)
for _ in $(seq "$runs"); do
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$scratch/config" \
    "$tonfield" separate "$scratch/song.wav" --engine "$engine" > /dev/null 2>&1
done
cli=$(echo "($(seconds) - $start) / $runs" | bc -l)

printf 'engine alone: %.1f ms per job; tonfield separate: %.1f ms per job; overhead %.1f ms\n' \
  "$(echo "$direct * 1000" | bc -l)" "$(echo "$cli * 1000" | bc -l)" \
  "$(echo "($cli - $direct) * 1000" | bc -l)"
