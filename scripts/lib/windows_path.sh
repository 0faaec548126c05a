# Sourced by the scripts that hand host paths to Windows programs under Wine.
# Z:\... is how Windows programs under Wine see a host path.
windows_path() {
  local path="$1"
  printf 'Z:%s' "${path//\//\\}"
}
