# Sourced by scripts/release.sh and its test. The Debian package's version:
# dpkg sorts the part after "+" as text, so a bare revision would rank
# commits by their hash and an upgrade could go backwards. The commit's time
# (UTC, to the second) comes first, so later commits sort later; the
# revision follows, so the version still names exact sources. Both come from
# the commit, so a rebuild gives the same version. Debian's version has no
# hyphen of its own: a "-dirty" becomes ".dirty".
#   zor_deb_version VERSION REVISION   REVISION: 12 digits, maybe "-dirty";
#                                      the commit is the current folder's HEAD
zor_deb_version() {
  local version=$1 revision=$2 time
  time=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y%m%d%H%M%S HEAD)
  echo "$version+$time.g${revision/-dirty/.dirty}"
}
