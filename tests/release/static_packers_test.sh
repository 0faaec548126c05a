#!/usr/bin/env bash
# The release kit's Linux packers are single static files: no NEEDED entry
# and no program interpreter, and each packs, inspects, verifies and makes the
# SBOM of a product inside an empty root that holds nothing but the packer
# and the files (the arm64 one run there by the static qemu-aarch64, which
# is the only other file in its root). Run by scripts/release.sh on the kit it made.
#   tests/release/static_packers_test.sh KIT WORK_DIR
set -Eeuo pipefail

fail() {
  echo "static_packers_test: $*" >&2
  exit 1
}
[ $# -eq 2 ] || fail "usage: tests/release/static_packers_test.sh KIT WORK_DIR"
kit=$1
work=$2

# chroot needs root; a user namespace stands in for it elsewhere.
in_root() {
  if [ "$(id -u)" -eq 0 ]; then
    chroot "$@"
  else
    unshare --map-root-user chroot "$@"
  fi
}

# The product's payload: any Windows program will do, the kit's zorpack.exe
# is one.
check_packer() {
  local label=$1 packer=$2 emulator=${3:-}
  local dynamic
  dynamic=$(readelf --dynamic --program-headers "$packer" | grep -E '\(NEEDED\)|INTERP' || true)
  [ -z "$dynamic" ] || fail "$label: $packer is not static: $dynamic"

  local root="$work/$label-root"
  rm -rf "$root"
  mkdir -p "$root"
  cp "$packer" "$root/zorpack"
  cp "$kit/share/zor/launcher.exe" "$root/launcher.exe"
  cp "$kit/bin/zorpack.exe" "$root/tool.exe"
  local run=(/zorpack)
  if [ -n "$emulator" ]; then
    cp "$emulator" "$root/emulator"
    run=(/emulator /zorpack)
  fi
  in_root "$root" "${run[@]}" --version >"$work/$label.version" ||
    fail "$label: --version failed in an empty root"
  grep -q '^zorpack .* (source revision [0-9a-f]\{40\}' "$work/$label.version" ||
    fail "$label: --version says '$(cat "$work/$label.version")'"
  in_root "$root" "${run[@]}" pack /launcher.exe /tool.exe /product.exe >"$work/$label.pack" ||
    fail "$label: pack failed in an empty root"
  in_root "$root" "${run[@]}" inspect /product.exe >"$work/$label.inspect" ||
    fail "$label: inspect failed in an empty root: $(cat "$work/$label.inspect")"
  in_root "$root" "${run[@]}" verify --launcher /launcher.exe /product.exe >"$work/$label.verify" ||
    fail "$label: verify failed in an empty root: $(cat "$work/$label.verify")"
  # The SBOM's hashes come from its second thread too, and its payload SBOM
  # reader is the JSON library linked in.
  echo '{"bomFormat": "CycloneDX", "specVersion": "1.6", "metadata": {"component": {"type": "application", "name": "tool"}}}' >"$root/tool.cdx.json"
  in_root "$root" "${run[@]}" sbom --launcher /launcher.exe --payload-sbom /tool.cdx.json \
    /product.exe /product.cdx.json 2>"$work/$label.sbom" ||
    fail "$label: sbom failed in an empty root: $(cat "$work/$label.sbom")"
  grep -q "$(sha512sum "$root/product.exe" | cut -d ' ' -f 1)" "$root/product.cdx.json" ||
    fail "$label: the SBOM made in an empty root lacks the product's SHA-512"
  echo "static_packers_test: $label packer is static and packs, inspects, verifies and makes an SBOM in an empty root" >&2
}

mkdir -p "$work"
check_packer x86-64 "$kit/bin/zorpack"
emulator=$(command -v qemu-aarch64-static) || fail "no qemu-aarch64-static (scripts/setup.sh installs qemu-user-static)"
check_packer arm64 "$kit/bin/aarch64/zorpack" "$emulator"
