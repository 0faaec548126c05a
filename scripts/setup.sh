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
  # The packer's shared-folder tests: ACLs on outputs, an append-only
  # folder.
  acl
  e2fsprogs
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
  man-db
  lintian
  qemu-user-static
  # Signing the release's sums, and checking the signature.
  gnupg
  gpgv
  # A Debian 11 root, to try the package where it is oldest.
  debootstrap
  # zorpack sbom reads a payload's own SBOM with nlohmann/json (header only).
  nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# The SBOM tests' schema check runs on Node.js; a node that brings its own
# npm (as some distributions of it do) serves as well as Debian's.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi

# Test-only: the CycloneDX project's JavaScript library, whose strict
# validator and schema files check every SBOM the tests make, from the npm
# registry into a git-ignored folder.
cyclonedx_dir=build-cyclonedx
cyclonedx_packages=(@cyclonedx/cyclonedx-library@10.3.0 ajv@8 ajv-formats@3 ajv-formats-draft2019@1)
install_cyclonedx() {
  if [ -f "$cyclonedx_dir/node_modules/@cyclonedx/cyclonedx-library/package.json" ]; then
    return 0
  fi
  mkdir -p "$cyclonedx_dir"
  local log
  log=$(mktemp)
  if ! npm install --prefix "$cyclonedx_dir" --no-audit --no-fund \
      "${cyclonedx_packages[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "setup: npm install of the CycloneDX library failed (its output is above): is the npm registry reachable?" >&2
    exit 1
  fi
  rm -f "$log"
}

# Test-only too: cdxgen, whose cdx-validate runs the EU CRA benchmark over
# the SBOMs the tests make and whose cdx-verify checks zorpack's
# signatures; in a folder of its own beside the library (its dependencies
# are not the library's), installed once.
cdxgen_dir=$cyclonedx_dir/cdxgen
cdxgen_package=@cyclonedx/cdxgen@12.8.4
install_cdxgen() {
  if [ -x "$cdxgen_dir/node_modules/.bin/cdx-verify" ]; then
    return 0
  fi
  mkdir -p "$cdxgen_dir"
  local log
  log=$(mktemp)
  if ! npm install --prefix "$cdxgen_dir" --no-audit --no-fund "$cdxgen_package" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "setup: npm install of $cdxgen_package failed (its output is above): is the npm registry reachable?" >&2
    exit 1
  fi
  rm -f "$log"
}

if [ ${#missing[@]} -eq 0 ]; then
  install_cyclonedx
  install_cdxgen
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
install_cyclonedx
install_cdxgen
