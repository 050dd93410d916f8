#!/usr/bin/env bash
# lintian finds no error and no warning in the package.   lintian.sh DEB_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
need lintian
deb=$(deb_in "$1")
lintian --info --display-experimental --fail-on error,warning "$deb"
