#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of Tonfield into build-package/, compiled and
# linked with Debian's hardening flags (dpkg-buildflags, hardening=+all):
#   sudo apt install ./build-package/tonfield_*.deb
# Further arguments go to CMake (the test command adds -DTONFIELD_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake reads no CPPFLAGS: the preprocessor's flags (_FORTIFY_SOURCE) join the
# compiler's. Given on the command line, they hold for a build tree made before.
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
# Debian 12's dpkg-buildflags predates protections that its GCC and
# hardening-check both know (later releases turn them on): stack clash and
# control-flow protection, and fortify level 3, which also guards the copies
# whose sizes are known only at run time.
cxxflags+=" -fstack-clash-protection -fcf-protection -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DTONFIELD_BUILD_TESTS=OFF -DTONFIELD_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" "$@"
rm -f build-package/tonfield_*.deb
cmake --build build-package --target package
ls build-package/tonfield_*.deb
