#!/usr/bin/env bash
# lintian finds no error and no warning in the package, and none of its hardening
# checks (those are only "info") fires in an optimised build.   lintian.sh DEB_DIR CONFIG
set -euo pipefail
. "$(dirname "$0")/common.sh"
need lintian
deb=$(deb_in "$1")
status=0
out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || status=$?
[ -n "$out" ] && echo "$out"
[ $status -eq 0 ] || fail "lintian reports errors or warnings (status $status)"
case "${2:-}" in
  Release|RelWithDebInfo|MinSizeRel)
    if echo "$out" | grep -q 'hardening-'; then
      fail "a binary lacks hardening"
    fi ;;
  *) echo "hardening not checked in a '${2:-}' build (fortify needs optimisation)" ;;
esac
echo "lintian: no error, no warning"
