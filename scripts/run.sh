#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tonfield and starts it, with the bundled reference engine ready in
# build/Engine beside the executable. Arguments are passed to the application.
set -euo pipefail
cd "$(dirname "$0")/.."

# A desktop application needs a desktop: say so before building anything.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "Tonfield opens a window and needs a graphical session (DISPLAY or WAYLAND_DISPLAY is" >&2
  echo "not set). Run this from a desktop session, or over ssh -X; scripts/test.sh runs the" >&2
  echo "tests without one." >&2
  exit 1
fi

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTONFIELD_ENGINE_TEMPLATES="$PWD/engines"
cmake --build build --target tonfield
if [[ -f engines/reference/make_engine_folder.sh ]]; then
  engines/reference/make_engine_folder.sh build/Engine
fi
exec build/tonfield "$@"
