#!/usr/bin/env bash
# The udev rules, run by udevadm over mocked devices (umockdev), give the seat's user
# (TAG "uaccess") the bridge ttys and the HID cable, and nothing else.
# Root only: a private mount namespace shows udevadm just these rules and keeps the
# files it writes (/run/udev, /dev/char) away from the system.   udev_rules.sh SOURCE_DIR
set -euo pipefail
. "$(dirname "$0")/common.sh"
if [ "${1:-}" = --inside ]; then
  # In the namespace: $2 the work folder.
  work=$2
  mount --bind "$work/rules" /usr/lib/udev/rules.d
  [ -d /etc/udev/rules.d ] && mount --bind "$work/empty" /etc/udev/rules.d
  mkdir -p "$work/hostdev"
  mount --rbind /dev "$work/hostdev"
  mount -t tmpfs tmpfs /dev
  for n in null zero urandom random tty; do
    touch "/dev/$n"
    mount --bind "$work/hostdev/$n" "/dev/$n"
  done
  # umockdev backs the mocked ttys with pseudo-terminals.
  mkdir /dev/pts /dev/shm
  mount --bind "$work/hostdev/pts" /dev/pts
  ln -s pts/ptmx /dev/ptmx
  mount -t tmpfs tmpfs /run
  exec umockdev-run -d "$work/devices.umockdev" -- bash "$work/check.sh"
fi

src=$1
need udevadm
need umockdev-run
need unshare
[ "$(id -u)" -eq 0 ] || skip "needs root for a private mount namespace"
rules="$src/packaging/60-sorrel.rules"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/rules" "$work/empty"
cp "$rules" "$work/rules/"

# A USB device at port N with ids VID:PID and product name, and one child node.
usb_device() { # N VID PID PRODUCT
  printf 'P: /devices/pci0000:00/0000:00:14.0/usb1/1-%s/1-%s:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n\n' "$1" "$1"
  printf 'P: /devices/pci0000:00/0000:00:14.0/usb1/1-%s\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=%s\nA: idProduct=%s\nA: product=%s\n\n' "$1" "$2" "$3" "$4"
}
tty_on() { # N VID PID
  local base=/devices/pci0000:00/0000:00:14.0/usb1/1-$1/1-$1:1.0/ttyUSB$1
  printf 'P: %s/tty/ttyUSB%s\nN: ttyUSB%s\nE: DEVNAME=/dev/ttyUSB%s\nE: SUBSYSTEM=tty\nE: MAJOR=188\nE: MINOR=%s\n\n' "$base" "$1" "$1" "$1" "$1"
  printf 'P: %s\nE: SUBSYSTEM=usb-serial\n\n' "$base"
  usb_device "$1" "$2" "$3" "Meter cable"
}
hidraw_on() { # N VID PID PRODUCT
  local hid=/devices/pci0000:00/0000:00:14.0/usb1/1-$1/1-$1:1.0/0003:$2:$3.000$1
  printf 'P: %s/hidraw/hidraw%s\nN: hidraw%s\nE: DEVNAME=/dev/hidraw%s\nE: SUBSYSTEM=hidraw\nE: MAJOR=240\nE: MINOR=%s\n\n' "$hid" "$1" "$1" "$1" "$1"
  printf 'P: %s\nE: SUBSYSTEM=hid\nE: HID_NAME=%s\n\n' "$hid" "$4"
  usb_device "$1" "$2" "$3" "$4"
}

# Every tty id of the rules, then devices the rules must leave alone.
ids=$(sed -nE 's/^SUBSYSTEM=="tty".*ATTRS\{idVendor\}=="([0-9a-f]{4})".*ATTRS\{idProduct\}=="([0-9a-f]{4})".*/\1 \2/p' "$rules")
[ -n "$ids" ] || fail "no tty rules in $rules"
n=0
: > "$work/devices.umockdev"
: > "$work/cases"
while read -r vid pid; do
  n=$((n + 1))
  tty_on $n "$vid" "$pid" >> "$work/devices.umockdev"
  echo "/sys/class/tty/ttyUSB$n yes bridge $vid:$pid" >> "$work/cases"
done <<< "$ids"
n=$((n + 1)); tty_on $n 10c4 ea70 >> "$work/devices.umockdev"
echo "/sys/class/tty/ttyUSB$n no multi-port 10c4:ea70" >> "$work/cases"
n=$((n + 1)); tty_on $n 1234 5678 >> "$work/devices.umockdev"
echo "/sys/class/tty/ttyUSB$n no unknown 1234:5678" >> "$work/cases"
n=$((n + 1)); hidraw_on $n 1234 5678 "USB to Serial" >> "$work/devices.umockdev"
echo "/sys/class/hidraw/hidraw$n yes HID-cable 1234:5678" >> "$work/cases"
n=$((n + 1)); hidraw_on $n 1234 5679 "Keyboard" >> "$work/devices.umockdev"
echo "/sys/class/hidraw/hidraw$n no other-HID 1234:5679" >> "$work/cases"

cat > "$work/check.sh" <<'INNER'
status=0
while read -r dev want what id; do
  out=$(udevadm test --action=add "$dev" 2>&1) || { echo "udevadm test $dev failed:"; echo "$out"; status=1; continue; }
  grep -q '^Reading rules file: .*60-sorrel.rules' <<< "$out" || { echo "udevadm did not read the rules"; echo "$out"; exit 1; }
  got=no
  grep -qE '^TAGS=.*:uaccess:' <<< "$out" && got=yes
  if [ "$got" = "$want" ]; then
    echo "ok: $what $id ($dev): uaccess $got"
  else
    echo "FAIL: $what $id ($dev): uaccess $got, expected $want"
    status=1
  fi
done < "$(dirname "$0")/cases"
exit $status
INNER
# A chroot whose / is no mount point cannot make the namespace: nothing to judge there.
if ! why=$(unshare -m true 2>&1); then
  echo "SKIP: no private mount namespace here ($why)"
  exit 77
fi
unshare -m bash "$0" --inside "$work" || fail "the udev rules do not grant what they should"
