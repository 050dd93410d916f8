#!/usr/bin/env bash
# lintian finds no error and no warning in the package, and none of its hardening
# checks (those are only "info") fires.   lintian.sh DEB_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
need lintian
deb=$(deb_in "$1")
status=0
out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || status=$?
[ -n "$out" ] && echo "$out"
[ $status -eq 0 ] || fail "lintian reports errors or warnings (status $status)"
if echo "$out" | grep -q 'hardening-'; then
  fail "a binary lacks hardening (build the Release configuration)"
fi
echo "lintian: no error, no warning"
