#!/usr/bin/env bash
# The amd64 package on the oldest system it is made for: in a minimal
# Debian 11 root (debootstrap, from Debian's archive), the package installs,
# its packer packs and verifies, and the example product it carries builds
# against it with Debian 11's CMake (3.18, the oldest the CMake package and
# the example support) and the MinGW cross compiler, then repacks nothing
# on a second build. With Debian 11's compiler and C library (GCC 10, glibc
# 2.31), the package's relink.sh and that of the kit archive beside DEB each
# either link a packer that packs and verifies or refuse in one line that
# names the toolchain they need. The root is kept in WORK_DIR for the next
# run. Needs root (debootstrap, chroot).
#   tests/release/debian11_test.sh DEB WORK_DIR
set -Eeuo pipefail

fail() {
  echo "debian11_test: $*" >&2
  exit 1
}
[ $# -eq 2 ] || fail "usage: tests/release/debian11_test.sh DEB WORK_DIR"
deb=$1
mkdir -p "$2"
work=$(cd "$2" && pwd)
root="$work/bullseye"
ready="$root/.zor-root-ready"
oldest_cmake=3.18

if [ ! -e "$ready" ]; then
  rm -rf "$root"
  mkdir -p "$root"
  # debootstrap splits a target path at spaces: it is given the root through
  # a link from a plain temporary folder.
  plain=$(mktemp -d)
  trap 'rm -rf "$plain"' EXIT
  ln -s "$root" "$plain/root"
  debootstrap --variant=minbase bullseye "$plain/root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 ||
    fail "debootstrap failed: $(tail -n 5 "$work/debootstrap.log")"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # A private mount namespace: the root's /proc goes away with it.
  unshare -m sh -c "mount -t proc proc '$root/proc' && chroot '$root' sh -c \
    'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
     --no-install-recommends cmake ninja-build g++-mingw-w64-i686-posix'" >"$work/apt.log" 2>&1 ||
    fail "installing the build tools in the Debian 11 root failed: $(tail -n 5 "$work/apt.log")"
  touch "$ready"
fi
# What relinking needs (a root from before relinking was tried lacks it).
relink_ready="$root/.zor-relink-tools-ready"
if [ ! -e "$relink_ready" ]; then
  unshare -m sh -c "mount -t proc proc '$root/proc' && chroot '$root' sh -c \
    'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends g++ libssl-dev'" \
    >"$work/apt-relink.log" 2>&1 ||
    fail "installing g++ and libssl-dev in the Debian 11 root failed: $(tail -n 5 "$work/apt-relink.log")"
  touch "$relink_ready"
fi

cp "$deb" "$root/tmp/zor.deb"
in_root() { chroot "$root" sh -euc "$1"; }
in_root 'dpkg -i /tmp/zor.deb' >"$work/dpkg.log" 2>&1 || fail "dpkg -i failed: $(tail -n 5 "$work/dpkg.log")"
in_root 'cd /tmp && rm -f product.exe &&
  zorpack pack /usr/share/zor/launcher.exe /usr/share/zor/zorpack.exe product.exe &&
  zorpack verify --launcher /usr/share/zor/launcher.exe product.exe' >"$work/pack.log" 2>&1 ||
  fail "the packer does not pack and verify on Debian 11: $(tail -n 5 "$work/pack.log")"
cmake_version=$(in_root 'cmake --version' | sed -n 's/^cmake version \([0-9]*\.[0-9]*\).*/\1/p')
[ "$cmake_version" = "$oldest_cmake" ] || fail "the Debian 11 root has CMake $cmake_version, not $oldest_cmake"
example=/usr/share/doc/zor-firmware-update/examples/product
in_root "rm -rf /tmp/example && cmake -S $example -B /tmp/example -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=$example/mingw-i686.cmake -DCMAKE_PREFIX_PATH=/usr &&
  cmake --build /tmp/example &&
  zorpack verify --launcher /usr/share/zor/launcher.exe /tmp/example/Updater-unsigned.exe &&
  ninja -C /tmp/example -n | grep -q 'no work to do'" >"$work/example.log" 2>&1 ||
  fail "the example does not build with CMake $oldest_cmake on Debian 11: $(tail -n 5 "$work/example.log")"

# relink_on_debian11 WHAT SCRIPT: SCRIPT (a path in the root) links a
# packer that packs and verifies, or says in one line which toolchain the
# objects need.
relink_on_debian11() {
  local what=$1 script=$2 status=0
  in_root "cd /tmp && rm -f relinked relinked.exe && $script relinked" >"$work/relink.out" 2>"$work/relink.err" ||
    status=$?
  if [ "$status" -eq 0 ]; then
    in_root 'cd /tmp && ./relinked pack /usr/share/zor/launcher.exe /usr/share/zor/zorpack.exe relinked.exe &&
      ./relinked verify --launcher /usr/share/zor/launcher.exe relinked.exe' >"$work/relink.out" 2>&1 ||
      fail "$what: the relinked packer does not pack and verify: $(tail -n 5 "$work/relink.out")"
    echo "debian11_test: $what links a packer that packs on Debian 11" >&2
    return
  fi
  [ "$(wc -l <"$work/relink.err")" -eq 1 ] && grep -q '^relink.sh: .* need GCC [0-9]* and the GNU C Library [0-9.]* or later' "$work/relink.err" ||
    fail "$what: exit $status without the one line naming the toolchain: $(head -c 2000 "$work/relink.err")"
  echo "debian11_test: $what says: $(cat "$work/relink.err")" >&2
}
relink_on_debian11 "the package's relink.sh" /usr/lib/zor-firmware-update/relink/relink.sh
archives=("$(dirname "$deb")"/zor-firmware-update-*.tar.gz)
[ -f "${archives[0]}" ] || fail "no kit archive beside $deb"
rm -rf "$root/tmp/kit"
mkdir "$root/tmp/kit"
tar -xzf "${archives[0]}" -C "$root/tmp/kit" --strip-components=1
relink_on_debian11 "the kit's relink.sh" /tmp/kit/share/zor/relink/relink.sh
in_root 'dpkg -r zor-firmware-update' >>"$work/dpkg.log" 2>&1 || fail "dpkg -r failed"
echo "debian11_test: $(basename "$deb") installs on Debian 11, packs and verifies, and the example builds with CMake $oldest_cmake" >&2
