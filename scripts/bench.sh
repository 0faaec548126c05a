#!/usr/bin/env bash
# Measures what the launcher adds to its tool's start, in one Wine session,
# and writes a report with a chart.
#   scripts/bench.sh           payloads of 1, 16, 64 and 256 MiB, 7 pairs each;
#                              writes docs/benchmarks.md and docs/benchmarks.svg
#                              and exits non-zero when a goal is missed
#   scripts/bench.sh --large   the same with a 1 GiB payload added
#   scripts/bench.sh --smoke   tiny payloads, one pair, no goals judged; the
#                              report goes to the build tree (CI runs this)
# Further options: --pairs N; --no-build (use the build as it is, and leave
# its Wine session running: how CTest runs the smoke mode); --build-dir DIR.
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh
source scripts/lib/windows_path.sh
root=$(pwd)

mib=$((1024 * 1024))
sizes=(1 16 64 256)
pairs=7
smoke=0
build=1
build_dir="$root/build"

while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --large) sizes+=(1024) ;;
    --pairs) pairs="$2"; shift ;;
    --no-build) build=0 ;;
    --build-dir) build_dir=$(cd "$2" && pwd); shift ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ "$build" = 1 ]; then
  scripts/setup.sh
  zor_failure_hint="the compiler's messages are above"
  cmake --preset default >/dev/null
  cmake --build "$build_dir" --target bench_programs -- --quiet
fi
zor_failure_hint=""
for program in launcher sample_tool bench_driver bench_ideal bench_stand_in; do
  if [ ! -f "$build_dir/bin/$program.exe" ]; then
    echo "bench: $build_dir/bin/$program.exe is missing: build it (cmake --build --preset default --target bench_programs) or drop --no-build" >&2
    exit 1
  fi
done

bin="$build_dir/bin"
tool_size=$(stat -c %s "$bin/sample_tool.exe")
if [ "$smoke" = 1 ]; then
  pairs=1
  payloads=("$tool_size" $((tool_size + 65536)))
  out_dir="$build_dir/bench"
  judge=--no-goals
else
  payloads=()
  for s in "${sizes[@]}"; do payloads+=($((s * mib))); done
  out_dir="$root/docs"
  judge=
fi

work="$build_dir/bench-work"
rm -rf "$work"
mkdir -p "$work" "$out_dir"
cleanup() {
  rm -rf "$work"
  # A Wine session this script started ends with it; under CTest the
  # session belongs to the test run.
  if [ "$build" = 1 ]; then "$build_dir/wine-run.sh" --stop >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

echo "bench: payloads ${payloads[*]} bytes, $pairs pair(s) each" >&2
zor_failure_hint="the benchmark's own messages are above; under Wine, a hung run shows as a time-out"
"$build_dir/wine-run.sh" "$bin/bench_driver.exe" \
  "$(windows_path "$bin/launcher.exe")" "$(windows_path "$bin/sample_tool.exe")" \
  "$(windows_path "$bin/bench_ideal.exe")" "$(windows_path "$bin/bench_stand_in.exe")" \
  "$(windows_path "$work")" "$pairs" "${payloads[@]}" | tr -d '\r' >"$work/results.tsv"

zor_failure_hint=""
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(free -g | awk '/^Mem:/ {print $2 " GiB"}')
/usr/bin/python3 bench/report.py "$work/results.tsv" \
  --image "$bin/launcher.exe" --out-dir "$out_dir" $judge \
  --machine "${cpu:-unknown CPU}, $(nproc) cores, ${memory:-? GiB}, $(uname -sr)" \
  --wine "$(wine --version 2>/dev/null || echo unknown)" \
  --date "$(date -u +%Y-%m-%d)" --pairs "$pairs"
