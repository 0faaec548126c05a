#!/usr/bin/env bash
# The revision that `zorpack --version` names must follow the sources at
# every build, not only when CMake configures: in a scratch repository of
# the current sources it builds the native packer, packs the refs (after
# which a commit changes no file that CMake watches), commits, builds again
# and expects the new revision; then it changes a tracked file and expects
# "-dirty".
#   source_revision_test.sh SOURCE_DIR WORK_DIR
source "$(dirname "$0")/../../scripts/lib/failure.sh"

[ $# -eq 2 ] || fail "usage: source_revision_test.sh SOURCE_DIR WORK_DIR"
source_dir=$(cd "$1" && pwd)
# The exit status by which CTest learns that a test was skipped.
skipped=77
if ! command -v git >/dev/null || ! git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
  echo "source_revision_test: not a git checkout; nothing to check" >&2
  exit "$skipped"
fi

mkdir -p "$2"
work=$(mktemp -d "$2/source_revision.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
mkdir "$tree"

# The sources as they are now, committed or not; ignored files (build
# folders) stay behind. Files deleted but not yet committed are skipped.
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
  tar -C "$source_dir" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$tree" -xf -

scratch_git() {
  git -C "$tree" -c user.name=Test -c user.email=test@example.invalid -c commit.gpgsign=false \
    -c init.defaultBranch=main "$@"
}

build() {
  cmake --build "$tree/build-host" --target zorpack --parallel 2 >"$work/build.log" 2>&1 ||
    fail "the build failed: $(tail -n 20 "$work/build.log")"
}

# Checks the revision that the packer names; $1 is what it must be.
expect_revision() {
  local version
  version=$("$tree/build-host/bin/zorpack" --version) || fail "zorpack --version failed"
  [ "$version" = "zorpack $packer_version (source revision $1)" ] ||
    fail "after $2: '$version', want source revision $1"
}

scratch_git init -q
scratch_git add -A
scratch_git commit -q -m "sources under test"
# With the refs packed when CMake configures, there is no loose branch file
# to watch; the next commit writes one that CMake never heard of.
scratch_git pack-refs --all
[ ! -e "$tree/.git/refs/heads/main" ] || fail "git pack-refs left a loose branch ref"
(cd "$tree" && cmake --preset host -DZOR_BUILD_TESTS=OFF >"$work/configure.log" 2>&1) ||
  fail "configuring failed: $(tail -n 20 "$work/configure.log")"
build
packer_version=$("$tree/build-host/bin/zorpack" --version | sed -n 's/^zorpack \([^ ]*\) .*/\1/p')
[ -n "$packer_version" ] || fail "zorpack --version names no version"
expect_revision "$(scratch_git rev-parse HEAD)" "the first build"

echo "a new line" >>"$tree/README.md"
scratch_git commit -q -a -m "a later commit"
build
expect_revision "$(scratch_git rev-parse HEAD)" "a commit in a packed-refs clone"

echo "an uncommitted line" >>"$tree/README.md"
build
expect_revision "$(scratch_git rev-parse HEAD)-dirty" "an uncommitted change"

git -C "$tree" checkout -q -- README.md
build
expect_revision "$(scratch_git rev-parse HEAD)" "undoing the change"
echo "source revision: follows commits after git pack-refs, and reports uncommitted changes"
