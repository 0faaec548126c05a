#!/usr/bin/env bash
# Installs, from Debian's archive only, whatever the build and the tests need
# and is not there yet. Fast when everything is present.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix
  binutils-mingw-w64-i686
  cmake
  ninja-build
  wine
  wine32:i386
  xvfb
  xauth
  osslsigncode
  openssl
  googletest
  g++
  libssl-dev
  clang-14
  libclang-rt-14-dev
  libfuzzer-14-dev
  python3
  python3-pefile
  python3-matplotlib
  git
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another apt run on the machine holds the lock for a while; wait for it.
apt_wait=(-o DPkg::Lock::Timeout=300)
$SUDO apt-get "${apt_wait[@]}" update -qq
$SUDO apt-get "${apt_wait[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
