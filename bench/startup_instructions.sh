#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Instructions (callgrind: the same on a loaded machine as on an idle one)
# from a cold start to the finished first frame: Tonfield, the same frame
# without logic, a bare window with the headline alone, and Tonfield again
# with ten thousand jobs in its history.
#   bench/startup_instructions.sh [BUILD_DIR=build]
set -euo pipefail
bench=$(realpath "${1:-build}")/bench
scratch=$(mktemp -d /tmp/tonfield-startup-XXXXXX)
jobs=""
trap 'rm -rf "$scratch" ${jobs:+"$jobs"}' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$scratch
cd "$scratch"
"$bench/startup_bench" describe "$scratch/first-frame.tsv" >/dev/null 2>&1

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null \
    | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
millions() { echo "$1 / 1000000" | bc -l; }

tonfield=$(instructions "$bench/startup_bench" child 0)
same=$(instructions "$bench/same_frame_reference" "$scratch/first-frame.tsv" child 0)
bare=$(instructions "$bench/startup_reference" child 0)
printf 'Tonfield                        %7.1f M instructions\n' "$(millions "$tonfield")"
printf 'the same frame without logic    %7.1f M  (Tonfield: %.2fx)\n' "$(millions "$same")" \
  "$(echo "$tonfield / $same" | bc -l)"
printf 'a bare window, the headline     %7.1f M  (Tonfield: %.2fx)\n' "$(millions "$bare")" \
  "$(echo "$tonfield / $bare" | bc -l)"

jobs=$("$bench/startup_bench" jobs)
mkdir -p "$scratch/Tonfield"
printf '[General]\nengineRoot=%s\n' "$jobs" > "$scratch/Tonfield/Tonfield.conf"
long=$(instructions "$bench/startup_bench" child 0)
printf 'Tonfield with 10,000 jobs       %7.1f M  (%.2fx the empty start)\n' "$(millions "$long")" \
  "$(echo "$long / $tonfield" | bc -l)"
