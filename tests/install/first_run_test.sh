#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs Tonfield into a temporary prefix and runs the installed program
# where no engine folder exists anywhere, with an empty data and config home:
# the first run must make the engine folder from the installed template,
# store it, and separate a song with it; the second run must find it. Then
# the installed Hybrid Demucs and UVR templates are set up and used from the
# command line, with test weights from a mirror on loopback (the UVR engine's
# library is its tests' stand-in, installed by pip offline).
#   first_run_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
mirror=
trap '[[ -n "$mirror" ]] && kill "$mirror"; rm -rf "$scratch"' EXIT
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

# Analysing a file needs no engine: nothing is prepared for it.
tonfield analyze --json "$scratch/song.wav" >"$scratch/analysis" 2>"$scratch/err" \
  || fail "the analysis failed: $(cat "$scratch/err")"
grep -q '"duration":2.0' "$scratch/analysis" || fail "no analysis: $(cat "$scratch/analysis")"
[[ ! -e "$scratch/data/Tonfield" ]] || fail "analysing a file prepared an engine folder"

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

# The engines the installation brings: the reference one in use, with its job.
tonfield engines >"$scratch/engines" 2>"$scratch/err" || fail "engines failed: $(cat "$scratch/err")"
grep -qP "^\*\treference\tready\tvocal,four,six\t1 jobs\t" "$scratch/engines" \
  || fail "the reference engine is not listed in use: $(cat "$scratch/engines")"
grep -qP "^ \thdemucs\tnot set up\tvocal,four\t0 jobs\t" "$scratch/engines" \
  || fail "Hybrid Demucs is not listed: $(cat "$scratch/engines")"
grep -qP "^ \tuvr\t(not set up|needs packages: sudo apt install [^\t]+)\tvocal,four,six\t0 jobs\t" \
  "$scratch/engines" || fail "the UVR engine is not listed: $(cat "$scratch/engines")"

neural="$scratch/data/Tonfield/Engines/hdemucs"
[[ $(tonfield engines setup hdemucs 2>"$scratch/err") == "$neural" ]] \
  || fail "the set-up did not make $neural: $(cat "$scratch/err")"
tonfield engines use hdemucs >/dev/null 2>"$scratch/err" || fail "use failed: $(cat "$scratch/err")"
grep -qx "engineRoot=$neural" "$scratch/config/Tonfield/Tonfield.conf" || fail "not stored"

# One loopback mirror holds both engines' model files: their paths differ.
mkdir -p "$scratch/mirror/torchaudio/models"
"$source_dir/engines/hdemucs/tests/make_test_weights.py" \
  "$scratch/mirror/torchaudio/models/hdemucs_high_trained.pt"
python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import model_mirror
model_mirror.make_models(sys.argv[2])' "$source_dir/engines/uvr/tests" "$scratch/mirror"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$scratch/mirror" >"$scratch/server" 2>&1 &
mirror=$!
for _ in $(seq 100); do grep -q "port" "$scratch/server" && break; sleep 0.1; done
port=$(grep -oP "port \K[0-9]+" "$scratch/server") || fail "the mirror did not start"
TONFIELD_MODEL_MIRROR=http://127.0.0.1:$port tonfield separate --mode four "$scratch/song.wav" \
  >"$scratch/stems" 2>"$scratch/err" || fail "Hybrid Demucs did not separate: $(cat "$scratch/err")"
[[ $(grep -c "^$neural/data/jobs/.*/output/song_(.*)\.wav$" "$scratch/stems") -eq 4 ]] \
  || fail "not four stems from Hybrid Demucs: $(cat "$scratch/stems")"
[[ $(tonfield history | wc -l) -eq 1 ]] || fail "the history is not Hybrid Demucs's own"
tonfield engines use reference >/dev/null
tonfield history | grep -q "song.wav" || fail "the reference engine's job is gone"
echo "set up Hybrid Demucs in $neural and separated four stems with it"

uvr="$scratch/data/Tonfield/Engines/uvr"
cp -r "$source_dir/engines/uvr/tests/standin" "$scratch/standin"
[[ $(TONFIELD_UVR_LIBRARY="$scratch/standin" PIP_NO_INDEX=1 PIP_NO_BUILD_ISOLATION=0 \
  tonfield engines setup uvr 2>"$scratch/err") == "$uvr" ]] \
  || fail "the UVR set-up did not make $uvr: $(cat "$scratch/err")"
tonfield engines use uvr >/dev/null 2>"$scratch/err" || fail "use uvr failed: $(cat "$scratch/err")"
TONFIELD_MODEL_MIRROR=http://127.0.0.1:$port tonfield separate --mode six "$scratch/song.wav" \
  >"$scratch/stems" 2>"$scratch/err" || fail "the UVR engine did not separate: $(cat "$scratch/err")"
[[ $(grep -c "^$uvr/data/jobs/.*/output/song_(.*)\.wav$" "$scratch/stems") -eq 6 ]] \
  || fail "not six stems from the UVR engine: $(cat "$scratch/stems")"
echo "set up the UVR engine in $uvr and separated six stems with it"
