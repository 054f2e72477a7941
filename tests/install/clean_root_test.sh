#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the package into a clean Debian 12 root, as a new user gets it:
# apt takes its dependencies from Debian's archive (the size it reports is
# printed); an ordinary user separates an M4A from the command line; an
# upgrade to a newer package (this one with a higher version and a changed
# reference engine) reaches that user's engine folder at the next run, the
# environment and the jobs kept; and a second start of the window hands its
# file to the running one and ends.
#   clean_root_test.sh DEB CACHE_FOLDER
# The minimal root made by debootstrap is kept in CACHE_FOLDER as a tarball,
# so a second run downloads only what apt installs.
set -euo pipefail
if [[ $(id -u) -ne 0 ]]; then
  echo "the clean-root test needs root (debootstrap, chroot, mount); run the test command as root" >&2
  exit 1
fi
deb=$(realpath "$1")
cache=$(realpath -m "$2")
scratch=$(mktemp -d)
root=$scratch/root
# The processes running inside the root.
root_pids() {
  local process
  for process in /proc/[0-9]*; do
    [[ $(readlink "$process/root" 2>/dev/null) == "$root" ]] && echo "${process#/proc/}"
  done
  return 0
}
cleanup() {
  root_pids | xargs -r kill -KILL 2>/dev/null || true
  sleep 0.5
  umount "$root/proc" 2>/dev/null || true
  rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

mkdir -p "$cache" "$root"
base=$cache/bookworm-minbase.tar
if [[ ! -f $base ]]; then
  rm -rf "$cache/base.tmp"
  debootstrap --variant=minbase bookworm "$cache/base.tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 \
    || fail "debootstrap: $(tail -n 5 "$cache/debootstrap.log")"
  tar -C "$cache/base.tmp" -cf "$base.tmp" . && mv "$base.tmp" "$base"
  rm -rf "$cache/base.tmp"
fi
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
in_root() { chroot "$root" "$@"; }
as_user() {
  chroot --userspec=4242:4242 "$root" env -i HOME=/home/musician PATH=/usr/bin:/bin LANG=C.UTF-8 \
    XDG_RUNTIME_DIR=/home/musician/run "$@"
}

install_package() {
  cp "$1" "$root/tmp/"
  DEBIAN_FRONTEND=noninteractive in_root apt-get install -y "/tmp/$(basename "$1")" >"$scratch/apt.log" 2>&1 \
    || fail "apt could not install $(basename "$1"): $(tail -n 20 "$scratch/apt.log")"
  grep "additional disk space" "$scratch/apt.log" || true
}
in_root apt-get update -q >"$scratch/apt.log" 2>&1 || fail "apt-get update: $(tail -n 5 "$scratch/apt.log")"
install_package "$deb"

in_root useradd --create-home --uid 4242 --user-group musician
install -d -o 4242 -g 4242 -m 0700 "$root/home/musician/run"
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=220:duration=3" -f lavfi \
  -i "sine=frequency=660:duration=3" -filter_complex amerge=inputs=2 -c:a aac "$root/home/musician/晴天.m4a"
chown 4242:4242 "$root/home/musician/晴天.m4a"

# The first run makes the engine folder and separates the M4A.
as_user tonfield separate /home/musician/晴天.m4a >"$scratch/stems" 2>"$scratch/err" \
  || fail "the first run did not separate the M4A: $(cat "$scratch/err")"
engine=$root/home/musician/.local/share/Tonfield/Engine
[[ $(grep -c "^/home/musician/.local/share/Tonfield/Engine/data/jobs/.*/output/晴天_(.*)\.wav$" "$scratch/stems") -eq 2 ]] \
  || fail "not two stems: $(cat "$scratch/stems") $(cat "$scratch/err")"
venv_made=$(stat -c %Y "$engine/.venv/pyvenv.cfg")

# Version N+1: the same package with a higher version and an engine that
# says so in every job's log.
next=$scratch/next
dpkg-deb -R "$deb" "$next"
version=$(dpkg-deb -f "$deb" Version)
sed -i "s/^Version: .*/Version: $version+1/" "$next/DEBIAN/control"
template=$next/usr/share/tonfield/engine/separate_job.py
sed -i '0,/^import /s//print("engine of the upgraded package", flush=True)\nimport /' "$template"
grep -q "engine of the upgraded package" "$template" || fail "the test could not change the engine"
(cd "$next" && find usr -type f -print0 | xargs -0 md5sum >DEBIAN/md5sums)
dpkg-deb --root-owner-group -b "$next" "$scratch/tonfield_next.deb" >/dev/null
install_package "$scratch/tonfield_next.deb"

as_user tonfield separate /home/musician/晴天.m4a >"$scratch/stems" 2>"$scratch/err" \
  || fail "the run after the upgrade failed: $(cat "$scratch/err")"
cmp -s "$engine/separate_job.py" "$root/usr/share/tonfield/engine/separate_job.py" \
  || fail "the user's engine folder still has the old script"
[[ $(stat -c %Y "$engine/.venv/pyvenv.cfg") == "$venv_made" ]] || fail "the environment was made again"
as_user tonfield history >"$scratch/history" || fail "history failed"
[[ $(grep -c "晴天.m4a" "$scratch/history") -eq 2 ]] || fail "the jobs were not kept: $(cat "$scratch/history")"
newest=$(head -n 1 "$scratch/history" | cut -f 1)
as_user tonfield log "$newest" | grep -q "engine of the upgraded package" \
  || fail "the job after the upgrade did not run the new engine"

# One window per user: a second start hands its file over and ends.
as_user env QT_QPA_PLATFORM=offscreen tonfield >"$scratch/window.log" 2>&1 &
window=$!
for _ in $(seq 300); do
  compgen -G "$root/home/musician/run/tonfield-*.socket" >/dev/null && break
  sleep 0.1
done
compgen -G "$root/home/musician/run/tonfield-*.socket" >/dev/null \
  || fail "the window never listened: $(cat "$scratch/window.log")"
as_user env QT_QPA_PLATFORM=offscreen timeout 60 tonfield /home/musician/晴天.m4a \
  || fail "the second start did not hand its file over"
kill -0 "$window" 2>/dev/null || fail "the first window ended: $(cat "$scratch/window.log")"
[[ $(root_pids | wc -l) -eq 1 ]] || fail "a second window stayed: $(root_pids)"
echo "installed into a clean Debian 12 root, separated an M4A, upgraded, one window"
