#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Instructions (callgrind, repeatable on a loaded machine) that the command
# line's start costs, against a Qt Core program that prints its version:
#   bench/cli_start_bench.sh [BUILD_DIR=build]
set -euo pipefail
build=$(realpath "${1:-build}")
scratch=$(mktemp -d /tmp/tonfield-cli-start-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/Engine"
echo '# stand-in' > "$scratch/Engine/separate_job.py"

instructions() {
  env -u WAYLAND_DISPLAY DISPLAY=:0 XDG_CONFIG_HOME="$scratch/config" \
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null \
    | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

reference=$(instructions "$build/bench/core_reference")
printf '%-40s %8.1f M instructions\n' "Qt Core program, its version" "$(echo "$reference / 1000000" | bc -l)"
for arguments in "--version" "history --engine $scratch/Engine"; do
  # shellcheck disable=SC2086 # the arguments are split on purpose
  count=$(instructions "$build/tonfield" $arguments)
  printf '%-40s %8.1f M instructions, %.2fx\n' "tonfield ${arguments%% *}" \
    "$(echo "$count / 1000000" | bc -l)" "$(echo "$count / $reference" | bc -l)"
done
