#!/usr/bin/env bash
# A Debian package of the release: it holds exactly the files it should (the
# packer for its architecture, the launcher image, the Windows packer, the
# CMake package, README, copyright, licence texts, changelog, man page,
# lintian override, and the relinking material of its architecture, which
# the copyright file names), every /usr path its pages name is in it,
# lintian finds no errors, and unpacked into a
# scratch root its zorpack names the release's revision and its relink.sh
# links a packer that names it too. Run by scripts/release.sh on each
# package it made.
#   tests/release/deb_packages_test.sh DEB amd64|arm64 REVISION WORK_DIR
set -Eeuo pipefail

fail() {
  echo "deb_packages_test: $*" >&2
  exit 1
}
[ $# -eq 4 ] || fail "usage: tests/release/deb_packages_test.sh DEB amd64|arm64 REVISION WORK_DIR"
deb=$1
arch=$2
revision=$3
work=$4
name=zor-firmware-update
doc=usr/share/doc/$name

case "$arch" in
  amd64) machine="Advanced Micro Devices X86-64" run=() relink_arch=x86_64 cxx=g++ ;;
  arm64) machine=AArch64 run=(qemu-aarch64) relink_arch=aarch64 cxx=aarch64-linux-gnu-g++ ;;
  *) fail "no such architecture: $arch" ;;
esac

relink=usr/lib/$name/relink
expected="usr/bin/zorpack
usr/lib/cmake/ZorFirmwareUpdate/ZorFirmwareUpdateConfig.cmake
usr/lib/cmake/ZorFirmwareUpdate/ZorFirmwareUpdateConfigVersion.cmake
$relink/relink.sh
$doc/README.md
$doc/changelog.gz
$doc/copyright
$doc/examples/product/CMakeLists.txt
$doc/examples/product/firmware_tool.cdx.json
$doc/examples/product/firmware_tool.cpp
$doc/examples/product/mingw-i686.cmake
$doc/licenses/Apache-2.0
$doc/licenses/GPL-3
$doc/licenses/LGPL-2.1
$doc/licenses/MinGW-w64
usr/share/lintian/overrides/$name
usr/share/man/man1/zorpack.1.gz
usr/share/zor/launcher.exe
usr/share/zor/zorpack.exe"
# The kit's docs/ pages come along whatever they are; the README's own
# pages must be among them.
listing=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
for page in cmake.md release.md sbom.md threat-model.md zorpack.md; do
  grep -qx "$doc/docs/$page" <<<"$listing" || fail "$deb has no $doc/docs/$page"
done
# The objects of its architecture, whatever their names, with the toolchain
# they need.
for file in "$relink_arch/toolchain" "$relink_arch/[^/]*\.o" "$relink_arch/[^/]*\.a"; do
  grep -q "^$relink/$file$" <<<"$listing" || fail "$deb has no $relink/$file"
done
contents=$(grep -v -e "^$doc/docs/" -e "^$relink/$relink_arch/" <<<"$listing")
[ "$contents" = "$expected" ] ||
  fail "$deb holds other files than it should: $(diff <(echo "$expected") <(echo "$contents") | grep '^[<>]' | tr '\n' ' ')"
[ "$(dpkg-deb --field "$deb" Architecture)" = "$arch" ] || fail "$deb is not for $arch"
# Installed-Size as dpkg counts it: each file rounded up to a KiB, and a
# KiB for every directory.
counted=$(dpkg-deb --contents "$deb" |
  awk '{ if ($1 ~ /^-/) kib += int(($3 + 1023) / 1024); else kib += 1 } END { print kib }')
installed=$(dpkg-deb --field "$deb" Installed-Size)
[ "$installed" = "$counted" ] || fail "$deb says Installed-Size $installed, dpkg counts $counted"

# Errors fail; warnings are shown. Pedantic and informational tags too:
# the static packer carries no needless section.
lintian --fail-on error "$deb" 2>/dev/null || fail "lintian finds errors in $deb (shown above)"
unneeded=$(lintian -I -E --pedantic "$deb" 2>/dev/null | grep 'binary-has-unneeded-section' || true)
[ -z "$unneeded" ] || fail "lintian: $unneeded"

root="$work/$arch-root"
rm -rf "$root"
mkdir -p "$root"
dpkg -x "$deb" "$root"
readelf --file-header "$root/usr/bin/zorpack" | grep -q "Machine: *$machine" ||
  fail "usr/bin/zorpack in $deb is not a $machine program"
version=$("${run[@]}" "$root/usr/bin/zorpack" --version) || fail "zorpack --version failed from $deb"
[[ "$version" == *"(source revision $revision)" ]] ||
  fail "zorpack from $deb says '$version', not revision $revision"
# Every place in /usr that the package's pages name is in the package.
while IFS= read -r path; do
  [ -e "$root$path" ] || fail "the package's pages name $path, which it does not hold"
done < <(cat "$root/$doc/README.md" "$root/$doc"/docs/*.md | grep -o '`/usr/[^`<>$* ]*`' | tr -d '`' | sort -u)
grep -q "All rights reserved" "$root/$doc/copyright" || fail "$doc/copyright does not say all rights reserved"
# A stanza for each third-party component linked into the packers.
for license in Apache-2.0 LGPL-2.1+ "GPL-3+ with GCC-exception-3.1 exception" "ZPL-2.1 and expat"; do
  grep -qx "License: $license" "$root/$doc/copyright" || fail "$doc/copyright has no stanza under $license"
done
grep -q "Niels Lohmann" "$root/$doc/copyright" || fail "$doc/copyright has no stanza for nlohmann/json"
for place in "/$relink/" "/$doc/licenses/"; do
  grep -q "$place" "$root/$doc/copyright" || fail "$doc/copyright does not name $place"
done
CXX=$cxx RELINK_ARCH=$relink_arch "$root/$relink/relink.sh" "$work/$arch-relinked" 2>"$work/$arch-relink.log" ||
  fail "the package's relink.sh fails: $(tail -n 5 "$work/$arch-relink.log")"
[ "$("${run[@]}" "$work/$arch-relinked" --version)" = "$version" ] ||
  fail "the packer relinked from $deb does not start, or names another version"
# The man page: its sections, and nothing that man warns of.
man_page="$root/usr/share/man/man1/zorpack.1.gz"
for section in SYNOPSIS OPTIONS COMMANDS '"EXIT STATUS"' EXAMPLES; do
  zcat "$man_page" | grep -qx "\.SH $section" || fail "the man page has no $section section"
done
man_warnings=$(man --warnings -l "$man_page" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "man warns of the man page: $man_warnings"
echo "deb_packages_test: $(basename "$deb") holds what it should, lintian finds no errors, its zorpack names $revision, and so does the one its relink.sh links" >&2
