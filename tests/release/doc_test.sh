#!/usr/bin/env bash
# The documents' recipes, run as written against a release kit, so that a
# recipe cannot rot. Every .md file in the kit (its README and docs/) is
# scanned, and so is each extra FILE given (the repository's README).
#
# A fenced block is run when the line right before its opening fence is
# exactly one of these markers:
#   <!-- doc-test -->        a ```sh block: run by bash under
#                            `set -euo pipefail`, from the root of a scratch
#                            copy of the kit. The marked blocks of one
#                            document share that copy and run in order, as
#                            a reader follows them.
#   <!-- doc-test cmake -->  a ```cmake block: pasted into the CMakeLists.txt
#                            of a minimal project after this test's preamble
#                            (cmake_minimum_required, project and
#                            find_package(ZorFirmwareUpdate 1.0 CONFIG
#                            REQUIRED)); the project also holds the example's
#                            firmware_tool.cpp and a throw-away cert.pem and
#                            key.pem. It is configured and built with the
#                            kit's MinGW toolchain file; every product it
#                            writes must verify against the kit's launcher,
#                            and a block that signs must leave a product
#                            that osslsigncode verifies.
# A block that fails names its document and line. Every path that the
# kit's documents (which the Debian package ships too) name in backquotes
# or as a link's target must be in the kit: those of the kit's own folders
# (bin/..., share/..., lib/..., docs/...) always, those of the source
# repository's (scripts/..., build/..., examples/...) unless the paragraph
# naming them says that they are the source repository's (or a clone's),
# or the page's opening paragraph says that the page is about the source
# repository.
#   tests/release/doc_test.sh KIT WORK_DIR [FILE.md...]
set -Eeuo pipefail

fail() {
  echo "doc_test: $*" >&2
  exit 1
}
[ $# -ge 2 ] || fail "usage: tests/release/doc_test.sh KIT WORK_DIR [FILE.md...]"
kit=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
shift 2
shell_marker='<!-- doc-test -->'
cmake_marker='<!-- doc-test cmake -->'
toolchain="$kit/share/zor/example/mingw-i686.cmake"
tool_source="$kit/share/zor/example/firmware_tool.cpp"
# The oldest CMake that the package is said to support.
cmake_preamble='cmake_minimum_required(VERSION 3.18)
project(DocTestProduct LANGUAGES CXX)
find_package(ZorFirmwareUpdate 1.0 CONFIG REQUIRED)'

# Writes each marked block of DOC to OUT/<n>.<kind> and prints
# "<n> <kind> <line of the opening fence>", one line a block.
extract_blocks() {
  local doc=$1 out=$2
  awk -v out="$out" -v shell_marker="$shell_marker" -v cmake_marker="$cmake_marker" '
    in_block && /^```/ { in_block = 0; close(file); next }
    in_block { print > file; next }
    kind != "" && /^```/ {
      count++
      file = out "/" count "." kind
      printf "" > file
      print count, kind, NR
      in_block = 1
      kind = ""
      next
    }
    { kind = ($0 == shell_marker) ? "sh" : ($0 == cmake_marker) ? "cmake" : "" }
    END { if (in_block) { print "unterminated block" > "/dev/stderr"; exit 1 } }
  ' "$doc"
}

run_shell_block() {
  local where=$1 block=$2 root=$3 log=$4
  (cd "$root" && bash -c "set -euo pipefail
$(cat "$block")") >"$log" 2>&1 || fail "$where: the block fails: $(tail -n 5 "$log")"
}

run_cmake_block() {
  local where=$1 block=$2 project=$3
  local src="$project/src" build="$project/build" log="$project/log" packer="$kit/bin/zorpack"
  rm -rf "$project"
  mkdir -p "$src"
  printf '%s\n%s\n' "$cmake_preamble" "$(cat "$block")" >"$src/CMakeLists.txt"
  cp "$tool_source" "$src/"
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Doc-test -days 2 \
    -keyout "$src/key.pem" -out "$src/cert.pem" 2>/dev/null
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_PREFIX_PATH="$kit" >"$log" 2>&1 || fail "$where: configuring fails: $(tail -n 5 "$log")"
  cmake --build "$build" >>"$log" 2>&1 || fail "$where: the build fails: $(tail -n 5 "$log")"
  local products=0 signed=0 file
  while IFS= read -r -d '' file; do
    "$packer" inspect "$file" >/dev/null 2>&1 || continue
    products=$((products + 1))
    "$packer" verify --launcher "$kit/share/zor/launcher.exe" "$file" >>"$log" 2>&1 ||
      fail "$where: ${file#"$build/"} does not verify: $(tail -n 5 "$log")"
    if osslsigncode verify -CAfile "$src/cert.pem" -in "$file" >/dev/null 2>&1; then
      signed=$((signed + 1))
    fi
  done < <(find "$build" -name CMakeFiles -prune -o -type f -name '*.exe' -print0)
  [ "$products" -gt 0 ] || fail "$where: the build packs no product"
  if grep -q 'osslsigncode' "$block" && [ "$signed" -eq 0 ]; then
    fail "$where: the block signs, yet the build leaves no signed product"
  fi
}

docs=()
while IFS= read -r -d '' doc; do docs+=("$doc"); done < <(cd "$kit" && find . -name '*.md' -print0 | sort -z)
for extra in "$@"; do docs+=("$(cd "$(dirname "$extra")" && pwd)/$(basename "$extra")"); done

kit_folders='bin|share|lib|docs'
source_folders='scripts|tools|tests|src|examples|cmake|packaging|bench|res|dist|build[^/`]*'
# What makes a paragraph the source repository's; a page's opening
# paragraph says it for the whole page by naming the source repository.
source_words="source repository|[Aa] clone's|[Ff]rom a clone|[Ii]n a clone"
source_page_words="source repository"
# Prints "KIND PATH" for each path DOC names: KIND is kit, source (a source
# path in a paragraph that says it is the repository's) or unsaid. A link's
# target is relative to DOC's folder. Placeholders such as <architecture>
# or $USER are not paths.
named_paths() {
  local doc=$1 base
  base=$(dirname "${doc#"$kit/"}")
  awk -v RS= -v kit="^($kit_folders)/" -v src="^($source_folders)/" -v words="$source_words" \
    -v page_words="$source_page_words" -v base="$base" '
    NR == 1 { next }
    NR == 2 { page_says = ($0 ~ page_words) }
    {
      says = page_says || ($0 ~ words)
      text = $0
      while (match(text, /`[^`]*`|\]\([^)#]*[)#]/)) {
        token = substr(text, RSTART, RLENGTH)
        text = substr(text, RSTART + RLENGTH)
        if (token ~ /^`/) { path = substr(token, 2, length(token) - 2) }
        else {
          path = substr(token, 3, length(token) - 3)
          if (path == "" || path ~ /^[a-z]+:/) continue
          path = (base == ".") ? path : base "/" path
        }
        if (path ~ /[<>$* ]/) continue
        if (path ~ kit) print "kit", path
        else if (path ~ src) print (says ? "source" : "unsaid"), path
      }
    }' "$doc" | sort -u
}
check_kit_paths() {
  local doc=$1 name=$2 kind path unsaid=" (nor does it say that it is the source repository's)"
  while read -r kind path; do
    [ "$kind" = source ] || [ -e "$kit/$path" ] ||
      fail "$name names $path, which the kit does not hold${unsaid:0:${#unsaid}*(${#kind} == 6)}"
  done < <(named_paths "$doc")
}

blocks=0
index=0
for doc in "${docs[@]}"; do
  index=$((index + 1))
  case "$doc" in
    /*) path=$doc name=$(basename "$doc") ;;
    *)
      path="$kit/${doc#./}" name="kit's ${doc#./}"
      check_kit_paths "$path" "$name"
      ;;
  esac
  scratch="$work/$index"
  rm -rf "$scratch"
  mkdir -p "$scratch/blocks"
  list=$(extract_blocks "$path" "$scratch/blocks") || fail "$name: a marked block has no closing fence"
  [ -n "$list" ] || continue
  cp -r "$kit" "$scratch/kit"
  while read -r number kind line; do
    blocks=$((blocks + 1))
    where="$name line $line"
    if [ "$kind" = sh ]; then
      run_shell_block "$where" "$scratch/blocks/$number.sh" "$scratch/kit" "$scratch/$number.log"
    else
      run_cmake_block "$where" "$scratch/blocks/$number.cmake" "$scratch/cmake-$number"
    fi
  done <<<"$list"
done
[ "$blocks" -gt 0 ] || fail "no marked block in ${#docs[@]} documents"
echo "doc_test: $blocks marked blocks of ${#docs[@]} documents run as written" >&2
