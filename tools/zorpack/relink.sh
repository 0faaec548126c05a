#!/bin/sh
# Links the static zorpack again from its own object files, which lie beside
# this script in a folder per architecture, against this system's static C
# library and libcrypto (on Debian: apt install g++ libssl-dev), so that the
# packer can be rebuilt with another version of either.
#   share/zor/relink/relink.sh OUTPUT
# CXX names another C++ compiler driver; RELINK_ARCH another architecture's
# objects (x86_64, aarch64), for a cross linker given as CXX.
set -eu
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: relink.sh OUTPUT" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
arch=${RELINK_ARCH:-$(uname -m)}
objects="$here/$arch"
if [ ! -d "$objects" ]; then
  echo "relink.sh: no object files for $arch in $here" >&2
  exit 1
fi
# The group lets the archives name each other in any order.
"${CXX:-g++}" -static-pie -O2 -pthread -o "$1" "$objects"/*.o \
  -Wl,--start-group "$objects"/*.a -Wl,--end-group -lcrypto -ldl
echo "relink.sh: $1 linked from $objects" >&2
