#!/usr/bin/env bash
# Installs, from Debian's archive only, whatever the build and the tests need
# and is not there yet. Fast when everything is present.
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh

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
  # The packer's benchmark: paired timing runs and peak memory.
  hyperfine
  time
  # The arm64 Linux packer: cross compiler, libcrypto and C++ runtime for
  # arm64 (multiarch), and qemu-user to run its tests.
  g++-aarch64-linux-gnu
  libssl-dev:arm64
  libstdc++6:arm64
  qemu-user
  # The release flow: the man page of the packer, the Debian packages'
  # check, and a static qemu-aarch64 to run the static arm64 packer inside
  # an empty root.
  help2man
  lintian
  qemu-user-static
  # zorpack sbom reads a payload's own SBOM with nlohmann/json (header only).
  nlohmann-json3-dev
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

for arch in i386 arm64; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
  fi
done
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another apt run on the machine holds the lock for a while; wait for it.
apt_wait=(-o DPkg::Lock::Timeout=300)
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
# apt's chatter is kept out of sight unless it fails.
apt_quietly() {
  if ! $SUDO apt-get "${apt_wait[@]}" "$@" >"$apt_log" 2>&1; then
    cat "$apt_log" >&2
    echo "setup: apt-get $1 failed (its output is above): are Debian's package archive and the i386 architecture reachable?" >&2
    exit 1
  fi
}
apt_quietly update -qq
apt_quietly install -y -qq --no-install-recommends "${missing[@]}"
