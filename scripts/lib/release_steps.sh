# Sourced by scripts/release.sh and its test (after failure.sh, whose fail
# it uses): the release's steps that take no build, each testable alone in
# a scratch folder and keyring.

# zor_sign_key_fingerprint KEY: checks, before anything is built, that KEY
# names exactly one key of the GnuPG keyring whose secret half is there and
# that gpg can sign with it now, without a terminal; prints its fingerprint.
# A key that needs a passphrase signs only through an agent that already
# holds it, or with a terminal that pinentry can ask on.
zor_sign_key_fingerprint() {
  local key=$1 keyring="the GnuPG keyring${GNUPGHOME:+ $GNUPGHOME}" fingerprints count trial
  fingerprints=$(gpg --batch --with-colons --list-secret-keys -- "$key" 2>/dev/null |
    awk -F: '$1 == "sec" { primary = 1; next } $1 == "fpr" && primary { print $10; primary = 0 }')
  count=$(grep -c . <<<"$fingerprints" || true)
  [ "$count" -ne 0 ] || fail "no secret key '$key' in $keyring"
  [ "$count" -eq 1 ] || fail "'$key' names $count secret keys in $keyring: give the fingerprint of one"
  trial=$(gpg --batch --armor --detach-sign --local-user "$fingerprints" --output - </dev/null 2>&1 >/dev/null) ||
    fail "gpg cannot sign with $fingerprints here ($(tail -n 1 <<<"$trial")): a key with a" \
      "passphrase needs an agent that holds it (sign anything with it once first) or a terminal" \
      "(export GPG_TTY=\$(tty)); for automation use a signing key without a passphrase"
  echo "$fingerprints"
}

# zor_publish_sums DIST FINGERPRINT FILE...: writes DIST/SHA256SUMS of the
# FILEs (names inside DIST), signed by FINGERPRINT unless it is empty, and
# DIST/README, which tells how to check them. Each file is written in a
# private folder inside DIST and renamed into place, so no name in DIST is
# written through; sums, signature or README of an earlier run never stay
# beside new files, not even when signing fails.
zor_publish_sums() {
  local dist=$1 fingerprint=$2 staging
  shift 2
  staging=$(mktemp -d "$dist/.release.XXXXXXXX")
  rm -f "$dist/SHA256SUMS" "$dist/SHA256SUMS.asc" "$dist/README"
  (cd "$dist" && sha256sum -- "$@") >"$staging/SHA256SUMS"
  if [ -n "$fingerprint" ]; then
    gpg --batch --armor --detach-sign --local-user "$fingerprint" \
      --output "$staging/SHA256SUMS.asc" "$staging/SHA256SUMS" || {
      rm -rf "$staging"
      fail "gpg could not sign SHA256SUMS"
    }
  fi
  zor_dist_readme "$fingerprint" "$@" >"$staging/README"
  local file
  for file in SHA256SUMS SHA256SUMS.asc README; do
    [ ! -e "$staging/$file" ] || mv -fT "$staging/$file" "$dist/$file"
  done
  rmdir "$staging"
}

# The marker of the README's commands, which the tests run as written.
zor_readme_command_prefix='  $ '

# zor_dist_readme FINGERPRINT FILE...: the plain text of dist/README.
zor_dist_readme() {
  local fingerprint=$1 file p=$zor_readme_command_prefix
  shift
  echo "ZOR firmware update release"
  echo
  for file in "$@"; do echo "  $file"; done
  echo "  SHA256SUMS: the SHA-256 of the files above"
  if [ -z "$fingerprint" ]; then
    echo
    echo "This release is unsigned. Check a file you took (coreutils):"
    echo
    echo "${p}sha256sum --ignore-missing -c SHA256SUMS"
    return
  fi
  cat <<EOF
  SHA256SUMS.asc: the release key's OpenPGP signature of SHA256SUMS

The release key's fingerprint:

  $fingerprint

Get the release key from a place you trust, not from beside these files,
and see that its fingerprint is the one above as that place gives it: this
README is not signed. Save it here as release-key.asc (ASCII-armoured; a
binary key saved as release-key.gpg: replace the gpg --dearmor line by
cp release-key.gpg "\$keyring/"). Checking needs gpg, gpgv and coreutils
(Debian: apt install gpg gpgv coreutils). From this folder, which may be
read-only (the key goes into a temporary folder of its own):

${p}keyring=\$(mktemp -d)
${p}gpg --homedir "\$keyring" --dearmor <release-key.asc >"\$keyring/release-key.gpg"
${p}gpgv --homedir "\$keyring" --keyring "\$keyring/release-key.gpg" SHA256SUMS.asc SHA256SUMS
${p}sha256sum --ignore-missing -c SHA256SUMS
${p}rm -r "\$keyring"

gpgv says "Good signature" and exits 0 only for SHA256SUMS as the key signed
it; sha256sum then checks each file you took.
EOF
}

# zor_parse_version_line LINE: "VERSION REVISION LABEL" from what
# `zorpack --version` says: REVISION is the source revision's first 12
# digits and LABEL all 40, each with "-dirty" when the kit was built from a
# changed tree. Prints nothing for any other line.
zor_parse_version_line() {
  sed -n 's/^zorpack \([^ ]*\) (source revision \(\([0-9a-f]\{12\}\)[0-9a-f]\{28\}\)\(-dirty\)\{0,1\})$/\1 \3\4 \2\4/p' <<<"$1"
}
