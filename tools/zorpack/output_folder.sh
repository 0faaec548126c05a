# Sourced by every script the kit ships that writes a file (relink.sh), so
# that it takes OUTPUT's folder as zorpack does:
#   zor_enter_output_folder OUTPUT
# enters OUTPUT's folder and sets zor_output_name to OUTPUT's last name, or
# says why not on stderr and returns 1, having written nothing; the shell
# may then stand anywhere on the way, so end the script.
#
# The folder is walked one name at a time, the text taken exactly as given
# (a name may end in a newline). A link is followed only under the kernel's
# protected_symlinks rule, whatever the system sets: in a sticky folder that
# everyone may write to, only a link of the caller's own or of that folder's
# owner; otherwise someone else's link could lead root to write where that
# user chose. Each step into a folder ends with a check that the shell
# stands in the folder it looked at (device and inode), so a folder swapped
# for a link in between is refused too. Needs GNU stat and readlink.

# As the kernel allows when it resolves a path.
zor_max_links=40
# In a user namespace every owner it does not map shows as this ID, so two
# of them being equal says nothing about who owns what.
zor_overflow_uid=65534
# st_mode bits: S_ISVTX | S_IWOTH, the file type mask, a folder, a link.
zor_sticky_and_open=514
zor_type_mask=61440
zor_type_folder=16384
zor_type_link=40960

# Called with the name just before each step into a folder: a seam for the
# tests, which swap the folder there.
zor_before_folder_step() { :; }

zor_refuse_output() {
  printf '%s: refused OUTPUT %s: %s\n' "${0##*/}" "$zor_output" "$1" >&2
  return 1
}

# Follows the link zor_step in the current folder, whose owner is $1: its
# target's names go first.
zor_follow_link() {
  zor_links=$((zor_links + 1))
  [ "$zor_links" -le "$zor_max_links" ] || zor_refuse_output "it passes through more than $zor_max_links links" ||
    return 1
  zor_here=$(stat -c '%f %u' .) || return 1
  if [ $((0x${zor_here% *} & zor_sticky_and_open)) -eq "$zor_sticky_and_open" ] &&
    [ "$1" != "$zor_uid" ] &&
    { [ "$1" != "${zor_here#* }" ] || [ "$1" = "$zor_overflow_uid" ]; }; then
    zor_refuse_output "it passes through the link $zor_shown/$zor_step of another user (user ID $1) in a sticky folder that everyone may write to; ${0##*/} follows such a link only when it is yours or the folder owner's"
    return 1
  fi
  zor_target=$(readlink -n -- "./$zor_step" && echo x) || return 1
  zor_target=${zor_target%x}
  case $zor_target in /*)
    cd / || return 1
    zor_shown=
    ;;
  esac
  zor_rest=$zor_target/$zor_rest
}

zor_enter_output_folder() {
  zor_output=$1
  zor_output_name=${1##*/}
  zor_rest=${1%"$zor_output_name"}
  case $zor_output_name in '' | . | ..)
    zor_refuse_output "it names a folder, not a file"
    return 1
    ;;
  esac
  zor_uid=$(id -u) || return 1
  zor_links=0
  zor_shown=.
  case $zor_rest in /*)
    cd / || return 1
    zor_shown=
    ;;
  esac
  while [ -n "$zor_rest" ]; do
    case $zor_rest in
      */*) zor_step=${zor_rest%%/*} zor_rest=${zor_rest#*/} ;;
      *) zor_step=$zor_rest zor_rest= ;;
    esac
    case $zor_step in '' | .) continue ;; esac
    # Mode (hex), owner and identity of the name itself, not of a link's target.
    zor_facts=$(stat -c '%f %u %d:%i' -- "./$zor_step" 2>/dev/null) ||
      zor_refuse_output "there is no folder $zor_shown/$zor_step" || return 1
    zor_mode=${zor_facts%% *}
    zor_facts=${zor_facts#* }
    case $((0x$zor_mode & zor_type_mask)) in
      "$zor_type_link")
        zor_follow_link "${zor_facts% *}" || return 1
        ;;
      "$zor_type_folder")
        zor_before_folder_step "$zor_step"
        cd -P "./$zor_step" || return 1
        [ "$(stat -c %d:%i .)" = "${zor_facts#* }" ] ||
          zor_refuse_output "the folder $zor_shown/$zor_step changed while it was entered" || return 1
        zor_shown=$zor_shown/$zor_step
        ;;
      *) zor_refuse_output "$zor_shown/$zor_step is not a folder" || return 1 ;;
    esac
  done
}
