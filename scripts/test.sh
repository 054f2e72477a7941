#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything and runs every test: a format check, the whole suite with
# warnings as errors, the Debian package checked and installed into a clean
# Debian 12 root, the core and adapter tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the program's own threads under
# ThreadSanitizer, and the job.json and audio decoder fuzzers for about a
# minute each.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== format"
scripts/check-format.sh

echo "== build and test"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONFIELD_WERROR=ON
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j "$jobs"

echo "== the command line, the help and the version load Qt Core alone"
# Not Qt Gui, Widgets or Multimedia: those are the window's (a library the
# program loads only to open one), and resolving them is most of a start.
# Nor the analysis and the BLAS and LAPACK behind it, loaded when a song is
# first analysed.
for arguments in "--version" "--help" "help" "history"; do
  # shellcheck disable=SC2086 # one or two words, split on purpose
  loaded=$(DISPLAY=:0 LD_DEBUG=files build-test/tonfield $arguments 2>&1 >/dev/null \
    | grep -oE "file=[^ ]*(libQt6(Gui|Widgets|Multimedia)|libtonfield_(window|analysis)|libqm-dsp|blas)[^ ]*" \
    | sort -u || true)
  if [[ -n "$loaded" ]]; then
    echo "'tonfield $arguments' loads what only the window needs: $loaded" >&2
    exit 1
  fi
done

echo "== the Debian package, built as the package command builds it, warnings as errors"
scripts/package.sh -DTONFIELD_WERROR=ON
deb=$(ls build-package/tonfield_*.deb)

echo "== the application loads FFmpeg and qm-dsp when first used, not when it starts"
for elf in build-package/tonfield build-package/lib/tonfield/libtonfield_window.so; do
  if ldd "$elf" | grep -qE "libavcodec|libqm-dsp"; then
    echo "$elf links FFmpeg or qm-dsp: their libraries would slow every start" >&2
    exit 1
  fi
done

echo "== the package as Debian checks one: lintian, hardening, desktop metadata"
tests/install/package_test.sh "$deb"

echo "== the package in a clean Debian 12 root: an M4A separated, an upgrade, one window"
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
"${as_root[@]}" tests/install/clean_root_test.sh "$deb" build-package/clean-root

echo "== core and adapter tests under sanitizers"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONFIELD_WERROR=ON \
  -DTONFIELD_SANITIZE=ON -DTONFIELD_BUILD_BENCH=OFF
cmake --build build-sanitize --target core_tests adapter_tests audio_output_tests
ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -L 'core|adapter'

echo "== the program's own threads under ThreadSanitizer"
# Qt hands work between threads (queued calls, its thread pool) through
# futexes that ThreadSanitizer cannot see in Debian's uninstrumented Qt, so
# tests that cross threads through Qt report races that are not there. Run
# here: the core, and the stems decoded ahead on a worker thread and read
# on another (the rings, the bus's gains, the stem streams).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONFIELD_WERROR=ON \
  -DTONFIELD_TSAN=ON -DTONFIELD_BUILD_BENCH=OFF
cmake --build build-tsan --target core_tests adapter_tests
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L core
ctest --test-dir build-tsan --output-on-failure -R '^MixRendererAndPlayer[.]'

echo "== job.json and decoder fuzzers"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTONFIELD_WERROR=ON -DTONFIELD_CORE_ONLY=ON -DTONFIELD_SANITIZE=ON -DTONFIELD_FUZZ=ON
cmake --build build-fuzz --target job_json_fuzzer decoder_fuzzer
ctest --test-dir build-fuzz --output-on-failure -L fuzz
