#!/usr/bin/env bash
# The package holds exactly the files a user needs, its control fields are filled, and
# the programs unpacked from it run.   contents.sh DEB_DIR VERSION
set -euo pipefail
. "$(dirname "$0")/common.sh"
need dpkg-deb
deb=$(deb_in "$1")
version=$2
id=org.sorrel_meter.Sorrel
expected="usr/bin/sorrel
usr/bin/sorrel-cli
usr/lib/udev/rules.d/60-sorrel.rules
usr/share/applications/$id.desktop
usr/share/doc/sorrel/changelog.gz
usr/share/doc/sorrel/copyright
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/sorrel-cli.1.gz
usr/share/man/man1/sorrel.1.gz
usr/share/metainfo/$id.metainfo.xml"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$actual") || true
  fail "the package's files differ from the list above (< expected, > packaged)"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = sorrel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
# Depends comes from dpkg-shlibdeps: the Qt and hidapi libraries the programs link.
for lib in libqt6core6 libqt6widgets6 libhidapi-hidraw0 libudev1; do
  field Depends | grep -q "\b$lib\b" || fail "Depends lacks $lib: $(field Depends)"
done
for f in Section Maintainer Description; do
  [ -n "$(field $f)" ] || fail "no $f field"
done

for page in sorrel sorrel-cli; do
  zgrep -q '^\.SH DEVICE ACCESS' "$root/usr/share/man/man1/$page.1.gz" \
    || fail "$page(1) has no DEVICE ACCESS section"
done
# A new project version needs its changelog entry, release note and manual pages.
top=$(zcat "$root/usr/share/doc/sorrel/changelog.gz" | sed -n '1s/^sorrel (\([^)]*\)).*/\1/p')
[ "$top" = "$version" ] || fail "the changelog's newest entry is '$top', the project's version $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" \
  || fail "the AppStream metadata has no release $version"
for page in sorrel sorrel-cli; do
  zgrep -q "^\.TH .* \"sorrel $version\"" "$root/usr/share/man/man1/$page.1.gz" \
    || fail "$page(1) is not marked sorrel $version"
done
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/60-sorrel.rules" || fail "the udev rules grant nothing"

out=$("$root/usr/bin/sorrel-cli" --version) || fail "sorrel-cli --version failed: $out"
[ "$out" = "sorrel-cli $version" ] || fail "sorrel-cli --version printed '$out'"
out=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/sorrel" --version) || fail "sorrel --version failed: $out"
[ "$out" = "sorrel $version" ] || fail "sorrel --version printed '$out'"
echo "$deb: $(echo "$actual" | wc -l) files, programs run ($out)"
