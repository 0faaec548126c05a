# Sourced by the scripts in scripts/. Under `set -e` a failing command ends a
# script without a word (a `find` on a folder that does not exist yet, inside
# a command substitution, is enough); this makes the last line on stderr name
# the script, the line and the command that failed, and where to see more.
#   zor_failure_hint="..."   set before a step to say where its details are
#   fail MESSAGE             ends the script with one line naming it, for a
#                            failure that the script finds itself
set -Eeuo pipefail

zor_script=$(basename "$0" .sh)
zor_failure_hint=""

zor_report_failure() {
  local status=$1 line=$2 command=$3
  # A failure inside a command substitution is reported once, by the shell
  # that runs the substitution's command, not again by the subshell.
  [ "$BASH_SUBSHELL" -eq 0 ] || return 0
  echo "$zor_script: failed at line $line (exit status $status): $command${zor_failure_hint:+; $zor_failure_hint}" >&2
}
trap 'zor_report_failure "$?" "$LINENO" "$BASH_COMMAND"' ERR

fail() {
  echo "$zor_script: $*" >&2
  exit 1
}
