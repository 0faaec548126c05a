#!/usr/bin/env bash
# Builds the release kit from the committed sources, in fresh build folders
# (build-release/), and writes
#   dist/zor-firmware-update-<version>-<revision, 12 digits>.tar.gz
#   dist/zor-firmware-update-<version>-<revision, 12 digits>.tar.gz.sha256
#   dist/zor-firmware-update_<version>+<commit time>.g<revision, 12 digits>_amd64.deb
#   dist/zor-firmware-update_<version>+<commit time>.g<revision, 12 digits>_arm64.deb
#   dist/SHA256SUMS      the archive and the two packages
#   dist/SHA256SUMS.asc  with --sign-key KEY (a key of the caller's GnuPG
#                        keyring): its detached, ASCII-armoured signature
#   dist/README          how to check them, with the key's fingerprint
# The kit holds bin/zorpack (Linux x86-64), bin/aarch64/zorpack (Linux arm64),
# both static, bin/zorpack.exe, share/zor/launcher.exe, the CMake package in
# lib/cmake/ZorFirmwareUpdate, the man page, its own README, the docs, the
# example product, the third-party notices, the static packers' object files
# for relinking, and a SHA256SUMS of all of them. What goes where is CMake's
# install rules (components launcher, packer, cmake_package, docs and
# relink), not a list kept here; the Debian packages are made by CPack from
# the kit (packaging/deb/). The kit (its packers, its documents' recipes, the
# relinking) and the packages are tested before anything is written into
# dist/.
#
# Two runs at the same commit give the same bytes, wherever the clone lies:
# the builds keep their paths out of the programs, and the archive and the
# packages take their time stamps from the commit, sort their entries, and
# fix owners and modes; gzip stores no name or time.
#   scripts/release.sh [--allow-dirty] [--sign-key KEY]
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh
source scripts/lib/deb_version.sh
source scripts/lib/release_steps.sh

usage="usage: scripts/release.sh [--allow-dirty] [--sign-key KEY]"
allow_dirty=0
sign_key=""
while [ $# -gt 0 ]; do
  case "$1" in
    --allow-dirty) allow_dirty=1 ;;
    --sign-key)
      [ $# -ge 2 ] && [ -n "$2" ] || fail "$usage"
      sign_key=$2
      shift
      ;;
    *) fail "$usage" ;;
  esac
  shift
done

scripts/setup.sh
# A key that cannot sign is found out before the builds, not after.
fingerprint=""
if [ -n "$sign_key" ]; then
  # (Its own message is the one line: no second report from the trap.)
  fingerprint=$(zor_sign_key_fingerprint "$sign_key") || exit 1
fi

git rev-parse --verify -q HEAD >/dev/null || fail "not a git checkout with a commit"
if [ -n "$(git status --porcelain --untracked-files=no)" ] && [ "$allow_dirty" -eq 0 ]; then
  fail "uncommitted changes: a release names exact sources (--allow-dirty builds a -dirty kit)"
fi

# Nothing of this machine or this moment in the kit.
export LC_ALL=C TZ=UTC
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
umask 022

work=build-release
rm -rf "$work"
mkdir -p "$work" dist

# The packer of each build; the Windows build also makes the launcher image.
build() {
  local preset="$1"
  shift
  echo "release: building $preset" >&2
  cmake --preset "$preset" -B "$work/$preset" -DZOR_BUILD_TESTS=OFF >"$work/$preset.log" 2>&1 ||
    fail "configuring $preset failed; see $work/$preset.log"
  cmake --build "$work/$preset" --target "$@" >>"$work/$preset.log" 2>&1 ||
    fail "the $preset build failed; see $work/$preset.log"
}
build default launcher zorpack
build host-static zorpack zorpack_man
build arm64-static zorpack

# Version and revision as the packer itself reports them, so the name can
# never disagree with what `zorpack --version` says.
version_line=$("$work/host-static/bin/zorpack" --version)
read -r version revision label < <(zor_parse_version_line "$version_line") || true
[ -n "${label:-}" ] || fail "cannot read version and revision from '$version_line'"
name="zor-firmware-update-$version-$revision"

kit="$work/kit/$name"
mkdir -p "$kit"
for component in launcher cmake_package docs; do
  cmake --install "$work/default" --prefix "$kit" --component "$component" >/dev/null
done
for preset in default host-static arm64-static; do
  cmake --install "$work/$preset" --prefix "$kit" --component packer >/dev/null
done
for preset in host-static arm64-static; do
  cmake --install "$work/$preset" --prefix "$kit" --component relink >/dev/null
done

for file in bin/zorpack bin/aarch64/zorpack bin/zorpack.exe share/zor/launcher.exe README.md \
  share/man/man1/zorpack.1 lib/cmake/ZorFirmwareUpdate/ZorFirmwareUpdateConfig.cmake \
  share/zor/copyright share/zor/licenses/LGPL-2.1 share/zor/relink/relink.sh; do
  [ -f "$kit/$file" ] || fail "the kit has no $file"
done
# No build folder may show through in what the kit carries.
if grep -rlF -e "$(pwd)" "$kit" >/dev/null; then
  fail "build paths in: $(grep -rlF -e "$(pwd)" "$kit" | tr '\n' ' ')"
fi

(cd "$kit" && find . -type f -printf '%P\n' | sort | xargs -d '\n' sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$kit/SHA256SUMS"

tests/release/static_packers_test.sh "$kit" "$work/static-packers-test" ||
  fail "the kit's Linux packers are not static, or fail in an empty root"
# The recipes of the kit's documents, and of the repository's README, as
# written, against the kit.
tests/release/doc_test.sh "$kit" "$work/doc-test" README.md ||
  fail "a document's recipe fails against the kit"
tests/release/relink_test.sh "$kit" "$work/relink-test" ||
  fail "the kit's relink script does not make a working packer"

# The Debian packages, one per Linux architecture of the kit, versioned so
# that later commits sort later.
deb_version=$(zor_deb_version "$version" "$revision")
debs=()
deb_files=()
for arch in amd64 arm64; do
  echo "release: packaging $arch" >&2
  deb_build="$work/deb-$arch"
  cmake -S packaging/deb -B "$deb_build" -DZOR_KIT_DIR="$(pwd)/$kit" -DZOR_DEB_ARCH="$arch" \
    -DZOR_DEB_VERSION="$deb_version" -DZOR_SOURCE_LABEL="$label" >"$deb_build.log" 2>&1 ||
    fail "configuring the $arch package failed; see $deb_build.log"
  # CPack's archive library reads file names in the locale's encoding: in
  # the C locale a clone below a non-ASCII folder name cannot be packed.
  LC_ALL=C.UTF-8 cpack --config "$deb_build/CPackConfig.cmake" -B "$deb_build/out" >>"$deb_build.log" 2>&1 ||
    fail "CPack failed for $arch; see $deb_build.log"
  deb="zor-firmware-update_${deb_version}_$arch.deb"
  [ -f "$deb_build/out/$deb" ] || fail "CPack made no $deb; see $deb_build.log"
  /usr/bin/python3 packaging/deb/set_installed_size.py "$deb_build/out/$deb" ||
    fail "cannot set the Installed-Size of $deb"
  tests/release/deb_packages_test.sh "$deb_build/out/$deb" "$arch" "$label" "$work/deb-test" ||
    fail "the $arch package fails its test"
  # The package's CMake package, from the scratch root the test unpacked
  # it into, for a product build on this host.
  if [ "$arch" = amd64 ]; then
    tests/release/example_product_test.sh "$work/deb-test/$arch-root/usr" "$work/example-product" ||
      fail "the example product does not build against the $arch package"
  fi
  debs+=("$deb")
  deb_files+=("$deb_build/out/$deb")
done

# Everything is made in the build folder and renamed into dist/, so that no
# name there is written through.
archive="dist/$name.tar.gz"
tar --create --format=gnu --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
  --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
  --directory="$work/kit" "$name" | gzip -9 --no-name >"$work/$name.tar.gz"
(cd "$work" && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
for file in "$work/$name.tar.gz" "$work/$name.tar.gz.sha256" "${deb_files[@]}"; do
  mv -fT "$file" "dist/$(basename "$file")"
done
# The sums are what a user trusts the files by, so they are signed when a
# key is given.
zor_publish_sums dist "$fingerprint" "$name.tar.gz" "${debs[@]}"
# dist/README's commands, as a user with the release key runs them.
key_file=()
if [ -n "$fingerprint" ]; then
  gpg --batch --armor --export "$fingerprint" >"$work/release-key.asc"
  key_file=("$work/release-key.asc")
fi
tests/release/dist_readme_test.sh dist "${key_file[@]}" || fail "dist/README's commands do not check the release"
if [ -n "$fingerprint" ]; then
  echo "release: dist/SHA256SUMS signed by $fingerprint: dist/SHA256SUMS.asc" >&2
else
  echo "release: dist/SHA256SUMS is unsigned (--sign-key KEY signs it)" >&2
fi
echo "release: $archive ${debs[*]/#/dist/}"
cat dist/SHA256SUMS
