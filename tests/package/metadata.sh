#!/usr/bin/env bash
# The installed desktop entry and AppStream metadata pass their validators.
#   metadata.sh BUILD_DIR DESTDIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 dest=$2
have_desktop=$(command -v desktop-file-validate || true)
have_appstream=$(command -v appstreamcli || true)
[ -n "$have_desktop$have_appstream" ] || skip "desktop-file-validate and appstreamcli not found (scripts/deps installs them)"
rm -rf "$dest"
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
share="$dest/usr/share"
id=org.sorrel_meter.Sorrel
[ -f "$share/applications/$id.desktop" ] || fail "no desktop entry installed"
[ -f "$share/metainfo/$id.metainfo.xml" ] || fail "no metainfo installed"
[ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no icon installed"

if [ -n "$have_desktop" ]; then
  desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate"
  echo "desktop-file-validate: passed"
else
  echo "desktop-file-validate not found: desktop entry not checked"
fi
if [ -n "$have_appstream" ]; then
  appstreamcli validate --no-net --explain "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
  # The tree check also finds the desktop entry and icon the metadata launches.
  appstreamcli validate-tree --no-net "$dest" || fail "appstreamcli validate-tree"
else
  echo "appstreamcli not found: AppStream metadata not checked"
fi
rm -rf "$dest"
