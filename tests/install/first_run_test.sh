#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs Tonfield into a temporary prefix and runs the installed program
# where no engine folder exists anywhere, with an empty data and config home:
# the first run must make the engine folder from the installed template,
# store it, and separate a song with it; the second run must find it.
#   first_run_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
mkdir -p "$scratch/data" "$scratch/config" "$scratch/home" "$scratch/cwd"
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=2" -ac 2 "$scratch/song.wav"

tonfield() {
  (cd "$scratch/cwd" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" \
    XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
    "$scratch/usr/bin/tonfield" "$@")
}

if ldd "$scratch/usr/bin/tonfield" | grep -q "not found"; then
  fail "the installed program misses a library: $(ldd "$scratch/usr/bin/tonfield" | grep 'not found')"
fi

tonfield separate "$scratch/song.wav" >"$scratch/stems" 2>"$scratch/err" \
  || fail "the first run did not separate: $(cat "$scratch/err")"
engine="$scratch/data/Tonfield/Engine"
[[ -f "$engine/separate_job.py" && -x "$engine/.venv/bin/python" ]] \
  || fail "no ready engine folder in $engine"
grep -q "first run, preparing an engine folder" "$scratch/err" || fail "the preparation was not shown"
[[ $(grep -c "^$engine/data/jobs/.*/output/song_(.*)\.wav$" "$scratch/stems") -eq 2 ]] \
  || fail "not two stems in the new engine folder: $(cat "$scratch/stems")"
grep -qx "engineRoot=$engine" "$scratch/config/Tonfield/Tonfield.conf" \
  || fail "the engine folder was not stored: $(cat "$scratch/config/Tonfield/Tonfield.conf")"

# The second run finds the stored folder and prepares nothing.
tonfield history >"$scratch/history" 2>"$scratch/err" || fail "history failed: $(cat "$scratch/err")"
grep -q "song.wav" "$scratch/history" || fail "the job is not in the history"
if grep -q "preparing" "$scratch/err"; then fail "the second run prepared again"; fi
echo "first run made $engine and separated a song with it"
