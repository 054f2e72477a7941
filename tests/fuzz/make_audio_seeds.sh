#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes small audio files, one per container the import accepts and one MP3
# that switches from stereo to mono mid-file, as seeds for the decoder fuzzer.
set -euo pipefail
out=$1
mkdir -p "$out"
tone() { ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=$1:sample_rate=$2:duration=0.3" "${@:3}"; }
tone 440 44100 -ac 2 "$out/seed.wav"
tone 440 48000 -ac 2 "$out/seed.flac"
tone 440 44100 -ac 2 "$out/stereo.mp3"
tone 330 22050 -ac 1 "$out/mono.mp3"
cat "$out/stereo.mp3" "$out/mono.mp3" > "$out/joined.mp3"
tone 440 44100 -ac 2 -c:a libvorbis "$out/seed.ogg"
tone 440 44100 -ac 2 "$out/seed.m4a"
