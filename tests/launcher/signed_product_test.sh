#!/usr/bin/env bash
# Packs a sample tool behind the launcher, signs the packed file with a
# throwaway certificate and runs the signed file under Wine. The signature
# must verify; the payload must still be found in front of the certificate
# table, at the same place and with the same digest as before signing; and
# the launcher must run the tool with its arguments and return its exit code.
# With the native Linux packer given, it must pack the same inputs into the
# very same bytes as zorpack.exe, and its file is the one signed and run.
#   signed_product_test.sh BUILD_DIR [NATIVE_ZORPACK]
source "$(dirname "$0")/../../scripts/lib/failure.sh"
source "$(dirname "$0")/../../scripts/lib/windows_path.sh"

[ $# -eq 1 ] || [ $# -eq 2 ] || fail "usage: signed_product_test.sh BUILD_DIR [NATIVE_ZORPACK]"
build_dir=$(cd "$1" && pwd)
native_zorpack="${2:-}"
# The exit status by which CTest learns that a test was skipped.
skipped=77
bin="$build_dir/bin"
wine_run="$build_dir/wine-run.sh"
python=/usr/bin/python3
# Every Windows program runs under a time limit, so that a launcher stuck
# on an error box fails the test instead of hanging it.
wine_time_limit=90
tool_exit_code=7

for tool in openssl osslsigncode timeout "$python"; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

mkdir -p "$build_dir/test-work"
work=$(mktemp -d "$build_dir/test-work/signed_product.XXXXXX")
cache_folder=""
cleanup() {
  rm -rf "$work"
  if [ -n "$cache_folder" ]; then rm -rf "$cache_folder"; fi
}
trap cleanup EXIT

run_windows() {
  timeout --kill-after=10 "$wine_time_limit" "$wine_run" "$@"
}

# Runs zorpack; its report goes to $work/$1.out, its errors to $1.err.
zorpack() {
  local name="$1"
  shift
  run_windows "$bin/zorpack.exe" "$@" >"$work/$name.out" 2>"$work/$name.err"
}

# The value of "KEY: value" in a zorpack report.
report_value() {
  sed -n "s/^$2: //p" "$work/$1.out" | tr -d '\r'
}

# A payload of its own for every run (the tool with random bytes appended,
# which it ignores), so the launcher extracts it from the signed file
# instead of finding it in the cache from an earlier run. An odd number of
# them makes the packer pad, as signing needs.
payload="$work/tool.exe"
cat "$bin/sample_tool.exe" >"$payload"
head -c 61 /dev/urandom >>"$payload"
payload_digest=$(sha256sum "$payload" | cut -d' ' -f1)
# The run's own launcher too: a packer that wrote to an input would damage
# only this copy.
launcher="$work/launcher.exe"
cp "$bin/launcher.exe" "$launcher"

unsigned="$work/unsigned.exe"
signed="$work/Updater.exe"

zorpack pack pack "$(windows_path "$launcher")" "$(windows_path "$payload")" \
  "$(windows_path "$unsigned")" || fail "zorpack pack failed: $(cat "$work/pack.err")"

# The same inputs through the native packer: byte for byte the same file,
# and from here on the file that is signed and run.
native_missing=""
if [ -n "$native_zorpack" ] && [ -x "$native_zorpack" ]; then
  "$native_zorpack" pack "$launcher" "$payload" "$work/unsigned-native.exe" \
    >"$work/native.out" 2>"$work/native.err" || fail "native zorpack pack failed: $(cat "$work/native.err")"
  cmp -s "$unsigned" "$work/unsigned-native.exe" ||
    fail "the native and the Windows packer made different files from the same inputs"
  unsigned="$work/unsigned-native.exe"
elif [ -n "$native_zorpack" ]; then
  native_missing="$native_zorpack"
fi
unsigned_size=$(stat -c %s "$unsigned")
[ $((unsigned_size % 8)) -eq 0 ] || fail "the unsigned file is $unsigned_size bytes, not a multiple of 8"

zorpack inspect_unsigned inspect "$(windows_path "$unsigned")" ||
  fail "zorpack inspect failed on the unsigned file: $(cat "$work/inspect_unsigned.err")"
offset=$(report_value inspect_unsigned "payload offset")
size=$(report_value inspect_unsigned "payload size")
digest=$(report_value inspect_unsigned "payload sha256")
[ "$digest" = "$payload_digest" ] || fail "the trailer records $digest, the payload is $payload_digest"
[ "$size" = "$(stat -c %s "$payload")" ] || fail "the trailer records size $size"
[ "$(report_value inspect_unsigned "certificate table")" = "none" ] ||
  fail "the unsigned file claims a certificate table"

# Sign with a throwaway self-signed certificate.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Test -days 2 \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
  fail "openssl could not make a certificate: $(cat "$work/openssl.log")"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$unsigned" -out "$signed" \
  >"$work/sign.log" 2>&1 || fail "signing failed: $(cat "$work/sign.log")"
osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >"$work/verify.log" 2>&1 ||
  fail "the signature does not verify: $(cat "$work/verify.log")"
current=$(sed -n 's/^Current message digest *: *//p' "$work/verify.log" | tr -d ' ')
calculated=$(sed -n 's/^Calculated message digest *: *//p' "$work/verify.log" | tr -d ' ')
[ -n "$current" ] && [ "$current" = "$calculated" ] ||
  fail "signed digest '$current' differs from the file's '$calculated'"

# The trailer must end exactly where the certificate table starts, so the
# launcher finds the same payload in the signed file.
zorpack inspect_signed inspect "$(windows_path "$signed")" ||
  fail "zorpack inspect failed on the signed file: $(cat "$work/inspect_signed.err")"
for key in "payload offset" "payload size" "payload sha256"; do
  [ "$(report_value inspect_signed "$key")" = "$(report_value inspect_unsigned "$key")" ] ||
    fail "$key changed by signing: $(report_value inspect_signed "$key")"
done
table=$(report_value inspect_signed "certificate table")
table_offset=${table##* at offset }
[ "$table" != "none" ] && [ "$table_offset" = "$((offset + size + 48))" ] ||
  fail "no certificate table right after the trailer: '$table'"
[ "$(report_value inspect_signed "payload check")" = "matches" ] || fail "payload check failed"

# Signing changed nothing of the launcher image but the checksum and the
# security directory, so verify accepts the real signature's product; bytes
# after the signature are named.
zorpack verify_signed verify --launcher "$(windows_path "$launcher")" "$(windows_path "$signed")" ||
  fail "zorpack verify rejected the signed product: $(cat "$work/verify_signed.out" "$work/verify_signed.err")"
cp "$signed" "$work/appended.exe"
printf 'tail' >>"$work/appended.exe"
status=0
zorpack verify_appended verify --launcher "$(windows_path "$launcher")" \
  "$(windows_path "$work/appended.exe")" || status=$?
[ "$status" -eq 1 ] && grep -q "data_after_certificate_table at offset $(stat -c %s "$signed")" \
  "$work/verify_appended.err" || fail "verify did not name the bytes after the signature: $(cat "$work/verify_appended.err")"

# Run the signed product with arguments; the tool reports what it got and
# exits with the code it is told.
report="$work/report.bin"
arguments=(--device=COM3 "file with spaces.bin" 'C:\Firmware\image v2.bin')
status=0
ZOR_SAMPLE_REPORT=$(windows_path "$report") ZOR_SAMPLE_EXIT_CODE=$tool_exit_code \
  run_windows "$(windows_path "$signed")" "${arguments[@]}" >"$work/run.log" 2>&1 || status=$?
[ "$status" -eq "$tool_exit_code" ] || fail "the signed launcher exited with $status, not $tool_exit_code"
[ -s "$report" ] || fail "the tool wrote no report"

"$python" - "$report" "${arguments[@]}" <<'PYTHON' || fail "the tool did not get the arguments"
import sys

report_path, expected = sys.argv[1], sys.argv[2:]
fields = open(report_path, "rb").read().decode("utf-16-le").split("\0")
# "platform-args", count, program, arguments...
if fields[0] != "platform-args":
    sys.exit(f"unexpected report start {fields[0]!r}")
count = int(fields[1])
received = fields[3:2 + count]
if received != expected:
    sys.exit(f"received {received!r}, expected {expected!r}")
PYTHON

# The copy the launcher ran is the payload, byte for byte.
cache_folder=$(find "$build_dir/wine/prefix/drive_c/users" -type d -path "*/Payloads/$payload_digest" \
  2>/dev/null | head -n 1)
[ -n "$cache_folder" ] || fail "no cache folder for digest $payload_digest"
cmp -s "$cache_folder/Updater.exe" "$payload" || fail "the cached copy differs from the payload"

echo "signed product: payload at $offset, $size bytes, certificate table at $table_offset; tool exit $status"
if [ -n "$native_missing" ]; then
  echo "signed_product_test: no native packer at $native_missing (cmake --preset host &&" \
    "cmake --build --preset host); the cross-check was skipped" >&2
  exit "$skipped"
fi
