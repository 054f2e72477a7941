#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command against a private PulseAudio daemon whose only output is a
# null sink: real audio output, no sound card, nothing shared with the user's
# own sound server. The daemon is stopped when the command ends.
set -euo pipefail

runtime=$(mktemp -d /tmp/tonfield-pulse-XXXXXX)
export PULSE_RUNTIME_PATH=$runtime HOME=$runtime XDG_CONFIG_HOME=$runtime/config
export PULSE_SERVER=unix:$runtime/native
stop() {
  pulseaudio --kill >/dev/null 2>&1 || true
  rm -rf "$runtime"
}
trap stop EXIT

pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit --use-pid-file=yes \
  --system=false -n --log-target=stderr --log-level=error \
  --load="module-native-protocol-unix socket=$runtime/native auth-anonymous=1" \
  --load="module-null-sink sink_name=tonfield_null" 2>/dev/null
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null
"$@"
