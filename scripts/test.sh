#!/usr/bin/env bash
# Builds everything and runs every test: unit tests and end-to-end tests of
# the launcher under Wine (in a private prefix and Xvfb display inside
# build/), the host-side checks of the launcher image, and the native Linux
# packer (build-host/, host compiler) with its tests run natively, the same
# again built by clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-host-asan/, with every fuzz target's kept inputs replayed once), and
# a short run of every fuzz target (build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default
cmake --build --preset default
# The native packer; its tests pack the launcher and sample tool just built,
# and the Windows build's signed-product test cross-checks it.
cmake --preset host
cmake --build --preset host
cmake --preset host-asan
cmake --build --preset host-asan

# The tests start the prefix's server and display on first use; whatever
# happens, stop them so that nothing outlives this script.
trap 'build/wine-run.sh --stop >/dev/null 2>&1 || true' EXIT
# One test per core, and never fewer than two: most of a test's time is
# spent waiting for Wine, not computing.
jobs=$(nproc)
if [ "$jobs" -lt 2 ]; then jobs=2; fi
ctest --preset default --parallel "$jobs"
ctest --preset host --parallel "$jobs"
ctest --preset host-asan --parallel "$jobs"

# Every fuzz target for a short while, on a scratch copy of the corpora, so
# that a test run leaves the tree as it was; an input that fails lands in
# tests/fuzz/TARGET/regressions/ and this script fails.
scratch=build-fuzz/scratch-corpus
rm -rf "$scratch"
mkdir -p build-fuzz
cp -r tests/fuzz "$scratch"
scripts/fuzz.sh "${ZOR_FUZZ_SECONDS:-30}" --corpus-root "$scratch"
