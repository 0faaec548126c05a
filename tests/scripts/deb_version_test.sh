#!/usr/bin/env bash
# The Debian package's version sorts by commit, not by hash: in a scratch
# repository, a later commit whose revision sorts below the earlier one's
# (made so on purpose) still gets the higher version, as dpkg compares them;
# the same commit always gets the same version, in any time zone, and a
# dirty tree's stays a valid Debian version.
#   deb_version_test.sh SOURCE_DIR
set -euo pipefail
source "$1/scripts/lib/deb_version.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
cd "$work"
git init -q .
commit() {
  GIT_COMMITTER_DATE="$1" GIT_AUTHOR_DATE="$1" git -c user.name=t -c user.email=t@example.invalid \
    commit -q --allow-empty -m "$2"
}
rev12() { git rev-parse HEAD | cut -c1-12; }

commit "2026-01-01T00:00:00Z" first
first_rev=$(rev12)
first=$(zor_deb_version 1.0.0 "$first_rev")
# A second commit, a second later, whose revision sorts below the first's
# as dpkg compares versions.
attempt=0
while :; do
  commit "2026-01-01T00:00:01Z" "second $attempt"
  dpkg --compare-versions "1.0.0+$(rev12)" lt "1.0.0+$first_rev" && break
  git reset -q --hard HEAD~1
  attempt=$((attempt + 1))
done
second=$(zor_deb_version 1.0.0 "$(rev12)")
dpkg --compare-versions "$second" gt "$first" || fail "$second does not sort above $first"
[ "$(zor_deb_version 1.0.0 "$(rev12)")" = "$second" ] || fail "the same commit gets another version"
[ "$second" = "1.0.0+20260101000001.g$(rev12)" ] || fail "unexpected form: $second"
# The commit's time in UTC wherever the release is made.
for zone in Pacific/Kiritimati America/Adak; do
  [ "$(TZ=$zone zor_deb_version 1.0.0 "$(rev12)")" = "$second" ] || fail "with TZ=$zone: $(TZ=$zone zor_deb_version 1.0.0 "$(rev12)")"
done
dirty=$(zor_deb_version 1.0.0 "$(rev12)-dirty")
dpkg --compare-versions "$dirty" gt "$second" 2>/dev/null || fail "$dirty is not a valid version above $second"
echo "deb_version_test: $first < $second"
