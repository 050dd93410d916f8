#!/usr/bin/env bash
# Builds the Debian package from the build tree into OUT (emptied first, so no later
# test sees a stale package).   build_deb.sh BUILD_DIR OUT
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 out=$2
rm -rf "$out"
need cpack
need dpkg-shlibdeps
mkdir -p "$out"
cd "$build"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out"
deb_in "$out" >/dev/null
