#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target in turn.
#   scripts/fuzz.sh [SECONDS]        each target for SECONDS (default 60),
#                                    starting from tests/fuzz/TARGET/corpus and
#                                    merging the inputs that add coverage into it
# Options:
#   --corpus-root DIR   take and merge the corpora in DIR/TARGET/corpus instead
#                       (scripts/test.sh gives a scratch copy, so that the tree
#                       stays clean)
#   --target NAME       run only NAME (locator, launcher_checks, inspect, verify,
#                       quoting, payload_sbom); repeatable
#   --no-build          use build-fuzz as it is
# A target that fails leaves its input in tests/fuzz/TARGET/regressions/,
# which CTest replays once committed (fuzz_replay_TARGET); the script then
# exits non-zero after the other targets have run.
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh
root=$(pwd)

seconds=60
corpus_root="$root/tests/fuzz"
targets=()
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --corpus-root) corpus_root=$(cd "$2" && pwd); shift ;;
    --target) targets+=("$2"); shift ;;
    --no-build) build=0 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    [0-9]*) seconds="$1" ;;
    *) echo "fuzz: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
if [ ${#targets[@]} -eq 0 ]; then targets=(locator launcher_checks inspect verify quoting payload_sbom); fi

# Input limits: the file targets' largest seed is a packed product of about
# 29 KiB (verify's products carry the 23 KiB launcher image, whole or packed
# from a few bytes); for quoting, 1024 units are longer than any argument
# needs to be to show a rule, and keep an execution cheap (the splitter and the
# conversions cost more than the quoting); for payload_sbom, 8 KiB holds a
# tool's SBOM with a few dozen components, nesting past the depth limit and
# room to grow.
declare -A max_len=([locator]=4096 [launcher_checks]=32768 [inspect]=32768 [verify]=32768
                    [quoting]=2048 [payload_sbom]=8192)
declare -A dictionary=([locator]=pe.dict [launcher_checks]=pe.dict [inspect]=pe.dict
                       [verify]=pe.dict [quoting]=quoting.dict [payload_sbom]=cyclonedx.dict)

if [ "$build" = 1 ]; then
  zor_failure_hint="the compiler's messages are above; build-fuzz/CMakeFiles holds the configure logs"
  scripts/setup.sh
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -- --quiet
  # verify's target compares products with the Windows build's launcher image.
  if [[ " ${targets[*]} " == *" verify "* ]]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target launcher -- --quiet
  fi
fi

work="$root/build-fuzz/fuzz-work"
summary="$work/summary.$$"
mkdir -p "$work"
printf '%-16s %8s %12s %9s %6s %7s\n' target seconds executions exec/s edges corpus >"$summary"
failed=()
for target in "${targets[@]}"; do
  if [ -z "${max_len[$target]:-}" ]; then
    echo "fuzz: no target $target" >&2
    exit 2
  fi
  fuzzer="$root/build-fuzz/bin/${target}_fuzzer"
  corpus="$corpus_root/$target/corpus"
  mkdir -p "$corpus"
  rm -rf "$work/$target"
  mkdir -p "$work/$target/new" "$work/$target/artifacts"
  options=(-max_len="${max_len[$target]}" -timeout=10 -rss_limit_mb=2048
           -dict="$root/tests/fuzz/${dictionary[$target]}"
           -artifact_prefix="$work/$target/artifacts/")
  log="$work/$target/log"
  echo "fuzz: $target for $seconds s (log: ${log#"$root"/})" >&2
  status=0
  "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$work/$target/new" "$corpus" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    tail -n 40 "$log" >&2
    mkdir -p "$root/tests/fuzz/$target/regressions"
    for artifact in "$work/$target/artifacts"/*; do
      [ -e "$artifact" ] || continue
      cp "$artifact" "$root/tests/fuzz/$target/regressions/"
      echo "fuzz: $target failed on tests/fuzz/$target/regressions/$(basename "$artifact");" \
        "fix the product and commit the input" >&2
    done
    continue
  fi
  # Only the inputs that add coverage join the corpus.
  zor_failure_hint="the merge's output is in ${log#"$root"/}"
  "$fuzzer" "${options[@]}" -merge=1 "$corpus" "$work/$target/new" >>"$log" 2>&1
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  edges=$(sed -n 's/.*DONE *cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  files=$(find "$corpus" -type f | wc -l)
  printf '%-16s %8s %12s %9s %6s %7s\n' "$target" "$seconds" "${executions:-?}" \
    "${per_second:-?}" "${edges:-?}" "$files" >>"$summary"
done
cat "$summary"
rm -f "$summary"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
