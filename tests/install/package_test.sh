#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package as Debian checks one: what it holds and depends
# on, lintian with no error or warning, hardening-check on every ELF file,
# and the desktop entry and AppStream metadata through their validators.
#   package_test.sh DEB
set -euo pipefail
deb=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
id=io.github.tonfield.Tonfield

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(./usr/bin/tonfield ./usr/lib/x86_64-linux-gnu/tonfield/libtonfield_decoder.so
  ./usr/lib/x86_64-linux-gnu/tonfield/libtonfield_analysis.so
  ./usr/lib/x86_64-linux-gnu/tonfield/libtonfield_window.so
  ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/$id.svg
  ./usr/share/tonfield/engine/separate_job.py ./usr/share/tonfield/engine/make_engine_folder.sh
  ./usr/share/tonfield/engine/engine_io.py ./usr/share/tonfield/engine/engine.json
  ./usr/share/tonfield/engines/hdemucs/separate_job.py ./usr/share/tonfield/engines/hdemucs/weights.py
  ./usr/share/tonfield/engines/hdemucs/make_engine_folder.sh
  ./usr/share/tonfield/engines/hdemucs/engine_io.py ./usr/share/tonfield/engines/hdemucs/engine.json
  ./usr/share/tonfield/engines/hdemucs/download.py
  ./usr/share/tonfield/engines/uvr/separate_job.py ./usr/share/tonfield/engines/uvr/library.py
  ./usr/share/tonfield/engines/uvr/make_engine_folder.sh ./usr/share/tonfield/engines/uvr/engine.json
  ./usr/share/tonfield/engines/uvr/engine_io.py ./usr/share/tonfield/engines/uvr/download.py
  ./usr/share/man/man1/tonfield.1.gz ./usr/share/bash-completion/completions/tonfield
  ./usr/share/doc/tonfield/copyright ./usr/share/doc/tonfield/changelog.gz
  ./usr/share/doc/tonfield/README.md)
for size in 16 24 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done
for file in "${expected[@]}"; do
  grep -qx -- "$file" <<<"$files" || fail "the package lacks $file"
done
if grep -q "/Engine/\|/tests/" <<<"$files"; then fail "the package holds an engine folder or tests"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6multimedia6 libavcodec59 qt6-qpa-plugins fonts-noto-cjk ffmpeg \
  python3-numpy python3-soundfile; do
  grep -q "\b$needed\b" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
if grep -q "python3-scipy" <<<"$depends"; then fail "the reference engine needs no scipy: $depends"; fi
# The neural engines' runtimes are offered, never pulled in by default.
suggests=$(dpkg-deb -f "$deb" Suggests)
for suggested in python3-torchaudio libopenblas0-pthread build-essential python3-dev; do
  [[ "$suggests" == *$suggested* ]] \
    || fail "the package does not suggest the neural engines' $suggested: $suggests"
done
if grep -q "torch" <<<"$depends $(dpkg-deb -f "$deb" Recommends)"; then
  fail "torch is pulled in by default: $depends"
fi
if dpkg-deb -I "$deb" | grep -qE "^ +[0-9]+ bytes, +[0-9]+ lines +(postinst|postrm)"; then
  fail "the package has maintainer scripts (ldconfig?): $(dpkg-deb -I "$deb")"
fi

lintian --fail-on error,warning --display-info "$deb" >"$scratch/lintian" 2>&1 \
  || fail "lintian: $(cat "$scratch/lintian")"

dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
# Control-flow protection is compiled in, but the mark on the linked file is
# dropped by Debian 12's own C start files, which lack it (so Debian's own
# binaries, ffmpeg among them, show "no" as well). The decoder and analysis
# libraries make no copy whose size the compiler can know (their copies go
# through libstdc++'s builtins, which no fortify level reaches), so they have
# nothing to fortify.
for elf in usr/bin/tonfield usr/lib/x86_64-linux-gnu/tonfield/libtonfield_window.so; do
  hardening-check --nocfprotection "$root/$elf" >"$scratch/hardening" \
    || fail "hardening-check: $(cat "$scratch/hardening")"
done
for library in libtonfield_decoder.so libtonfield_analysis.so; do
  hardening-check --nocfprotection --nofortify \
    "$root/usr/lib/x86_64-linux-gnu/tonfield/$library" >"$scratch/hardening" \
    || fail "hardening-check: $(cat "$scratch/hardening")"
done

[[ -x "$root/usr/share/tonfield/engine/make_engine_folder.sh" ]] || fail "the set-up script is not executable"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
appstream-util validate --nonet "$root/usr/share/metainfo/$id.metainfo.xml"
for size in 16 24 32 48 64 128 256; do
  [[ $(file -b "$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png") == "PNG image data, $size x $size,"* ]] \
    || fail "the ${size}px icon is not ${size}x$size"
done
# The manual page and the completion as the shell reads them.
man -l "$root/usr/share/man/man1/tonfield.1.gz" 2>/dev/null | grep -q "tonfield separate" \
  || fail "the manual page does not render"
completion=$(bash -c "source /usr/share/bash-completion/bash_completion
  source '$root/usr/share/bash-completion/completions/tonfield'
  COMP_WORDS=(tonfield separate --mode ''); COMP_CWORD=3; COMP_LINE='tonfield separate --mode '
  COMP_POINT=\${#COMP_LINE}; _tonfield tonfield '' --mode; echo \"\${COMPREPLY[*]}\"")
[[ "$completion" == "vocal four six" ]] || fail "bash completes --mode with '$completion'"
echo "$(basename "$deb"): contents, dependencies, lintian, hardening and desktop metadata as they should be"
