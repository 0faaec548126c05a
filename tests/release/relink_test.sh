#!/usr/bin/env bash
# The kit's relink script makes a working packer of each architecture
# (arm64 with the cross compiler, run under qemu-user): linked from the
# kit's object files against the static C library and libcrypto, it packs a
# product byte-identical to the kit's own packer's, which verifies.
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
launcher="$kit/share/zor/launcher.exe"
"$kit/bin/zorpack" pack "$launcher" "$kit/bin/zorpack.exe" "$work/kit.exe" >/dev/null

# relink ARCH COMPILER [EMULATOR]: the kit's objects of ARCH, linked by
# COMPILER against that architecture's static libraries.
relink() {
  local arch=$1 compiler=$2 emulator=${3:-}
  local relinked="$work/zorpack-$arch" run=()
  [ -z "$emulator" ] || run=("$emulator")
  CXX=$compiler RELINK_ARCH=$arch "$kit/share/zor/relink/relink.sh" "$relinked" 2>"$work/$arch.log" ||
    fail "$arch: relink.sh failed: $(tail -n 5 "$work/$arch.log")"
  cmp -s <("${run[@]}" "$relinked" --version) <("$kit/bin/zorpack" --version) ||
    fail "$arch: the relinked packer does not start, or names another version"
  "${run[@]}" "$relinked" pack "$launcher" "$kit/bin/zorpack.exe" "$work/$arch.exe" >/dev/null ||
    fail "$arch: the relinked packer cannot pack"
  cmp "$work/$arch.exe" "$work/kit.exe" || fail "$arch: the relinked packer packs other bytes than the kit's"
  "${run[@]}" "$relinked" verify --launcher "$launcher" "$work/$arch.exe" >"$work/$arch.verify" ||
    fail "$arch: the relinked packer's product does not verify: $(cat "$work/$arch.verify")"
  echo "relink_test: $arch: relink.sh links a packer that packs the same product as the kit's" >&2
}

relink x86_64 g++
relink aarch64 aarch64-linux-gnu-g++ qemu-aarch64
