#!/usr/bin/env bash
# Checks that the release is reproducible: clones the current commit twice,
# into folders at different depths below build-repro/ (the second's path
# has a space and a non-ASCII letter, as users' folders do), runs
# scripts/release.sh in each and compares the two archives and the two pairs
# of Debian packages byte for byte. Then it checks dist/SHA256SUMS, unpacks
# the kit and checks its SHA256SUMS. Takes a few minutes.
#   scripts/check_release_reproducible.sh
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh

revision=$(git rev-parse --verify HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check_release_reproducible: uncommitted changes are not part of the check;" \
    "it builds $revision" >&2
fi
work=build-repro
rm -rf "$work"
first="$work/a"
second="$work/another/deeper/b with space é"
for clone in "$first" "$second"; do
  mkdir -p "$(dirname "$clone")"
  git clone -q --no-local "$(pwd)" "$clone"
  git -C "$clone" checkout -q --detach "$revision"
  "$clone/scripts/release.sh" >"$clone.log" 2>&1 || fail "release.sh failed in $clone: $(tail -n 5 "$clone.log")"
done

archives=("$first"/dist/*.tar.gz)
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || fail "no single archive in $first/dist"
name=$(basename "${archives[0]}")
[ -f "$second/dist/$name" ] || fail "the second run made no $name"
sha256sum "$first/dist/$name" "$second/dist/$name"
cmp "$first/dist/$name" "$second/dist/$name" || fail "the two archives differ"
debs=("$first"/dist/*.deb)
[ ${#debs[@]} -eq 2 ] && [ -f "${debs[0]}" ] || fail "not two Debian packages in $first/dist"
for deb in "${debs[@]}"; do
  deb=$(basename "$deb")
  [ -f "$second/dist/$deb" ] || fail "the second run made no $deb"
  cmp "$first/dist/$deb" "$second/dist/$deb" || fail "the two $deb differ"
done
(cd "$first/dist" && sha256sum -c SHA256SUMS) || fail "dist/SHA256SUMS does not match"

mkdir "$work/unpacked"
tar -xzf "$first/dist/$name" -C "$work/unpacked"
(cd "$work/unpacked/${name%.tar.gz}" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
echo "check_release_reproducible: $name and the packages are the same from both clones, and both SHA256SUMS hold"
