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
cp "$1/tools/zorpack/relink.sh" "$1/tools/zorpack/output_folder.sh" "$work/relink/"
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

# [output=OUTPUT] run NAME SETUP EXPECTED_STATUS CHECK [VAR=VALUE...]: SETUP
# and CHECK are shell text run in the shared folder, around relink.sh
# OUTPUT (out unless given).
run() {
  local name=$1 setup=$2 expected=$3 check=$4 status
  shift 4
  rm -rf "${shared:?}"/* "$shared"/.relink.* "$work/private"/*
  (cd "$shared" && eval "$setup")
  (cd "$shared" && env CXX="$work/cxx" FAKE_LOG="$work/log" "$@" "$relink" "${output:-out}") >"$work/out" 2>"$work/err"
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
  # OUTPUT's folder is reached under the kernel's link rule: in a sticky
  # folder that everyone may write to, only the caller's or the folder
  # owner's link is followed, also where a link's text leads.
  target='mkdir "$work/private/target" && ln -s "$work/private/target" via'
  refused='[ -z "$(ls -A "$work/private/target")" ] && grep -q "link .*via of another user (user ID 65534)" "$work/err"'
  linked='grep -qx relinked "$work/private/target/out"'
  output=via/out run "another user's link on OUTPUT's path" "$target && chown -h 65534 via" 1 "$refused"
  output=other/via/out run "your own link in another user's sticky folder" \
    "mkdir -m 1777 other && chown 4242 other && cd other && $target" 0 "$linked"
  output=own/via/out run "the sticky folder owner's link" \
    "mkdir -m 1777 own && chown 4242 own && cd own && $target && chown -h 4242 via" 0 "$linked"
  output=own/via/out run "the link of a folder owner that a user namespace does not map" \
    "mkdir -m 1777 own && chown 65534 own && cd own && $target && chown -h 65534 via" 1 "$refused"
  output=closed/via/out run "another user's link in a sticky folder others may not write to" \
    "mkdir -m 1755 closed && cd closed && $target && chown -h 65534 via" 0 "$linked"
  output=mine/out run "your own link to another user's link" \
    "$target && chown -h 65534 via && ln -s \"\$PWD/via\" mine" 1 "$refused"
fi
run "a folder at OUTPUT" 'mkdir out' 1 '[ -d out ] && [ -z "$(ls out)" ]'
# As many links on the way as the kernel follows, and not one more.
chain='mkdir "$work/private/target" && to="$work/private/target" &&
  for i in $(seq "$links"); do ln -s "$to" "$work/private/l$i" && to="$work/private/l$i"; done'
links=40 output="$work/private/l40/out" run "40 links on OUTPUT's path" "$chain" 0 'grep -qx relinked "$work/private/target/out"'
links=41 output="$work/private/l41/out" run "41 links on OUTPUT's path" "$chain" 1 'grep -q "more than 40 links" "$work/err"'
# Every character of OUTPUT counts, a trailing newline too.
# shellcheck disable=SC2034 # read by the row's setup text
newline=$'\n'
output=$'nl\n/out' run "OUTPUT's folder ending in a newline" 'mkdir nl "nl$newline"' 0 \
  '[ ! -e nl/out ] && grep -qx relinked nl?/out'
output=$'out\n' run "OUTPUT ending in a newline" '' 0 '[ ! -e out ] && grep -qx relinked out?'
# A folder swapped for a link (even the caller's own) between the look and
# the step into it is refused, through the library's seam.
swapped=$(
  cd "$shared" && mkdir dir && . "$work/relink/output_folder.sh" || exit
  zor_before_folder_step() { [ "$1" != dir ] || { mv dir dir.away && ln -s "$work/private" dir; }; }
  zor_enter_output_folder dir/out 2>&1 && echo entered
)
[[ "$swapped" == *"the folder ./dir changed while it was entered" ]] || bad "a folder swapped for a link: $swapped"

[ "$failures" -eq 0 ] && echo "relink.sh: all cases hold"
exit $((failures > 0))
