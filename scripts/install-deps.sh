#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Tonfield needs, and only those that are
# missing, so running it again costs nothing.
#   scripts/install-deps.sh          what building and running the application needs
#   scripts/install-deps.sh --package  that, plus what building the Debian package needs
#   scripts/install-deps.sh --tests  all that, plus what the tests, fuzzers and benchmarks need
# The test packages stay out of a plain install: PulseAudio above all, which on
# a desktop whose sound server is PipeWire would compete with it.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # application (qt6-wayland: native windows in a Wayland session)
  qt6-base-dev qt6-qpa-plugins qt6-wayland qt6-multimedia-dev qt6-translations-l10n
  nlohmann-json3-dev libsimdjson-dev libutf8proc-dev libqm-dsp-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev librubberband-dev
  fonts-noto-cjk fonts-material-design-icons-iconfont
  # reference engine
  python3 python3-venv python3-numpy python3-soundfile ffmpeg
)
if [[ "${1:-}" == "--package" || "${1:-}" == "--tests" ]]; then
  # dpkg-shlibdeps computes the package's library dependencies (and
  # dpkg-buildflags gives its hardening flags); the two validators check its
  # desktop entry and AppStream metadata; scdoc makes the manual page
  packages+=(dpkg-dev file desktop-file-utils appstream scdoc)
fi
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(
    # tests, fuzzing, benchmarks (pulseaudio gives the audio tests a private null sink)
    clang-format libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
    pulseaudio pulseaudio-utils
    # a real X server for the tests of what the window manager is told
    xvfb x11-utils
    # the reference engine's quality test renders songs from General MIDI files
    fluidsynth fluid-soundfont-gm openttd-openmsx python3-mido
    # the UVR engine: its set-up's prerequisites (pip builds with a compiler and
    # Python's headers), and what the stand-in for its library is built and
    # runs with, offline
    build-essential python3-dev python3-pip python3-setuptools python3-requests python3-yaml
    # the Hybrid Demucs engine: torch and torchaudio, and OpenBLAS for them
    # (without recommended packages torch would get the slow reference BLAS)
    python3-torchaudio libopenblas0-pthread
    # the package checked as Debian checks one, and installed into a clean
    # Debian root of its own (hardening-check is in devscripts)
    lintian devscripts appstream-util debootstrap man-db bash-completion
  )
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

advice() {
  cat >&2 <<TEXT
Tonfield needs these Debian packages, which are not installed:
  ${missing[*]}
Installing them needs administrator rights. Either run this script as root:
  su -c '$0${*:+ $*}'
or ask an administrator to run:
  apt-get install ${missing[*]}
TEXT
}

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  exit 0
fi
if ! command -v sudo >/dev/null; then
  advice "$@"
  exit 1
fi
# sudo resets the environment: the front end is passed on explicitly.
if ! sudo apt-get update || ! sudo env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"; then
  advice "$@"
  exit 1
fi
