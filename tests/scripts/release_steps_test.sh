#!/usr/bin/env bash
# The release's steps that need no build (scripts/lib/release_steps.sh), in
# a scratch keyring and a scratch dist/: the early key check refuses a key
# without its secret half, a user ID that names two keys and a key that
# needs a passphrase gpg cannot ask for, and says what to do; the sums are
# signed by the key given, not the keyring's default; a signature of an
# earlier run never stays beside new sums; dist/README's commands, run as
# written by another user in a read-only copy, check a good release without
# a warning and refuse a changed SHA256SUMS; the version line of a kit built
# from a changed tree keeps its "-dirty".
#   release_steps_test.sh SOURCE_DIR
set -u
source "$1/scripts/lib/failure.sh"
source "$1/scripts/lib/release_steps.sh"
set +e +o pipefail
trap - ERR
work=$(mktemp -d)
export GNUPGHOME="$work/gnupg"
mkdir -m 700 "$GNUPGHOME"
# gpg starts an agent for the keyring; it must not outlive the test.
trap 'gpgconf --kill gpg-agent 2>/dev/null; rm -rf "$work"' EXIT
failures=0
bad() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
new_key() { # USER_ID PASSPHRASE: prints the new key's fingerprint
  gpg --batch --passphrase "$2" --quick-gen-key "$1" ed25519 sign 1d 2>/dev/null
  gpg --batch --with-colons --list-keys -- "$1" 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }'
}
# The keyring's first key, which gpg signs with when no key is named.
new_key 'Default <default@example.invalid>' '' >/dev/null
release_key=$(new_key 'Release <release@example.invalid>' '')
locked_key=$(new_key 'Locked <locked@example.invalid>' 'secret words')
# A key whose secret half is elsewhere: only its public half is here.
other_home="$work/other"
mkdir -m 700 "$other_home"
public_only=$(GNUPGHOME=$other_home new_key 'Public only <public@example.invalid>' '')
GNUPGHOME=$other_home gpg --batch --export "$public_only" | gpg --batch --import 2>/dev/null
GNUPGHOME=$other_home gpgconf --kill gpg-agent

# check_key NAME KEY EXPECTED: EXPECTED is the fingerprint printed, or
# "refused: TEXT" for a refusal whose one line holds TEXT.
check_key() {
  local name=$1 key=$2 expected=$3 out status
  out=$( (zor_sign_key_fingerprint "$key") 2>"$work/key.err" </dev/null)
  status=$?
  case "$expected" in
    refused:*)
      [ "$status" -ne 0 ] && [ -z "$out" ] && [ "$(wc -l <"$work/key.err")" -eq 1 ] &&
        grep -qF -- "${expected#refused: }" "$work/key.err" ||
        bad "$name: not refused with '${expected#refused: }' (exit $status): $out $(cat "$work/key.err")"
      ;;
    *) [ "$status" -eq 0 ] && [ "$out" = "$expected" ] || bad "$name: '$out' (exit $status), not $expected" ;;
  esac
}
check_key "a key by fingerprint" "$release_key" "$release_key"
check_key "a key by user ID" release@example.invalid "$release_key"
check_key "a key without its secret half" "$public_only" "refused: no secret key '$public_only'"
check_key "a key not in the keyring" nobody@example.invalid "refused: no secret key"
check_key "a user ID naming two keys" example.invalid "refused: names 3 secret keys"
check_key "a key with a passphrase and no terminal" "$locked_key" "refused: GPG_TTY"

# A scratch dist/ holding what an earlier run left: a signature of other sums.
dist="$work/dist"
mkdir "$dist"
echo archive >"$dist/kit.tar.gz"
echo package >"$dist/kit.deb"
echo "old signature" >"$dist/SHA256SUMS.asc"
zor_publish_sums "$dist" "" kit.tar.gz kit.deb 2>"$work/publish.err" || bad "unsigned sums: $(cat "$work/publish.err")"
[ ! -e "$dist/SHA256SUMS.asc" ] || bad "an unsigned release keeps the earlier SHA256SUMS.asc"
grep -q unsigned "$dist/README" || bad "the README of an unsigned release does not say so"
bash "$1/tests/release/dist_readme_test.sh" "$dist" 2>"$work/readme.err" || bad "unsigned: $(cat "$work/readme.err")"
echo "old signature" >"$dist/SHA256SUMS.asc"
zor_publish_sums "$dist" "$release_key" kit.tar.gz kit.deb 2>"$work/publish.err" || bad "signed sums: $(cat "$work/publish.err")"
signer=$(gpg --batch --status-fd 1 --verify "$dist/SHA256SUMS.asc" "$dist/SHA256SUMS" 2>/dev/null |
  awk '$2 == "VALIDSIG" { print $NF }')
[ "$signer" = "$release_key" ] || bad "SHA256SUMS is signed by '$signer', not the key given, $release_key"
grep -qF "$release_key" "$dist/README" || bad "the README does not name the key's fingerprint"
[ -z "$(find "$dist" -name '.release.*')" ] || bad "a staging folder is left in dist/"

# The README's commands, as a user runs them.
gpg --batch --armor --export "$release_key" >"$work/release-key.asc"
readme_test="$1/tests/release/dist_readme_test.sh"
bash "$readme_test" "$dist" "$work/release-key.asc" 2>"$work/readme.err" || bad "$(cat "$work/readme.err")"
sed -i '1s/^./x/' "$dist/SHA256SUMS"
bash "$readme_test" "$dist" "$work/release-key.asc" 2>/dev/null && bad "the README's commands accept a changed SHA256SUMS"

# parse NAME LINE EXPECTED: zor_parse_version_line's answer.
parse() {
  [ "$(zor_parse_version_line "$2")" = "$3" ] || bad "$1: '$(zor_parse_version_line "$2")', not '$3'"
}
rev=0123456789abcdef0123456789abcdef01234567
parse "a clean tree" "zorpack 1.2.3 (source revision $rev)" "1.2.3 0123456789ab $rev"
parse "a changed tree" "zorpack 1.2.3 (source revision $rev-dirty)" "1.2.3 0123456789ab-dirty $rev-dirty"
parse "a short revision" "zorpack 1.2.3 (source revision 0123456789ab)" ""
parse "another program" "other 1.2.3 (source revision $rev)" ""

[ "$failures" -eq 0 ] && echo "release steps: all cases hold"
exit $((failures > 0))
