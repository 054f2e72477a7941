#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file differs from what .clang-format makes of it, or when a
# source file does not carry the licence's SPDX line near its top.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run -Werror
echo "format: every C++ file matches .clang-format"

unlicensed=()
while IFS= read -r file; do
  head -n 3 "$file" | grep -q "SPDX-License-Identifier: GPL-3.0-or-later" || unlicensed+=("$file")
done < <(git ls-files '*.cpp' '*.hpp' '*.py' '*.sh' '*.cmake' '*.toml' '*CMakeLists.txt' .ci/run)
if [[ ${#unlicensed[@]} -gt 0 ]]; then
  echo "no SPDX-License-Identifier line in: ${unlicensed[*]}" >&2
  exit 1
fi
echo "licence: every source file names GPL-3.0-or-later"
