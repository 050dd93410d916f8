#!/usr/bin/env bash
# The udev rules grant exactly the devices the program reads: the tty rules hold the
# bridge id table of src/link (and the AppStream metadata provides the same ids), and
# the hidraw rule names the HID cable the program selects.   udev_ids.sh SOURCE_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
src=$1
rules="$src/packaging/60-sorrel.rules"
metainfo="$src/packaging/org.sorrel_meter.Sorrel.metainfo.xml"

# The table's definition, from its name to the end of its initialiser.
table_file=$(grep -lE 'kBridgeUsbIds *[{=]' "$src"/src/link/*.cpp | head -1 || true)
[ -n "$table_file" ] || fail "no definition of kBridgeUsbIds in src/link/*.cpp"
code_ids=$(sed -n '/kBridgeUsbIds *[{=]/,/};/p' "$table_file" \
  | grep -oE '0x[0-9A-Fa-f]{4} *, *0x[0-9A-Fa-f]{4}' \
  | sed -E 's/0x([0-9A-Fa-f]{4}) *, *0x([0-9A-Fa-f]{4})/\1:\2/' | tr A-F a-f | LC_ALL=C sort -u)
[ -n "$code_ids" ] || fail "no ids found in kBridgeUsbIds ($table_file)"

tty_lines=$(grep -E '^SUBSYSTEM=="tty"' "$rules" || true)
if echo "$tty_lines" | grep -v 'TAG+="uaccess"' | grep -q .; then
  fail "a tty rule without TAG+=\"uaccess\": $(echo "$tty_lines" | grep -v 'TAG+="uaccess"')"
fi
rule_ids=$(echo "$tty_lines" \
  | sed -nE 's/.*ATTRS\{idVendor\}=="([0-9a-fA-F]{4})".*ATTRS\{idProduct\}=="([0-9a-fA-F]{4})".*/\1:\2/p' \
  | tr A-F a-f | LC_ALL=C sort -u)
meta_ids=$(grep -oE 'usb:v[0-9A-F]{4}p[0-9A-F]{4}d' "$metainfo" \
  | sed -E 's/usb:v(....)p(....)d/\1:\2/' | tr A-F a-f | LC_ALL=C sort -u)

status=0
compare() {
  if [ "$code_ids" != "$2" ]; then
    echo "$1 and kBridgeUsbIds ($table_file) differ (< table, > $1):" >&2
    diff <(echo "$code_ids") <(echo "$2") >&2 || true
    status=1
  fi
}
compare "$rules" "$rule_ids"
compare "$metainfo" "$meta_ids"

# The window selects the HID cable by its product name, so the rule matches that name.
hid_names=$(sed -nE 's/^SUBSYSTEM=="hidraw".*ATTRS\{product\}=="([^"]*)".*/\1/p' "$rules")
[ -n "$hid_names" ] || { echo "no hidraw rule in $rules" >&2; status=1; }
while IFS= read -r name; do
  [ -z "$name" ] && continue
  grep -qF "u\"$name\"" "$src"/src/link/*.cpp \
    || { echo "the hidraw rule's product \"$name\" is not a name src/link selects" >&2; status=1; }
done <<< "$hid_names"
[ $status -eq 0 ] || exit 1
echo "udev rules, metadata and table agree on: $(echo $code_ids); HID cable: $hid_names"
