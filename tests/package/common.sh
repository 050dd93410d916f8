# Shared by the package tests.
skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
need() {
  command -v "$1" >/dev/null || skip "$1 not found (scripts/deps installs it)"
}
# The package file the build made, or a skip when it made none.
deb_in() {
  local debs=("$1"/sorrel_*.deb)
  [ -f "${debs[0]}" ] || skip "no package in $1 (package_build skipped?)"
  [ ${#debs[@]} -eq 1 ] || fail "more than one package in $1: ${debs[*]}"
  echo "${debs[0]}"
}
