#!/usr/bin/env bash
# The commands of a release's dist/README, run as written, from a read-only
# copy of DIST that holds the release key as a user saved it (KEY: an
# ASCII-armoured key, saved there as release-key.asc), as another user
# (uid 65534) when run by root, with no GnuPG home of their own. They must
# succeed without a warning.
#   tests/release/dist_readme_test.sh DIST [KEY]
set -Eeuo pipefail
fail() {
  echo "dist_readme_test: $*" >&2
  exit 1
}
[ $# -ge 1 ] && [ $# -le 2 ] || fail "usage: tests/release/dist_readme_test.sh DIST [KEY]"
source "$(dirname "$0")/../../scripts/lib/release_steps.sh"
prefix=$zor_readme_command_prefix
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
copy="$work/dist"
cp -r "$1" "$copy"
[ $# -lt 2 ] || cp "$2" "$copy/release-key.asc"
sed -n "s/^$prefix//p" "$copy/README" >"$work/commands.sh"
[ -s "$work/commands.sh" ] || fail "$1/README holds no commands"
chmod -R a+rX,a-w "$copy"
chmod a+rx "$work"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
(cd "$copy" && "${as_user[@]}" env -u GNUPGHOME HOME=/nonexistent bash -euo pipefail "$work/commands.sh") \
  >"$work/out" 2>"$work/err" || fail "the README's commands fail: $(cat "$work/err" "$work/out")"
! grep -qiE "warning|can't|cannot|error" "$work/err" || fail "the README's commands warn: $(cat "$work/err")"
echo "dist_readme_test: the README's commands check $1" >&2
