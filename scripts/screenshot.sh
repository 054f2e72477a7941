#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts Tonfield under Xvfb (with a private null sound sink) and a temporary
# settings folder and engine folder, walks through a job with xdotool, and
# writes PNGs into the given folder (default: build/screenshots):
#   idle.png      no source yet
#   source.png    a source chosen
#   running.png   a job running, its log expanded
#   finished.png  the finished job's stems, one playing in the playback bar
#   mixer.png     the mixer under them, playing without the vocals
#   history.png   the history
#   failed.png    a failed job from the history
#   minimum.png   the history at the minimum window size, with a long-named job
#   focus.png     keyboard focus moved with Tab, drawn as a mint ring
# Coordinates are those of the default window (content 1240 x 860 under the
# menu bar).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${PULSE_SERVER:-}" ]]; then
  exec scripts/with-null-audio.sh "$0" "$@"
fi
out=$(realpath -m "${1:-build/screenshots}")
mkdir -p "$out"
for tool in Xvfb import xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "needs $tool (xvfb, imagemagick, xdotool, ffmpeg)" >&2; exit 1; }
done

scratch=$(mktemp -d /tmp/tonfield-shot-XXXXXX)
cleanup() { kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT

# An engine folder with a failed job in its history, and a song to separate.
engine="$scratch/Engine"
engines/reference/make_engine_folder.sh "$engine"
failed="$engine/data/jobs/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2"
mkdir -p "$failed/input" "$failed/output"
printf '{"id":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2","filename":"Night Drive (Live).flac","mode":"vocal","format":"WAV","quality":"high","status":"error","created":1733400000,"message":"分轨失败，请展开运行日志查看原因。","elapsed":3,"outputs":[]}' \
  > "$failed/job.json"
printf '模型就绪\n错误：无法读取输入文件\n' > "$failed/process.log"
long="$engine/data/jobs/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa3"
mkdir -p "$long/input" "$long/output"
printf '{"id":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa3","filename":"%s.flac","mode":"four","format":"FLAC","quality":"standard","status":"done","created":1733300000,"message":"分轨完成，已生成 4 条独立音轨。","elapsed":41,"outputs":[]}' \
  "Live at the Royal Albert Hall — 晴天、七里香、稻香、夜曲、告白气球、说好不哭、青花瓷（二〇二四年巡回演唱会完整版）" \
  > "$long/job.json"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=220:duration=45" -f lavfi \
  -i "sine=frequency=330:duration=45" -filter_complex "[0:a][1:a]join=inputs=2:channel_layout=stereo" \
  "$scratch/晴天.flac"

export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch"
mkdir -p "$XDG_CONFIG_HOME/Tonfield"
printf '[General]\nengineRoot=%s\n' "$engine" > "$XDG_CONFIG_HOME/Tonfield/Tonfield.conf"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1400x950x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

window=
start_app() {
  build/tonfield "$@" 2>/dev/null &
  app=$!
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "Tonfield" 2>/dev/null | head -1) && [[ -n "$window" ]] && break
    sleep 0.1
  done
  xdotool windowmove "$window" 0 0
  sleep 1
}
# The whole window, menu bar included.
shot() {
  local size
  size=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')
  import -window root -crop "${size}+0+0" "$out/$1.png"
}
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.5}"; }

start_app
shot idle
kill "$app"; wait "$app" 2>/dev/null || true

start_app "$scratch/晴天.flac"
shot source
click 1040 419          # four stems
click 1040 749 1        # start
click 297 630 1.5       # expand the log
shot running
for _ in $(seq 120); do
  [[ -n "$(ls "$engine"/data/jobs/*/output/*.wav 2>/dev/null | head -1)" ]] && \
    grep -q '"status":"done"' "$engine"/data/jobs/*/job.json 2>/dev/null && break
  sleep 0.5
done
sleep 1
click 281 531 3         # play the first stem
shot finished
xdotool mousemove 700 500 click --repeat 12 5; sleep 0.5  # down to the mixer
click 273 433 1         # play the mix (the preview stops)
click 312 502 2         # the "伴奏" preset: the vocals muted
shot mixer
click 100 237 1         # the history
shot history
click 700 393 1         # the failed job
shot failed

# The smallest window: content 960 x 700 under the menu bar.
menu_height=$(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/ {print $NF}') - 860 ))
xdotool windowsize "$window" 960 $((700 + menu_height)); sleep 1
click 100 237 1         # the history
shot minimum
xdotool windowsize "$window" 1240 $((860 + menu_height)); sleep 1
click 100 195 1         # back to the workspace
xdotool key Tab Tab Tab Tab Tab Tab Tab; sleep 0.5  # onto "四轨分离"
shot focus
echo "wrote idle, source, running, finished, mixer, history, failed, minimum and focus.png in $out"
