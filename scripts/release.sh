#!/usr/bin/env bash
# Builds the release kit from the committed sources, in fresh build folders
# (build-release/), and writes
#   dist/zor-firmware-update-<version>-<revision, 12 digits>.tar.gz
#   dist/zor-firmware-update-<version>-<revision, 12 digits>.tar.gz.sha256
# The kit holds bin/zorpack (Linux x86-64), bin/aarch64/zorpack (Linux arm64),
# bin/zorpack.exe, share/zor/launcher.exe, the README and docs, and a
# SHA256SUMS of all of them. What goes where is CMake's install rules
# (components launcher, packer and docs), not a list kept here.
#
# Two runs at the same commit give the same bytes, wherever the clone lies:
# the builds keep their paths out of the programs, and the archive takes its
# time stamps from the commit, sorts its entries, and fixes owners and modes;
# gzip stores no name or time.
#   scripts/release.sh [--allow-dirty]
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh

allow_dirty=0
case "${1:-}" in
  "") ;;
  --allow-dirty) allow_dirty=1 ;;
  *) fail "usage: scripts/release.sh [--allow-dirty]" ;;
esac

scripts/setup.sh

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
build host zorpack
build arm64 zorpack

# Version and revision as the packer itself reports them, so the name can
# never disagree with what `zorpack --version` says.
version_line=$("$work/host/bin/zorpack" --version)
version=$(sed -n 's/^zorpack \([^ ]*\) (source revision \([0-9a-f]\{40\}\)\(-dirty\)\{0,1\})$/\1/p' \
  <<<"$version_line")
revision=$(sed -n 's/^.*(source revision \([0-9a-f]\{12\}\)[0-9a-f]\{28\}\(-dirty\)\{0,1\})$/\1\2/p' \
  <<<"$version_line")
[ -n "$version" ] && [ -n "$revision" ] || fail "cannot read version and revision from '$version_line'"
name="zor-firmware-update-$version-$revision"

kit="$work/kit/$name"
mkdir -p "$kit"
cmake --install "$work/default" --prefix "$kit" --component launcher >/dev/null
for preset in default host arm64; do
  cmake --install "$work/$preset" --prefix "$kit" --component packer >/dev/null
done
cmake --install "$work/default" --prefix "$kit" --component docs >/dev/null

for file in bin/zorpack bin/aarch64/zorpack bin/zorpack.exe share/zor/launcher.exe README.md; do
  [ -f "$kit/$file" ] || fail "the kit has no $file"
done
# No build folder may show through in what the kit carries.
if grep -rlF -e "$(pwd)" "$kit" >/dev/null; then
  fail "build paths in: $(grep -rlF -e "$(pwd)" "$kit" | tr '\n' ' ')"
fi

(cd "$kit" && find . -type f -printf '%P\n' | sort | xargs -d '\n' sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$kit/SHA256SUMS"

archive="dist/$name.tar.gz"
tar --create --format=gnu --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
  --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
  --directory="$work/kit" "$name" | gzip -9 --no-name >"$archive.tmp"
mv "$archive.tmp" "$archive"
(cd dist && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
echo "release: $archive"
cat "dist/$name.tar.gz.sha256"
