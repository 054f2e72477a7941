#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build tree and checks what users get:
# the files, the dependencies dpkg-shlibdeps found beside the declared ones,
# and the desktop entry and AppStream metadata, as installed, through
# desktop-file-validate and appstreamcli.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 \
  || fail "cpack failed: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/tonfield_*_amd64.deb)

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for expected in ./usr/bin/tonfield ./usr/lib/tonfield/libtonfield_decoder.so \
  ./usr/share/applications/tonfield.desktop ./usr/share/icons/hicolor/scalable/apps/tonfield.svg \
  ./usr/share/metainfo/io.github.tonfield.Tonfield.metainfo.xml \
  ./usr/share/tonfield/engine/separate_job.py ./usr/share/tonfield/engine/make_engine_folder.sh; do
  grep -qx -- "$expected" <<<"$files" || fail "the package lacks $expected"
done
if grep -q "/Engine/\|/tests/" <<<"$files"; then fail "the package holds an engine folder or tests"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6multimedia6 libavcodec59 qt6-qpa-plugins fonts-noto-cjk \
  python3-numpy python3-scipy python3-soundfile; do
  grep -q "\b$needed\b" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done

dpkg-deb -x "$deb" "$scratch/root"
[[ -x "$scratch/root/usr/share/tonfield/engine/make_engine_folder.sh" ]] || fail "the set-up script is not executable"
desktop-file-validate "$scratch/root/usr/share/applications/tonfield.desktop"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/io.github.tonfield.Tonfield.metainfo.xml"
echo "$(basename "$deb"): files, dependencies and desktop metadata as they should be"
