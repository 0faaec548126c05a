#!/usr/bin/env bash
# The kit's relink.sh with a stand-in compiler that records what it is
# asked to link: it links the objects of RELINK_ARCH, refuses a toolchain
# older than the objects' in one line, and, in a sticky folder that another
# user (uid 65534) writes to, replaces that user's file or dangling link at
# OUTPUT instead of writing through it; a failed link leaves OUTPUT as it
# was and nothing behind. (tests/release/relink_test.sh links for real.)
#   relink_script_test.sh SOURCE_DIR
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
relink="$work/relink/relink.sh"
mkdir -p "$work/relink"
cp "$1/tools/zorpack/relink.sh" "$relink"
for arch in x86_64 aarch64; do
  mkdir "$work/relink/$arch"
  touch "$work/relink/$arch/$arch-object.o" "$work/relink/$arch/libzor_$arch.a"
  echo "12 2 36" >"$work/relink/$arch/toolchain"
done
cat >"$work/cxx" <<'EOF'
#!/bin/sh
case " $* " in *" -E "*) echo "${FAKE_TOOLCHAIN-12 2 36}"; exit 0 ;; esac
out=""
prev=""
for arg in "$@"; do
  [ "$prev" = -o ] && out=$arg
  prev=$arg
done
printf '%s\n' "$@" >"$FAKE_LOG"
[ -z "${FAKE_FAIL:-}" ] || exit 1
echo relinked >"$out"
EOF
chmod +x "$work/cxx"
shared="$work/shared"
mkdir -m 1777 "$shared"
mkdir -m 700 "$work/private"
failures=0
bad() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run NAME SETUP EXPECTED_STATUS CHECK [VAR=VALUE...]: SETUP and CHECK are
# shell text run in the shared folder, around relink.sh OUTPUT=out.
run() {
  local name=$1 setup=$2 expected=$3 check=$4 status
  shift 4
  rm -rf "${shared:?}"/* "$shared"/.relink.* "$work/private"/*
  (cd "$shared" && eval "$setup")
  (cd "$shared" && env CXX="$work/cxx" FAKE_LOG="$work/log" "$@" "$relink" out) >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -eq "$expected" ] || bad "$name: exit status $status, not $expected: $(cat "$work/err")"
  (cd "$shared" && eval "$check") || bad "$name: $check does not hold; stderr: $(cat "$work/err")"
  [ -z "$(find "$shared" -name '.relink.*')" ] || bad "$name: a private folder is left behind"
}

arch=$(uname -m)
run "the machine's objects" '' 0 'grep -qx "$work/relink/$arch/$arch-object.o" "$work/log" && grep -qx relinked out'
run "RELINK_ARCH's objects" '' 0 \
  'grep -qx "$work/relink/aarch64/aarch64-object.o" "$work/log" && ! grep -q x86_64 "$work/log"' RELINK_ARCH=aarch64
run "an architecture without objects" '' 1 '[ ! -e out ] && grep -q "no object files for mips" "$work/err"' RELINK_ARCH=mips
for older in "10 2 31" "12 2 31" "11 3 0" "" "garbage 2 36"; do
  run "a toolchain '$older'" 'echo old >out' 1 \
    '[ "$(cat out)" = old ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "need GCC 12 and the GNU C Library 2.36" "$work/err"' \
    FAKE_TOOLCHAIN="$older"
done
run "a newer toolchain" '' 0 'grep -qx relinked out' FAKE_TOOLCHAIN="14 2 41"
run "a failed link" 'echo old >out' 1 '[ "$(cat out)" = old ]' FAKE_FAIL=1
if [ "$(id -u)" -eq 0 ]; then
  run "another user's file at OUTPUT" 'touch out && chown 65534 out && chmod 666 out && ln out "$work/private/victim"' 0 \
    '[ "$(stat -c %u out)" = 0 ] && grep -qx relinked out && [ ! -s "$work/private/victim" ]'
  run "another user's dangling link at OUTPUT" 'ln -s "$work/private/planted" out && chown -h 65534 out' 0 \
    '[ -f out ] && [ ! -L out ] && [ ! -e "$work/private/planted" ]'
fi
run "a folder at OUTPUT" 'mkdir out' 1 '[ -d out ] && [ -z "$(ls out)" ]'

[ "$failures" -eq 0 ] && echo "relink.sh: all cases hold"
exit $((failures > 0))
