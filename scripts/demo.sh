#!/usr/bin/env bash
# The demo: builds everything, packs the sample tool behind the launcher as
# build/demo/Updater.exe, runs that under Wine with a few arguments of the
# kind a real firmware tool gets (one with spaces, one with quotes), and
# shows what the tool received and the launcher's exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake --preset default
cmake --build --preset default

build="$root/build"
wine_run="$build/wine-run.sh"
demo="$build/demo"
product="$demo/Updater.exe"
report="$demo/report.bin"
python=/usr/bin/python3
# A launcher that shows an error box waits for a click nobody can give in
# the hidden display: the time limit ends the demo instead.
wine_time_limit=120

# Whatever happens, stop the prefix's server and display, so that nothing
# outlives the demo and the script returns at once.
trap '"$wine_run" --stop >/dev/null 2>&1 || true' EXIT

# Z:\... is how Windows programs under Wine see a host path.
windows_path() {
  local path="$1"
  printf 'Z:%s' "${path//\//\\}"
}

run_windows() {
  timeout --kill-after=10 "$wine_time_limit" "$wine_run" "$@"
}

mkdir -p "$demo"
rm -f "$product" "$report"

echo
echo "== Packing build/bin/sample_tool.exe behind the launcher"
run_windows "$build/bin/zorpack.exe" pack "$(windows_path "$build/bin/launcher.exe")" \
  "$(windows_path "$build/bin/sample_tool.exe")" "$(windows_path "$product")" | tr -d '\r'

arguments=(--device "COM3" --image 'C:\Firmware Files\fw 2.1.bin' --label 'say "hi"')
echo
echo "== Running build/demo/Updater.exe with:"
printf '   <%s>\n' "${arguments[@]}"
status=0
ZOR_SAMPLE_REPORT="$(windows_path "$report")" ZOR_SAMPLE_EXIT_CODE=0 \
  run_windows "$product" "${arguments[@]}" || status=$?

echo
if [ ! -s "$report" ]; then
  echo "The tool wrote no report: it did not run (exit status $status)." >&2
  exit 1
fi
echo "== What the tool received"
# The report is UTF-16 fields, each ended by a zero unit: an argument vector
# is its name, its count and its arguments; a single value is its name and
# the value.
"$python" - "$report" <<'EOF'
import sys

fields = open(sys.argv[1], "rb").read().decode("utf-16-le").split("\0")[:-1]
at = 0


def take_vector(name):
    global at
    assert fields[at] == name, fields[at]
    count = int(fields[at + 1])
    values = fields[at + 2 : at + 2 + count]
    at += 2 + count
    return values


def take_value(name):
    global at
    assert fields[at] == name, fields[at]
    at += 2
    return fields[at - 1]


platform = take_vector("platform-args")
crt = take_vector("crt-args")
command_line = take_value("command-line")
module = take_value("module")
directory = take_value("directory")

print("   command line:      " + command_line)
print("   program:           " + module)
print("   working directory: " + directory)
print("   arguments (as CommandLineToArgvW splits them):")
for index, argument in enumerate(platform):
    print("     [%d] <%s>" % (index, argument))
same = "the same" if crt == platform else "DIFFERENT: %r" % crt
print("   the C runtime's split: " + same)
EOF
echo
echo "== The launcher's exit status: $status"
exit "$status"
