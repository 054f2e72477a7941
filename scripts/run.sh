#!/usr/bin/env bash
# Builds Tonfield and starts it, with the bundled reference engine ready in
# build/Engine beside the executable. Arguments are passed to the application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
if [[ -f reference-engine/make_engine_folder.sh ]]; then
  reference-engine/make_engine_folder.sh build/Engine
fi
exec build/tonfield "$@"
