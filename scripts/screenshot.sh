#!/usr/bin/env bash
# Starts Tonfield under Xvfb with a temporary settings folder and a sample
# engine folder holding a few jobs, and writes PNGs of the workspace and of
# the history, and of a finished job's results, into the given folder
# (default: build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
mkdir -p "$out"
for tool in Xvfb import xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (xvfb, imagemagick, xdotool)" >&2; exit 1; }
done

scratch=$(mktemp -d /tmp/tonfield-shot-XXXXXX)
cleanup() { kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT

# A sample engine folder with three jobs: done (with stems), failed, cancelled.
engine="$scratch/Engine"
reference-engine/make_engine_folder.sh "$engine"
job() { # id filename mode status created message outputs-json
  mkdir -p "$engine/data/jobs/$1/output" "$engine/data/jobs/$1/input"
  printf '{"id":"%s","filename":"%s","mode":"%s","format":"WAV","quality":"high","status":"%s","created":%s,"message":"%s","elapsed":42,"outputs":%s}' \
    "$1" "$2" "$3" "$4" "$5" "$6" "$7" > "$engine/data/jobs/$1/job.json"
  printf '模型就绪\n分离进度 100%%\n' > "$engine/data/jobs/$1/process.log"
}
job aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1 "晴天.mp3" four done 1733500000 "分轨完成，已生成 4 条独立音轨。" '[]'
job aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2 "Night Drive (Live).flac" vocal error 1733400000 "分轨失败，请展开运行日志查看原因。" '[]'
job aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa3 "demo.wav" six cancelled 1733300000 "已取消分轨" '[]'
for stem in Bass Drums Other Vocals; do
  : > "$engine/data/jobs/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1/output/晴天_($stem).wav"
done

export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch"
mkdir -p "$XDG_CONFIG_HOME/Tonfield"
printf '[General]\nengineRoot=%s\n' "$engine" > "$XDG_CONFIG_HOME/Tonfield/Tonfield.conf"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1400x950x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

build/tonfield &
app=$!
for _ in $(seq 100); do xdotool search --onlyvisible --name "Tonfield" >/dev/null 2>&1 && break; sleep 0.1; done
window=$(xdotool search --onlyvisible --name "Tonfield" | head -1)
xdotool windowmove "$window" 0 0
sleep 1
import -window root -crop 1240x860+0+0 "$out/workspace.png"

# The history: the sidebar's second navigation entry.
xdotool mousemove --window "$window" 100 "${HISTORY_Y:-237}" click 1
sleep 1
import -window root -crop 1240x860+0+0 "$out/history.png"
# The finished job's results: the history's first row.
xdotool mousemove --window "$window" 700 "${FIRST_JOB_Y:-318}" click 1
sleep 1
import -window root -crop 1240x860+0+0 "$out/results.png"
echo "wrote workspace.png, history.png and results.png in $out"
