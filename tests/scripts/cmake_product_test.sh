#!/usr/bin/env bash
# zor_add_product as a product build calls it: the CMake package that a
# build configured (BUILD_DIR/cmake-package), in a scratch kit whose packer
# is a stand-in that writes the arguments it was given into the file it
# would write. Each row is one call and what must follow from it.
#   cmake_product_test.sh SOURCE_DIR BUILD_DIR
set -u
[ -f "$2/cmake-package/ZorFirmwareUpdateConfig.cmake" ] || {
  echo "cmake_product_test: no configured CMake package in $2/cmake-package" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kit="$work/kit"
mkdir -p "$kit/bin" "$kit/share/zor" "$kit/lib/cmake/ZorFirmwareUpdate"
cp "$2"/cmake-package/*.cmake "$kit/lib/cmake/ZorFirmwareUpdate/"
echo launcher >"$kit/share/zor/launcher.exe"
cat >"$kit/bin/zorpack" <<'EOF'
#!/bin/sh
for last in "$@"; do :; done
printf '%s\n' "$@" >"$last"
EOF
chmod +x "$kit/bin/zorpack"
failures=0
bad() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# row NAME ARGUMENTS CHECK: the project calls
#   zor_add_product(Updater PAYLOAD tool.exe ARGUMENTS)
# (ARGUMENTS as CMake reads them; the source folder holds tool.exe and
# tool.cdx.json). CHECK is one of
#   sbom-args: A|B|...    the SBOM's packer call has arguments A, B, ...
#                         in a row ($src and $build stand for the folders)
#   refused: TEXT         configuring fails, saying TEXT
#   rewrites-sbom: FILE   after a build, a change to FILE writes the SBOM
#                         again
row() {
  local name=$1 arguments=$2 check=$3 src="$work/src" build="$work/build"
  rm -rf "$src" "$build"
  mkdir -p "$src"
  echo tool >"$src/tool.exe"
  echo '{"bomFormat": "CycloneDX"}' >"$src/tool.cdx.json"
  printf 'cmake_minimum_required(VERSION 3.18)\nproject(Product NONE)\n%s\n%s\n' \
    'find_package(ZorFirmwareUpdate 1.0 CONFIG REQUIRED)' \
    "zor_add_product(Updater PAYLOAD tool.exe $arguments)" >"$src/CMakeLists.txt"
  if ! cmake -S "$src" -B "$build" -G Ninja -DCMAKE_PREFIX_PATH="$kit" >"$work/configure.log" 2>&1; then
    [[ "$check" == "refused: "* ]] && grep -qF -- "${check#refused: }" "$work/configure.log" && return
    bad "$name: configuring fails: $(tail -n 5 "$work/configure.log")"
    return
  fi
  [[ "$check" != "refused: "* ]] || {
    bad "$name: configuring does not refuse it"
    return
  }
  cmake --build "$build" >"$work/build.log" 2>&1 || {
    bad "$name: the build fails: $(tail -n 5 "$work/build.log")"
    return
  }
  local sbom
  sbom=$(find "$build" -name '*.cdx.json' | head -n 1)
  case "$check" in
    sbom-args:*)
      local expected=${check#sbom-args: } called
      expected=${expected//\$src/$src}
      expected=${expected//\$build/$build}
      called="|$(tr '\n' '|' <"${sbom:-/dev/null}")"
      [[ "$called" == *"|$expected|"* ]] || bad "$name: the SBOM's call is '$called', without '$expected'"
      ;;
    rewrites-sbom:*)
      sleep 1
      touch "$src/${check#rewrites-sbom: }"
      ninja -C "$build" -n >"$work/plan" 2>&1
      grep -q "Writing the SBOM of Updater" "$work/plan" ||
        bad "$name: a changed ${check#rewrites-sbom: } does not write the SBOM again: $(cat "$work/plan")"
      ;;
    *) bad "$name: no such check: $check" ;;
  esac
}

row "the SBOM names the product NAME" "SBOM u.cdx.json" \
  'sbom-args: --name|Updater'
row "the SBOM is of the product" "SBOM u.cdx.json OUTPUT out/P.exe" \
  'sbom-args: $build/out/P.exe|$build/u.cdx.json'
row "the payload SBOM is merged" "SBOM u.cdx.json PAYLOAD_SBOM tool.cdx.json" \
  'sbom-args: --payload-sbom|$src/tool.cdx.json'
row "PAYLOAD_SBOM without SBOM" "PAYLOAD_SBOM tool.cdx.json" \
  'refused: usage: zor_add_product'
row "a changed payload SBOM" "SBOM u.cdx.json PAYLOAD_SBOM tool.cdx.json" \
  'rewrites-sbom: tool.cdx.json'
row "a changed payload" "SBOM u.cdx.json" \
  'rewrites-sbom: tool.exe'

[ "$failures" -eq 0 ] && echo "zor_add_product: all rows hold"
exit $((failures > 0))
