#!/usr/bin/env bash
# The release flow end to end, as a release pipeline on Linux runs it:
# builds only what it needs (the launcher and the sample tool with the cross
# compiler, the native zorpack with the host compiler), packs the sample
# tool behind the launcher with the native packer, signs the product with a
# throwaway certificate, verifies and inspects it, and runs the signed
# product twice under Wine (the first run extracts the tool into the cache,
# the second reuses it) with arguments containing spaces and quotes, showing
# what the tool received and that its exit code comes through.
cd "$(dirname "$0")/.."
source scripts/lib/failure.sh
source scripts/lib/windows_path.sh
root=$(pwd)

build="$root/build"
demo="$build/demo"
log="$demo/build.log"
wine_run="$build/wine-run.sh"
zorpack="$root/build-host/bin/zorpack"
unsigned="$demo/Updater-unsigned.exe"
product="$demo/Updater.exe"
report="$demo/report.bin"
python=/usr/bin/python3
tool_exit_code=3
# A launcher that shows an error box waits for a click nobody can give in
# the hidden display: the time limit ends the demo instead.
wine_time_limit=120

mkdir -p "$demo"
: >"$log"
# Build noise goes to the log, shown only when something fails.
quietly() {
  "$@" >>"$log" 2>&1 || {
    cat "$log" >&2
    echo "demo: failed: $* (its output is above and in build/demo/build.log)" >&2
    exit 1
  }
}

echo "== Building the launcher, the sample tool and the native zorpack (log: build/demo/build.log)"
quietly scripts/setup.sh
quietly cmake --preset default
quietly cmake --build --preset default --target launcher sample_tool
quietly cmake --preset host
quietly cmake --build --preset host --target zorpack

# Whatever happens, stop the prefix's server and display, so that nothing
# outlives the demo and the script returns at once.
trap '"$wine_run" --stop >/dev/null 2>&1 || true' EXIT

rm -f "$unsigned" "$product" "$report"
zor_failure_hint="run the failing command by hand to see its whole output"
echo
echo "== $("$zorpack" --version)"
echo "== Packing build/bin/sample_tool.exe behind the launcher"
"$zorpack" pack "$build/bin/launcher.exe" "$build/bin/sample_tool.exe" "$unsigned"

echo
echo "== Signing with a throwaway certificate (a release adds a time stamp: -ts URL)"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=ZOR demo" -days 2 \
  -keyout "$demo/key.pem" -out "$demo/cert.pem" >/dev/null 2>&1
osslsigncode sign -certs "$demo/cert.pem" -key "$demo/key.pem" -n "Firmware Update" \
  -in "$unsigned" -out "$product" >/dev/null
osslsigncode verify -CAfile "$demo/cert.pem" -in "$product" | grep -E 'message digest|Signature verification'
echo
echo "== zorpack inspect build/demo/Updater.exe"
"$zorpack" inspect "$product"
digest=$("$zorpack" inspect --json "$product" | sed -n 's/.*"payload_sha256": "\([0-9a-f]*\)".*/\1/p')
if [ -z "$digest" ]; then
  echo "demo: zorpack inspect --json named no payload digest" >&2
  exit 1
fi

# The cache the launcher keeps inside the prefix: start from none, so that
# the first run has to extract.
cache_root="$build/wine/prefix/drive_c/users"
# Before the prefix's first boot there is no such folder, and no copy.
cached_copy() {
  [ -d "$cache_root" ] || return 0
  find "$cache_root" -path "*/ZOR/FirmwareUpdate/Payloads/$digest/Updater.exe" 2>/dev/null | head -n 1
}
if [ -d "$cache_root" ]; then
  find "$cache_root" -type d -path "*/Payloads/$digest" -prune -exec rm -rf {} + 2>/dev/null || true
fi

arguments=(--device "COM3" --image 'C:\Firmware Files\fw 2.1.bin' --label 'say "hi"')
echo
echo "== Running build/demo/Updater.exe twice, each time with:"
printf '   <%s>\n' "${arguments[@]}"
for run in 1 2; do
  echo
  before=$(cached_copy)
  if [ -n "$before" ]; then
    stamp=$(stat -c "%i %y" "$before")
    echo "== Run $run: the cached tool exists already, so the launcher should reuse it"
  else
    echo "== Run $run: no cached tool yet, so the launcher extracts it"
  fi
  rm -f "$report"
  zor_failure_hint="run the product by hand as the README's recipe shows"
  status=0
  ZOR_SAMPLE_REPORT="$(windows_path "$report")" ZOR_SAMPLE_EXIT_CODE=$tool_exit_code \
    timeout --kill-after=10 "$wine_time_limit" "$wine_run" "$product" "${arguments[@]}" || status=$?
  after=$(cached_copy)
  if [ -z "$after" ]; then
    echo "   no cached copy after the run" >&2
  elif [ -z "$before" ]; then
    echo "   extracted: ${after#"$root"/}"
  elif [ "$(stat -c "%i %y" "$after")" = "$stamp" ]; then
    echo "   reused, not rewritten: ${after#"$root"/}"
  else
    echo "   the cached copy was rewritten" >&2
  fi
  if [ ! -s "$report" ]; then
    echo "demo: the tool wrote no report: it did not run (exit status $status; 124 means the launcher waited on an error box)." >&2
    exit 1
  fi
  # The report is UTF-16 fields, each ended by a zero unit: an argument
  # vector is its name, its count and its arguments; a single value is its
  # name and the value.
  "$python" - "$report" <<'PYTHON'
import sys

fields = open(sys.argv[1], "rb").read().decode("utf-16-le").split("\0")[:-1]
assert fields[0] == "platform-args", fields[0]
count = int(fields[1])
at = 2 + count
assert fields[at] == "crt-args", fields[at]
at += 2 + int(fields[at + 1])
values = dict(zip(fields[at::2], fields[at + 1 :: 2]))
print("   the tool ran in:  " + values.get("directory", "?"))
print("   and received (as CommandLineToArgvW splits its command line):")
for index, argument in enumerate(fields[3 : 2 + count], start=1):
    print("     [%d] <%s>" % (index, argument))
PYTHON
  echo "   the launcher's exit status: $status (the tool exited with $tool_exit_code)"
done
echo
if [ "$status" -ne "$tool_exit_code" ]; then
  echo "demo: the launcher exited with $status, not the tool's $tool_exit_code" >&2
  exit 1
fi
echo "== Done: packed natively, signed, verified, extracted once, reused once, exit code passed through."
