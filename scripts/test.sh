#!/usr/bin/env bash
# Builds everything and runs every test: unit tests and end-to-end tests of
# the launcher under Wine (in a private prefix and Xvfb display inside
# build/), the host-side checks of the launcher image, and the native Linux
# packer (build-host/, host compiler) with its tests run natively, the same
# again built by clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-host-asan/, with every fuzz target's kept inputs replayed once), a
# short run of every fuzz target (build-fuzz/), the arm64 packer
# (build-arm64/, Debian's cross compiler) with its tests under qemu-user, and
# the release twice from fresh clones, one in a path with a space and a
# non-ASCII letter, compared byte for byte (build-repro/), and its amd64
# package on Debian 11 (build-debian11/).
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh

scripts/setup.sh
zor_failure_hint="the compiler's messages are above; build/CMakeFiles/CMakeOutput.log and CMakeError.log hold the configure checks"
cmake --preset default
cmake --build --preset default
# The native packer; its tests pack the launcher and sample tool just built,
# and the Windows build's signed-product test cross-checks it.
zor_failure_hint="the compiler's messages are above; build-host/CMakeFiles holds the configure logs"
cmake --preset host
cmake --build --preset host
zor_failure_hint="the compiler's messages are above; build-host-asan/CMakeFiles holds the configure logs"
cmake --preset host-asan
cmake --build --preset host-asan
# setup.sh installs the arm64 cross tools; a machine set up by hand without
# them still tests everything else.
arm64=0
if command -v aarch64-linux-gnu-g++ >/dev/null && command -v qemu-aarch64 >/dev/null &&
  [ -e /usr/lib/aarch64-linux-gnu/libcrypto.so ]; then
  arm64=1
  zor_failure_hint="the compiler's messages are above; build-arm64/CMakeFiles holds the configure logs"
  cmake --preset arm64
  cmake --build --preset arm64
else
  echo "test: no arm64 cross compiler, libcrypto or qemu-aarch64; the arm64 packer is not tested" >&2
fi

# The tests start the prefix's server and display on first use; whatever
# happens, stop them so that nothing outlives this script.
trap 'build/wine-run.sh --stop >/dev/null 2>&1 || true' EXIT
# One test per core, and never fewer than two: most of a test's time is
# spent waiting for Wine, not computing.
jobs=$(nproc)
if [ "$jobs" -lt 2 ]; then jobs=2; fi
zor_failure_hint="the failing tests' output is above, every test's in build/Testing/Temporary/LastTest.log"
ctest --preset default --parallel "$jobs"
zor_failure_hint="the failing tests' output is above, every test's in build-host/Testing/Temporary/LastTest.log"
ctest --preset host --parallel "$jobs"
zor_failure_hint="the failing tests' output is above, every test's in build-host-asan/Testing/Temporary/LastTest.log"
ctest --preset host-asan --parallel "$jobs"
zor_failure_hint="the failing tests' output is above, every test's in build-arm64/Testing/Temporary/LastTest.log"
if [ "$arm64" -eq 1 ]; then ctest --preset arm64 --parallel "$jobs"; fi

# The CMake package as a product team uses it: the kit installed into a
# scratch prefix from the builds above, and examples/product built against it.
zor_failure_hint="build-example/ holds the example's configure and build logs"
rm -rf build-example
for component in launcher packer cmake_package; do
  cmake --install build --prefix build-example/kit --component "$component" >/dev/null
done
cmake --install build-host --prefix build-example/kit --component packer >/dev/null
tests/release/example_product_test.sh build-example/kit build-example

# Every fuzz target for a short while, on a scratch copy of the corpora, so
# that a test run leaves the tree as it was; an input that fails lands in
# tests/fuzz/TARGET/regressions/ and this script fails.
zor_failure_hint="the fuzzer's report is above; scripts/fuzz.sh --help tells how to replay an input"
scratch=build-fuzz/scratch-corpus
rm -rf "$scratch"
mkdir -p build-fuzz
cp -r tests/fuzz "$scratch"
scripts/fuzz.sh "${ZOR_FUZZ_SECONDS:-30}" --corpus-root "$scratch"

# The release as a release engineer runs it, from clones of the current
# commit; release.sh tests the kit it makes (its packers, packages, the
# documents' recipes) before it writes anything.
zor_failure_hint="build-repro/ holds each clone's release log"
scripts/check_release_reproducible.sh

# The amd64 package on Debian 11, with its CMake 3.18: the oldest system and
# CMake the kit is made for. debootstrap and chroot need root.
if [ "$(id -u)" -eq 0 ]; then
  zor_failure_hint="build-debian11/ holds the Debian 11 root and the logs"
  debs=(build-repro/a/dist/*_amd64.deb)
  tests/release/debian11_test.sh "${debs[0]}" build-debian11
else
  echo "test: not root, so the package is not tried on Debian 11" >&2
fi
