#!/usr/bin/env bash
# The CMake package at work: examples/product, a copy of it, configured
# against an installed kit (PREFIX: a kit tree, or usr/ of an unpacked
# Debian package) with the MinGW cross toolchain, built, packed and signed;
# its product passes `zorpack verify --launcher`, and the SBOMs of the
# unsigned and the signed product carry their SHA-512, are signed as
# `zorpack verify-sbom` checks (and pass the CycloneDX schema, cdxgen's CRA
# benchmark and cdx-verify where scripts/setup.sh installed them).
# Touching the tool's source or the launcher image repacks; a build with
# nothing changed does no work; a second build in another folder makes the
# same product.
#   tests/release/example_product_test.sh PREFIX WORK_DIR
set -Eeuo pipefail

fail() {
  echo "example_product_test: $*" >&2
  exit 1
}
[ $# -eq 2 ] || fail "usage: tests/release/example_product_test.sh PREFIX WORK_DIR"
repo=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(cd "$1" && pwd)
work=$2
packer="$prefix/bin/zorpack"
launcher="$prefix/share/zor/launcher.exe"

rm -rf "$work/src" "$work/build" "$work/build-again" "$work/signing"
mkdir -p "$work/signing"
cp -r "$repo/examples/product" "$work/src"
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Example -days 2 \
  -keyout "$work/signing/key.pem" -out "$work/signing/cert.pem" 2>/dev/null
# A throw-away key for the SBOMs' signatures.
openssl genpkey -algorithm ed25519 -out "$work/signing/sbom-key.pem" 2>/dev/null
openssl pkey -in "$work/signing/sbom-key.pem" -pubout -out "$work/signing/sbom-key.pub"
build="$work/build"
cmake -S "$work/src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/examples/product/mingw-i686.cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" -DPRODUCT_SIGNING_CERT="$work/signing/cert.pem" \
  -DPRODUCT_SIGNING_KEY="$work/signing/key.pem" -DPRODUCT_SBOM_KEY="$work/signing/sbom-key.pem" \
  >"$work/configure.log" 2>&1 ||
  fail "configuring the example failed: $(tail -n 5 "$work/configure.log")"

build_and_verify() {
  cmake --build "$build" >"$work/build.log" 2>&1 || fail "building the example failed: $(tail -n 5 "$work/build.log")"
  for product in "$build/Updater-unsigned.exe" "$build/signed/Updater.exe"; do
    "$packer" verify --launcher "$launcher" "$product" >"$work/verify.log" ||
      fail "$product does not verify: $(cat "$work/verify.log")"
    local sbom=${product%.exe}.cdx.json
    grep -q "$(sha512sum "$product" | cut -d ' ' -f 1)" "$sbom" ||
      fail "$sbom does not carry the SHA-512 of $product"
    "$packer" verify-sbom --key "$work/signing/sbom-key.pub" "$sbom" "$product" >"$work/verify.log" 2>&1 ||
      fail "$sbom is not signed or does not describe $product: $(cat "$work/verify.log")"
  done
  if [ -d "$repo/build-cyclonedx/node_modules" ]; then
    node "$repo/tests/tools/cyclonedx_check.js" "$repo/build-cyclonedx" \
      "$build/Updater-unsigned.cdx.json" "$build/signed/Updater.cdx.json" ||
      fail "the example's SBOMs are not valid CycloneDX 1.6"
  fi
  # A model SBOM: cdxgen's EU CRA benchmark passes it, and cdx-verify takes
  # its signature.
  local cdxgen_bin="$repo/build-cyclonedx/cdxgen/node_modules/.bin"
  if [ -x "$cdxgen_bin/cdx-validate" ]; then
    "$cdxgen_bin/cdx-validate" -i "$build/signed/Updater.cdx.json" -b cra --fail-severity high \
      >"$work/cra.log" 2>&1 || fail "the signed SBOM fails cdxgen's CRA benchmark: $(tail -n 20 "$work/cra.log")"
    "$cdxgen_bin/cdx-verify" -i "$build/signed/Updater.cdx.json" \
      --public-key "$work/signing/sbom-key.pub" >"$work/cdx-verify.log" 2>&1 ||
      fail "cdx-verify refuses the signed SBOM: $(cat "$work/cdx-verify.log")"
  fi
}
# What a build would do now, without doing it.
planned() {
  ninja -C "$build" -n 2>&1
}
# (grep -q on a pipe would stop ninja early, which pipefail counts as a
# failure.)
expect_repack() {
  local why=$1 plan
  plan=$(planned)
  grep -q "Packing Updater" <<<"$plan" || fail "$why, yet the build would not repack: $plan"
  build_and_verify
  expect_no_work "after the repack"
}
expect_no_work() {
  local plan
  plan=$(planned)
  grep -q "no work to do" <<<"$plan" || fail "nothing changed $1, yet the build would do: $plan"
}

build_and_verify
expect_no_work "after the first build"
# Reproducible: a second build, in another folder, makes the same product
# (the tool is linked without a time stamp).
again="$work/build-again"
{ cmake -S "$work/src" -B "$again" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/examples/product/mingw-i686.cmake" -DCMAKE_PREFIX_PATH="$prefix" &&
  cmake --build "$again"; } >"$work/again.log" 2>&1 || fail "the second build failed: $(tail -n 5 "$work/again.log")"
cmp -s "$build/Updater-unsigned.exe" "$again/Updater-unsigned.exe" ||
  fail "two builds of the example made different products: the build is not reproducible"
touch "$work/src/firmware_tool.cpp"
expect_repack "the tool's source was touched"
touch "$launcher"
expect_repack "the launcher image was touched"
echo "example_product_test: the example builds against $prefix, repacks when it should and only then, and its product verifies" >&2
