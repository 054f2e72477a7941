#!/usr/bin/env bash
# Installs the Debian packages Tonfield needs to build, run and test, and only
# those that are missing, so running it again costs nothing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # application
  qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev nlohmann-json3-dev libutf8proc-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  fonts-noto-cjk fonts-material-design-icons-iconfont
  # tests, fuzzing, benchmarks (pulseaudio gives the audio tests a null sink)
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev pulseaudio pulseaudio-utils
  # reference engine
  python3 python3-venv python3-numpy python3-scipy python3-soundfile ffmpeg
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
