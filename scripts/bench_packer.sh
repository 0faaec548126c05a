#!/usr/bin/env bash
# Measures what `zorpack pack` costs against the floor it cannot go below, one
# SHA-256 pass over the payload (`openssl dgst -sha256`), and what `zorpack
# sbom` of that product costs against one SHA-512 pass over the product
# (`openssl dgst -sha512`), with the native packer, and writes the packer's
# section of the benchmark report.
#   scripts/bench_packer.sh          payloads of 64 and 512 MiB, 5 pairs each,
#                                    and a payload SBOM of 16 MiB merged;
#                                    writes the packer's section of
#                                    docs/benchmarks.md and exits non-zero when
#                                    a goal is missed
#   scripts/bench_packer.sh --smoke  a 1 MiB payload and payload SBOM, one
#                                    pair, no goals judged;
#                                    the report goes to the build tree (CTest
#                                    runs this)
# Further options: --pairs N; --no-build (use the builds as they are);
# --build-dir DIR (the host build, default build-host); --windows-bin-dir DIR
# (where the launcher image is, default build/bin).
# Both subjects of a pair run in one hyperfine call, their order swapped from
# pair to pair; the figures are medians. Other work on the machine shows in
# the ratio: the report gives the load average of the run.
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh
root=$(pwd)

mib=$((1024 * 1024))
sizes=(64 512)
pairs=5
smoke=0
build=1
build_dir="$root/build-host"
windows_bin_dir="$root/build/bin"

while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) smoke=1 ;;
    --pairs) pairs="$2"; shift ;;
    --no-build) build=0 ;;
    --build-dir) build_dir=$(cd "$2" && pwd); shift ;;
    --windows-bin-dir) windows_bin_dir=$(cd "$2" && pwd); shift ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench_packer: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ "$build" = 1 ]; then
  scripts/setup.sh
  zor_failure_hint="the compiler's messages are above"
  # The launcher image that zorpack packs comes from the Windows build.
  cmake --preset default >/dev/null
  cmake --build "$root/build" --target launcher sample_tool -- --quiet
  cmake --preset host >/dev/null
  cmake --build "$build_dir" --target zorpack -- --quiet
fi
zor_failure_hint=""
zorpack="$build_dir/bin/zorpack"
for file in "$zorpack" "$windows_bin_dir/launcher.exe" "$windows_bin_dir/sample_tool.exe"; do
  if [ ! -f "$file" ]; then
    echo "bench_packer: $file is missing: build it (cmake --build --preset host, and --preset default for the launcher) or drop --no-build" >&2
    exit 1
  fi
done
for program in hyperfine openssl /usr/bin/time; do
  if ! command -v "$program" >/dev/null; then
    echo "bench_packer: $program is missing: scripts/setup.sh installs it" >&2
    exit 1
  fi
done

# The payload SBOM's size, at the limit zorpack takes (16 MiB).
sbom_mib=16
if [ "$smoke" = 1 ]; then
  sbom_mib=1
  sizes=(1)
  pairs=1
  report="$build_dir/bench-packer/benchmarks.md"
  judge=--no-goals
else
  report="$root/docs/benchmarks.md"
  judge=
fi

# On the disk the build is on, not in memory: the product is flushed to its
# file system as in real use.
work="$build_dir/bench-packer-work"
rm -rf "$work"
mkdir -p "$work" "$(dirname "$report")"
trap 'rm -rf "$work"' EXIT

launcher="$windows_bin_dir/launcher.exe"
tool="$windows_bin_dir/sample_tool.exe"
tool_size=$(stat -c %s "$tool")
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
echo "bench_packer: payloads of ${sizes[*]} MiB, $pairs pair(s) each; load average $load_before" >&2
# measure PREFIX FLOOR ZORPACK [MIB]: the two commands (shell words, as hyperfine
# splits them) once untimed, so that their input is in the page cache, then
# in pairs, and the peak memory of ZORPACK; the files start with PREFIX and
# name MIB (the payload's size unless given).
measure() {
  local prefix=$1 floor=$2 ours=$3 size=${4:-$size} pair order
  bash -c "$floor" >/dev/null
  bash -c "$ours" >/dev/null
  for ((pair = 1; pair <= pairs; pair++)); do
    if ((pair % 2 == 1)); then order=("$floor" "$ours"); else order=("$ours" "$floor"); fi
    zor_failure_hint="hyperfine's messages are above"
    hyperfine -N --runs 1 --style none --export-json "$work/${prefix}pair-$size-$pair.json" \
      "${order[@]}" >/dev/null
  done
  zor_failure_hint=""
  /usr/bin/time -f '%M' -o "$work/${prefix}memory-$size.txt" bash -c "exec $ours" >/dev/null
}

for size in "${sizes[@]}"; do
  # A Windows program (the sample tool) with random bytes after it: nothing
  # for the file system or the page cache to shortcut.
  payload="$work/payload-$size"
  product="$work/product.exe"
  { cat "$tool"; head -c $((size * mib - tool_size)) /dev/urandom; } >"$payload"
  measure "" "$(printf '%q ' openssl dgst -sha256 "$payload")" \
    "$(printf '%q ' "$zorpack" pack "$launcher" "$payload" "$product")"
  # The SBOM of the product just packed against its floor, one SHA-512
  # pass over the product.
  measure sbom- "$(printf '%q ' openssl dgst -sha512 "$product")" \
    "$(printf '%q ' "$zorpack" sbom --launcher "$launcher" "$product" "$work/product.cdx.json")"
  rm -f "$payload" "$product" "$work/product.cdx.json"
done

# A payload SBOM at the size limit, as a large tool's might be: components
# with versions, purls and licences, each depending on the next; the SBOM
# of a product with it against the SBOM of the same product without it.
product="$work/product.exe"
payload_sbom="$work/payload.cdx.json"
"$zorpack" pack "$launcher" "$tool" "$product" >/dev/null
/usr/bin/python3 - "$payload_sbom" $((sbom_mib * mib)) <<'PYTHON'
import json, sys
path, limit = sys.argv[1], int(sys.argv[2])
def component(i):
    return {"type": "library", "bom-ref": f"pkg:generic/lib{i}@1.{i}", "name": f"lib{i}",
            "version": f"1.{i}", "purl": f"pkg:generic/lib{i}@1.{i}",
            "licenses": [{"license": {"id": "MIT"}}]}
def dependency(i, n):
    return {"ref": f"pkg:generic/lib{i}@1.{i}",
            "dependsOn": [f"pkg:generic/lib{i + 1}@1.{i + 1}"] if i + 1 < n else []}
# About 290 bytes a component and its dependency: fill up to the limit.
n = limit // 290
while True:
    text = json.dumps({"bomFormat": "CycloneDX", "specVersion": "1.6",
                       "metadata": {"component": {"type": "application", "bom-ref": "tool",
                                                  "name": "tool"}},
                       "components": [component(i) for i in range(n)],
                       "dependencies": [{"ref": "tool", "dependsOn": ["pkg:generic/lib0@1.0"]}]
                                       + [dependency(i, n) for i in range(n)]})
    if len(text) <= limit:
        break
    n -= max(1, (len(text) - limit) // 250)
open(path, "w").write(text)
PYTHON
measure merge- "$(printf '%q ' "$zorpack" sbom --launcher "$launcher" "$product" "$work/product.cdx.json")" \
  "$(printf '%q ' "$zorpack" sbom --launcher "$launcher" --payload-sbom "$payload_sbom" "$product" "$work/product.cdx.json")" \
  "$sbom_mib"
rm -f "$product" "$payload_sbom" "$work/product.cdx.json"
load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(free -g | awk '/^Mem:/ {print $2 " GiB"}')
/usr/bin/python3 bench/packer_report.py "$work" --report "$report" $judge \
  --machine "${cpu:-unknown CPU}, $(nproc) cores, ${memory:-? GiB}, $(uname -sr)" \
  --openssl "$(openssl version)" --load "$load_before, then $load_after" \
  --date "$(date -u +%Y-%m-%d)" --pairs "$pairs"
