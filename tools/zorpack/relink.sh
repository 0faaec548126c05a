#!/bin/sh
# Links the static zorpack again from its own object files, which lie beside
# this script in a folder per architecture, against this system's static C
# library and libcrypto (on Debian: apt install g++ libssl-dev), so that the
# packer can be rebuilt with another version of either.
#   share/zor/relink/relink.sh OUTPUT
# CXX names another C++ compiler driver; RELINK_ARCH another architecture's
# objects (x86_64, aarch64), for a cross linker given as CXX.
#   relink.sh --toolchain
# prints what CXX is ("GCC-MAJOR GLIBC-MAJOR GLIBC-MINOR"); the build
# records it beside the objects as the oldest toolchain they link with.
#
# OUTPUT's folder may be shared with other users: the link is made in a
# private folder created inside it and then renamed over OUTPUT, so a file
# or link that someone else put at OUTPUT is replaced, never written
# through, and a failure leaves OUTPUT as it was.
set -eu
usage="usage: relink.sh OUTPUT"
cxx=${CXX:-g++}

# The compiler's version and that of the C library it builds against, from
# the compiler itself, so that a cross compiler answers for its target.
toolchain_of_cxx() {
  printf '#include <features.h>\n__GNUC__ __GLIBC__ __GLIBC_MINOR__\n' |
    "$cxx" -E -P -x c++ - 2>/dev/null | tail -n 1
}

if [ $# -eq 1 ] && [ "$1" = --toolchain ]; then
  toolchain_of_cxx
  exit 0
fi
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "$usage" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
arch=${RELINK_ARCH:-$(uname -m)}
objects="$here/$arch"
if [ ! -d "$objects" ]; then
  echo "relink.sh: no object files for $arch in $here" >&2
  exit 1
fi

# Objects compiled with a newer GCC or C library than the linker's name
# functions the older one lacks: one line saying so, not a page of linker
# errors.
[ -r "$objects/toolchain" ] || {
  echo "relink.sh: $objects names no toolchain" >&2
  exit 1
}
read -r need_gcc need_glibc need_glibc_minor <"$objects/toolchain"
number() { case $1 in '' | *[!0-9]*) return 1 ;; esac }
older() {
  [ "$1" -lt "$need_gcc" ] || [ "$2" -lt "$need_glibc" ] ||
    { [ "$2" -eq "$need_glibc" ] && [ "$3" -lt "$need_glibc_minor" ]; }
}
output=$1
have=$(toolchain_of_cxx) || have=""
# shellcheck disable=SC2086 # three numbers, split on purpose
set -- $have
if [ $# -ne 3 ] || ! number "$1" || ! number "$2" || ! number "$3" || older "$1" "$2" "$3"; then
  found="${1:+GCC $1 with the GNU C Library ${2:-?}.${3:-?}}"
  echo "relink.sh: the $arch objects need GCC $need_gcc and the GNU C Library" \
    "$need_glibc.$need_glibc_minor or later (Debian 12 or later); $cxx is" \
    "${found:-no such compiler}" >&2
  exit 1
fi

# A relative compiler path must survive the change of folder below.
case "$cxx" in */*) cxx=$(cd "$(dirname "$cxx")" && pwd)/$(basename "$cxx") ;; esac
# OUTPUT's folder is resolved once; every step below works inside it.
cd -P -- "$(dirname -- "$output")"
name=$(basename -- "$output")
private=$(mktemp -d ./.relink.XXXXXXXX)
trap 'rm -rf -- "$private"' EXIT
trap 'exit 1' HUP INT TERM
# The group lets the archives name each other in any order.
"$cxx" -static-pie -O2 -pthread -o "$private/zorpack" "$objects"/*.o \
  -Wl,--start-group "$objects"/*.a -Wl,--end-group -lcrypto -ldl
mv -fT -- "$private/zorpack" "./$name"
echo "relink.sh: $output linked from $objects" >&2
