#!/usr/bin/env bash
# The kit's relink script makes a working packer: linked from the kit's
# object files against this system's static C library and libcrypto, it
# packs a product byte-identical to the kit's own packer's, which verifies.
# Run by scripts/release.sh on the kit it made.
#   tests/release/relink_test.sh KIT WORK_DIR
set -Eeuo pipefail

fail() {
  echo "relink_test: $*" >&2
  exit 1
}
[ $# -eq 2 ] || fail "usage: tests/release/relink_test.sh KIT WORK_DIR"
kit=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
relinked="$work/zorpack"
launcher="$kit/share/zor/launcher.exe"

"$kit/share/zor/relink/relink.sh" "$relinked" 2>"$work/relink.log" ||
  fail "relink.sh failed: $(tail -n 5 "$work/relink.log")"
"$relinked" --version >"$work/version" || fail "the relinked packer does not start"
cmp -s "$work/version" <("$kit/bin/zorpack" --version) ||
  fail "the relinked packer says '$(cat "$work/version")', the kit's another version"
"$relinked" pack "$launcher" "$kit/bin/zorpack.exe" "$work/relinked.exe" >/dev/null ||
  fail "the relinked packer cannot pack"
"$kit/bin/zorpack" pack "$launcher" "$kit/bin/zorpack.exe" "$work/kit.exe" >/dev/null
cmp "$work/relinked.exe" "$work/kit.exe" || fail "the relinked packer packs other bytes than the kit's"
"$relinked" verify --launcher "$launcher" "$work/relinked.exe" >"$work/verify.log" ||
  fail "the relinked packer's product does not verify: $(cat "$work/verify.log")"
echo "relink_test: relink.sh links a packer that packs the same product as the kit's, and it verifies" >&2
