#!/usr/bin/env bash
# Checks that the release is reproducible: clones the current commit twice,
# into folders at different depths below build-repro/ (the second's path
# has a space and a non-ASCII letter, as users' folders do), runs
# scripts/release.sh in each (the second with --sign-key and a throw-away
# key) and compares the two archives and the two pairs of Debian packages
# byte for byte. Then it checks dist/SHA256SUMS and its signature, runs the
# commands of dist/README as a user with the release key would, unpacks
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
# The second release signs its sums with a throw-away key, in a keyring of
# its own; signing must not change a byte of what it signs.
export GNUPGHOME="$(pwd)/$work/gnupg"
mkdir -p "$GNUPGHOME"
chmod 700 "$GNUPGHOME"
# gpg starts an agent for the keyring; it must not outlive the check.
trap 'gpgconf --kill gpg-agent 2>/dev/null || true' EXIT
gpg --batch --passphrase '' --quick-gen-key 'Release check <release-check@example.invalid>' \
  ed25519 sign 1d 2>/dev/null
key=$(gpg --batch --list-keys --with-colons 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
gpg --batch --export "$key" >"$work/release-key.gpg"
gpg --batch --armor --export "$key" >"$work/release-key.asc"
for clone in "$first" "$second"; do
  mkdir -p "$(dirname "$clone")"
  git clone -q --no-local "$(pwd)" "$clone"
  git -C "$clone" checkout -q --detach "$revision"
  sign=()
  if [ "$clone" = "$second" ]; then sign=(--sign-key "$key"); fi
  "$clone/scripts/release.sh" "${sign[@]}" >"$clone.log" 2>&1 || fail "release.sh failed in $clone: $(tail -n 5 "$clone.log")"
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
cmp "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS" || fail "the two SHA256SUMS differ"

# The signature as a user checks it, with nothing but the release key, and
# a SHA256SUMS changed after signing refused.
[ ! -e "$first/dist/SHA256SUMS.asc" ] || fail "a release without --sign-key left a SHA256SUMS.asc"
grep -q "SHA256SUMS is unsigned" "$first.log" || fail "a release without --sign-key does not say the sums are unsigned"
gpgv --keyring "$work/release-key.gpg" "$second/dist/SHA256SUMS.asc" "$second/dist/SHA256SUMS" 2>"$work/gpgv.log" ||
  fail "the signature of SHA256SUMS does not verify: $(cat "$work/gpgv.log")"
# x is no hexadecimal digit, so the first line changes whatever its digest.
sed '1s/^./x/' "$second/dist/SHA256SUMS" >"$work/SHA256SUMS.changed"
if gpgv --keyring "$work/release-key.gpg" "$second/dist/SHA256SUMS.asc" "$work/SHA256SUMS.changed" 2>/dev/null; then
  fail "the signature verifies a changed SHA256SUMS"
fi

grep -qF "$key" "$second/dist/README" || fail "the signed release's README does not name the key's fingerprint"
tests/release/dist_readme_test.sh "$second/dist" "$work/release-key.asc" || fail "the README's commands do not check the release"

mkdir "$work/unpacked"
tar -xzf "$first/dist/$name" -C "$work/unpacked"
(cd "$work/unpacked/${name%.tar.gz}" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
echo "check_release_reproducible: $name and the packages are the same from both clones, both SHA256SUMS hold, and their signature verifies"
