#!/usr/bin/env bash
# The scripts' failure trap, sourced as the scripts source it: a step that
# fails anywhere (in a function, first in a pipeline, inside a command
# substitution) ends the script non-zero with exactly one "failed at line"
# report as the last line on stderr, and a script that succeeds says nothing.
#   failure_trap_test.sh SOURCE_DIR
set -u
lib="$1/scripts/lib/failure.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME EXPECTED_LINE BODY: EXPECTED_LINE empty means the script must
# succeed silently; otherwise the report must name that line.
check() {
  local name=$1 line=$2 body=$3 script="$work/t.sh" status
  printf 'source %q\n%s\necho reached-the-end\n' "$lib" "$body" >"$script"
  bash "$script" >"$work/out" 2>"$work/err"
  status=$?
  local reports
  reports=$(grep -c 'failed at line' "$work/err")
  if [ -z "$line" ]; then
    [ "$status" -eq 0 ] && [ "$reports" -eq 0 ] && grep -q reached-the-end "$work/out" && return
  else
    [ "$status" -ne 0 ] && [ "$reports" -eq 1 ] && ! grep -q reached-the-end "$work/out" &&
      tail -n 1 "$work/err" | grep -q "^t: failed at line $line (exit status [1-9][0-9]*): " && return
  fi
  echo "FAIL: $name (exit status $status, $reports reports)" >&2
  sed 's/^/  stderr: /' "$work/err" >&2
  failures=$((failures + 1))
}

check "a failure inside a function" 2 'step() { false; }
step'
check "a pipeline whose first command fails" 2 'false | cat'
check "a failure inside a command substitution" 2 'x=$(find "$PWD/no such folder" | head -n 1)'
check "a script that succeeds" "" 'step() { true; }
step | cat'

[ "$failures" -eq 0 ] && echo "failure trap: all cases hold"
exit $((failures > 0))
