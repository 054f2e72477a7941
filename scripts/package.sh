#!/usr/bin/env bash
# Builds the Debian package of Tonfield into build-package/:
#   sudo apt install ./build-package/tonfield_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTONFIELD_BUILD_TESTS=OFF -DTONFIELD_BUILD_BENCH=OFF
cmake --build build-package --target package
ls build-package/tonfield_*.deb
