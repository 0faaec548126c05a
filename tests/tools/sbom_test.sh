#!/usr/bin/env bash
# `zorpack sbom` end to end: the hashes against sha256sum and sha512sum, a
# signed and an unsigned product, a payload SBOM merged or refused, the
# same bytes for the same inputs, bad payload SBOMs, products that do not
# verify, the vendor's facts and signed documents (checked by cdxgen's
# cdx-validate and cdx-verify, and by zorpack verify-sbom); every document
# made is checked against the CycloneDX 1.6 schema by the CycloneDX library
# (tests/tools/cyclonedx_check.js).
#   sbom_test.sh SOURCE_DIR WORK_DIR WINDOWS_BIN_DIR ZORPACK...
# ZORPACK is the packer's command: the native zorpack, or wine-run.sh and
# zorpack.exe (which take the same absolute paths through Wine's Z: drive).
source "$(dirname "$0")/../../scripts/lib/failure.sh"

[ $# -ge 4 ] || fail "usage: sbom_test.sh SOURCE_DIR WORK_DIR WINDOWS_BIN_DIR ZORPACK..."
source_dir=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(mktemp -d "$(cd "$2" && pwd)/sbom test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The run's own copies of the built inputs: a packer that writes to an
# input damages only them, never the build's files that other tests read.
mkdir "$work/inputs"
cp "$3/launcher.exe" "$3/sample_tool.exe" "$work/inputs/"
launcher="$work/inputs/launcher.exe"
tool="$work/inputs/sample_tool.exe"
shift 3
zorpack=("$@")
modules="$source_dir/build-cyclonedx"
cd "$work"

documents=()
failures=0
check() {  # check DESCRIPTION COMMAND...: counts a failure, goes on
  if ! "${@:2}"; then
    echo "sbom_test: FAILED: $1" >&2
    failures=$((failures + 1))
  fi
}

# json FILE EXPRESSION: the expression over the document `d`, printed.
json() {
  node -e 'const d = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
           const v = eval(process.argv[2]);
           console.log(typeof v === "string" ? v : JSON.stringify(v));' "$1" "$2"
}

# sbom EXPECTED_STATUS ARGS...: runs zorpack sbom, its stderr in err.txt.
sbom() {
  local expected=$1 status=0
  shift
  "${zorpack[@]}" sbom --launcher "$launcher" "$@" >out.txt 2>err.txt || status=$?
  if [ "$status" != "$expected" ]; then
    echo "sbom_test: zorpack sbom $* exited $status, not $expected: $(cat err.txt)" >&2
    return 1
  fi
}

# made FILE: a document the test made, for the schema check at the end.
made() {
  documents+=("$1")
}

digest() {  # digest ALGORITHM FILE
  "${1}sum" "$2" | cut -d ' ' -f 1
}

# --- Products: unsigned, and signed by a throwaway certificate.
"${zorpack[@]}" pack "$launcher" "$tool" Updater-unsigned.exe >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Test signer" -days 2 \
  -keyout key.pem -out cert.pem 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -in Updater-unsigned.exe \
  -out Updater.exe >/dev/null
export SOURCE_DATE_EPOCH=1700000000

for product in Updater-unsigned.exe Updater.exe; do
  sbom 0 "$product" "$product.json"
  made "$product.json"
  doc="$product.json"
  for sha in sha256 sha512; do
    index=$([ "$sha" = sha256 ] && echo 0 || echo 1)
    check "$product: its $sha" [ "$(json "$doc" "d.metadata.component.hashes[$index].content")" = "$(digest "$sha" "$product")" ]
    check "$product: the launcher's $sha" [ "$(json "$doc" "d.components[0].hashes[$index].content")" = "$(digest "$sha" "$launcher")" ]
    check "$product: the payload's $sha" [ "$(json "$doc" "d.components[1].hashes[$index].content")" = "$(digest "$sha" "$tool")" ]
  done
  signed=$([ "$product" = Updater.exe ] && echo true || echo false)
  check "$product: zor:signed" [ "$(json "$doc" 'd.metadata.component.properties.find(p => p.name == "zor:signed").value')" = "$signed" ]
  check "$product: zor:payload_size" [ "$(json "$doc" 'd.metadata.component.properties.find(p => p.name == "zor:payload_size").value')" = "$(stat -c %s "$tool")" ]
  check "$product: the name" [ "$(json "$doc" d.metadata.component.name)" = "${product%.exe}" ]
  check "$product: the dependencies" [ "$(json "$doc" d.dependencies[0].dependsOn)" = '["launcher","payload"]' ]
  check "$product: the time stamp" [ "$(json "$doc" d.metadata.timestamp)" = 2023-11-14T22:13:20Z ]
  # Nothing that names this machine: no path, user or host.
  for private in "$work" "$source_dir" "$(hostname)" "${USER:-root}"; do
    check "$product: no $private" bash -c '! grep -qF -- "$1" "$2"' _ "$private" "$doc"
  done
done
check "signing changes the serial number" [ "$(json Updater.exe.json d.serialNumber)" != "$(json Updater-unsigned.exe.json d.serialNumber)" ]
check "the serial number is a version-8 UUID" [ "$(json Updater.exe.json '/^urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-8[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/.test(d.serialNumber)')" = true ]

# --- The time stamp: the ends of the range, January and February of a
# leap year; anything but digits up to the year 9999 is refused.
for row in "0|1970-01-01T00:00:00Z" "951782400|2000-02-29T00:00:00Z" \
  "1706745599|2024-01-31T23:59:59Z" "1709251199|2024-02-29T23:59:59Z" \
  "253402300799|9999-12-31T23:59:59Z" "253402300800|" "abc|" "|" "-1|" " 1|" "1e9|" \
  "99999999999999999999|"; do
  seconds=${row%%|*}
  stamp=${row#*|}
  if [ -n "$stamp" ]; then
    SOURCE_DATE_EPOCH=$seconds check "SOURCE_DATE_EPOCH=$seconds" sbom 0 Updater.exe stamp.json
    check "SOURCE_DATE_EPOCH=$seconds gives $stamp" [ "$(json stamp.json d.metadata.timestamp)" = "$stamp" ]
  else
    SOURCE_DATE_EPOCH=$seconds check "SOURCE_DATE_EPOCH='$seconds' is refused" sbom 2 Updater.exe stamp.json
    check "SOURCE_DATE_EPOCH='$seconds': named" grep -q "^zorpack: SOURCE_DATE_EPOCH is not a number" err.txt
  fi
done

# --- The same inputs give the same bytes, to a file or to standard output.
sbom 0 Updater.exe again.json --name "Firmware Update" --version 2.1 --supplier "Example GmbH"
cp again.json first.json
sbom 0 Updater.exe again.json --name "Firmware Update" --version 2.1 --supplier "Example GmbH"
made again.json
check "the same bytes twice" cmp -s first.json again.json
sbom 0 Updater.exe - --name "Firmware Update" --version 2.1 --supplier "Example GmbH"
check "the same bytes on standard output" cmp -s out.txt again.json
check "--supplier" [ "$(json again.json d.metadata.component.supplier.name)" = "Example GmbH" ]
check "--version" [ "$(json again.json d.metadata.component.version)" = 2.1 ]
# Documents that say anything differently have different serial numbers.
for option in "--name Other" "--version 2.2" "--supplier Other" "--payload-name tool" "--payload-version 1"; do
  # shellcheck disable=SC2086 # an option and its value
  sbom 0 Updater.exe other.json $option
  check "$option changes the serial number" [ "$(json other.json d.serialNumber)" != "$(json Updater.exe.json d.serialNumber)" ]
done
sbom 0 Updater.exe named.json --payload-name "Flash Tool"
made named.json
check "--payload-name" [ "$(json named.json 'd.components[1].name')" = "Flash Tool" ]

# Text from the command line or a payload SBOM reaches standard output
# with every character a terminal acts on escaped: C1 CSI, a direction
# override, a zero-width space and DEL.
hidden=$(printf 'a\xc2\x9bb\xe2\x80\xaec\xe2\x80\x8bd\x7fe')
sbom 0 Updater.exe - --name "$hidden"
cp out.txt hidden.json
made hidden.json
check "hidden characters escaped" grep -qF '"name": "a\u009bb\u202ec\u200bd\u007fe"' hidden.json
check "no raw hidden character" bash -c '! LC_ALL=C grep -qP "\xc2\x9b|\xe2\x80[\xae\x8b]|\x7f" hidden.json'

# --- A payload SBOM (CycloneDX 1.5, as a tool's build might write it).
tool_sha512=$(digest sha512 "$tool")
write_tool_sbom() {  # write_tool_sbom FILE SHA512
  cat >"$1" <<JSON
{"bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
 "metadata": {"component": {"type": "application", "bom-ref": "tool", "name": "fwtool",
   "version": "3.4", "supplier": {"name": "Tool Maker"}, "purl": "pkg:generic/fwtool@3.4",
   "licenses": [{"license": {"id": "MIT"}}], "mime-type": "application/vnd.microsoft.portable-executable",
   "authors": [{"name": "Dev", "email": "dev.team+fw@tool-maker.example"}],
   "pedigree": {"commits": [{"uid": "1a2b", "author": {"email": "ü@bücher.de", "timestamp": "2024-02-29T23:59:60Z"},
     "committer": {"timestamp": "2016-12-31t23:59:60.5z"}}, {"author": {"timestamp": "2024-01-31 12:00:00.25+05:30"}}]},
   "hashes": [{"alg": "SHA-512", "content": "$2"}, {"alg": "SHA-256", "content": "$(digest sha256 "$tool" | tr a-f A-F)"}]}},
 "components": [
   {"type": "library", "bom-ref": "launcher", "name": "zlib", "version": "1.3",
    "components": [{"type": "library", "bom-ref": "inner", "name": "crc"}]},
   {"type": "library", "bom-ref": "libusb", "name": "libusb", "version": "1.0.27"}],
 "dependencies": [{"ref": "tool", "dependsOn": ["launcher", "libusb"]}, {"ref": "launcher", "dependsOn": ["inner"]}]}
JSON
}
write_tool_sbom tool.cdx.json "$tool_sha512"
sbom 0 Updater.exe merged.json --payload-sbom tool.cdx.json --payload-version 3.4.1
made merged.json
payload='d.components.find(c => c["bom-ref"] == "payload")'
check "the payload takes the tool's name" [ "$(json merged.json "$payload.name")" = fwtool ]
check "--payload-version wins" [ "$(json merged.json "$payload.version")" = 3.4.1 ]
check "the tool's supplier, licence and purl" [ "$(json merged.json "[$payload.supplier.name, $payload.licenses[0].license.id, $payload.purl]")" = '["Tool Maker","MIT","pkg:generic/fwtool@3.4"]' ]
check "nested components, renamed" [ "$(json merged.json "$payload.components.map(c => c[\"bom-ref\"]).concat($payload.components[0].components[0][\"bom-ref\"])")" = '["payload/launcher","payload/libusb","payload/inner"]' ]
check "the tool's dependencies carried over" [ "$(json merged.json 'd.dependencies.slice(2)')" = '[{"ref":"payload","dependsOn":["payload/launcher","payload/libusb"]},{"ref":"payload/launcher","dependsOn":["payload/inner"]}]' ]

# Every bom-ref a payload SBOM holds, anywhere, is renamed: one that would
# take the launcher's or the product's (in a pedigree, a licence, a
# supplier) cannot stand in for theirs.
cat >spoof.cdx.json <<'JSON'
{"bomFormat": "CycloneDX", "specVersion": "1.6",
 "metadata": {"component": {"type": "application", "bom-ref": "tool", "name": "fwtool",
   "supplier": {"bom-ref": "supplier", "name": "Tool Maker", "contact": [{"bom-ref": "contact", "name": "M"}]},
   "licenses": [{"license": {"bom-ref": "product", "id": "MIT"}}],
   "pedigree": {"ancestors": [{"type": "application", "bom-ref": "launcher", "name": "zor-firmware-update-launcher", "version": "6.6.6"}]}}},
 "components": [{"type": "library", "bom-ref": "lib", "name": "lib",
   "licenses": [{"expression": "MIT OR Apache-2.0", "bom-ref": "expr"}]}],
 "dependencies": [{"ref": "tool", "dependsOn": ["lib"]}, {"ref": "lib", "provides": ["launcher"]}]}
JSON
sbom 0 Updater.exe spoof.json --payload-sbom spoof.cdx.json
made spoof.json
check "a payload's bom-refs renamed wherever they are" [ "$(json spoof.json "[$payload.pedigree.ancestors[0]['bom-ref'], $payload.licenses[0].license['bom-ref'], $payload.supplier['bom-ref'], $payload.supplier.contact[0]['bom-ref'], $payload.components[0].licenses[0]['bom-ref']]")" = '["payload/launcher","payload/product","payload/supplier","payload/contact","payload/expr"]' ]
check "the launcher is this release's" [ "$(json spoof.json "d.components.filter(c => c['bom-ref'] == 'launcher').map(c => c.version)")" = "[\"$(json Updater.exe.json d.components[0].version)\"]" ]
check "provides carried over, renamed" [ "$(json spoof.json 'd.dependencies.find(e => e.ref == "payload/lib").provides')" = '["payload/launcher"]' ]
for doc in merged.json spoof.json; do
  check "$doc: every bom-ref once" [ "$(json "$doc" 'JSON.stringify(d).match(/"bom-ref":"[^"]*"/g).length == new Set(JSON.stringify(d).match(/"bom-ref":"[^"]*"/g)).size')" = true ]
done

# A CycloneDX 1.4 SBOM as tools wrote them then (tools as a list, author
# as text, a licence expression) is taken, and made 1.6.
cat >v14.cdx.json <<'JSON'
{"bomFormat": "CycloneDX", "specVersion": "1.4", "serialNumber": "urn:uuid:3e671687-395b-41f5-a30f-a58921a69b79", "version": 3,
 "metadata": {"timestamp": "2022-01-01T00:00:00Z", "tools": [{"vendor": "Tool Maker", "name": "bomgen", "version": "1"}],
   "component": {"type": "firmware", "bom-ref": "pkg:generic/fw@1", "name": "fw", "author": "Tool Maker",
     "licenses": [{"expression": "MIT OR Apache-2.0"}], "purl": "pkg:generic/fw@1"}},
 "components": [{"type": "library", "bom-ref": "pkg:generic/zlib@1.3", "name": "zlib", "version": "1.3", "scope": "required"}],
 "dependencies": [{"ref": "pkg:generic/fw@1", "dependsOn": ["pkg:generic/zlib@1.3"]}]}
JSON
sbom 0 Updater.exe v14.json --payload-sbom v14.cdx.json
made v14.json
check "a 1.4 payload SBOM" [ "$(json v14.json "[d.specVersion, $payload.author, d.dependencies[2].dependsOn[0]]")" = '["1.6","Tool Maker","payload/pkg:generic/zlib@1.3"]' ]

# Nested 64 levels deep (the document, metadata, 62 lists) is taken.
nested() {  # nested LISTS: an SBOM whose metadata.tools is LISTS lists deep
  printf '{"bomFormat": "CycloneDX", "specVersion": "1.6", "metadata": {"component": {"type": "application", "name": "t"}, "tools": '
  printf '[%.0s' $(seq "$1")
  printf ']%.0s' $(seq "$1")
  echo '}}'
}
nested 62 >deep64.json
nested 63 >deep65.json
sbom 0 Updater.exe deep64.out.json --payload-sbom deep64.json
made deep64.out.json

# The merge takes linear time: four times the dependencies take well under
# eight times as long (the minimum of three runs each, alternated).
wide() {  # wide COUNT: an SBOM of COUNT components in a chain of dependencies
  node -e 'const n = +process.argv[1], c = [], d = [];
    for (let i = 0; i < n; i++) { c.push({type: "library", "bom-ref": "c" + i, name: "c" + i});
      d.push({ref: "c" + i, dependsOn: i + 1 < n ? ["c" + (i + 1)] : []}); }
    console.log(JSON.stringify({bomFormat: "CycloneDX", specVersion: "1.6",
      metadata: {component: {type: "application", "bom-ref": "c0", name: "t"}}, components: c.slice(1), dependencies: d}));' "$1"
}
wide 4000 >wide1.json
wide 16000 >wide4.json
best1=999999999999
best4=999999999999
for _ in 1 2 3; do
  for size in 1 4; do
    start=$(date +%s%N)
    sbom 0 Updater.exe wide.out.json --payload-sbom "wide$size.json"
    took=$(($(date +%s%N) - start))
    if [ "$size" = 1 ]; then best1=$((took < best1 ? took : best1)); else best4=$((took < best4 ? took : best4)); fi
  done
done
made wide.out.json
check "linear merge ($best1 ns for 4000, $best4 ns for 16000)" [ "$best4" -lt $((8 * best1)) ]

# Nor can a file aim the merge's hash tables: names that all share one value
# of the 64-bit standard library's string hash (which can be inverted) take
# about as long as the same names reversed, which share nothing. Only the
# native packer: zorpack.exe's library hashes otherwise.
flooded() {  # flooded STAGES [reversed]: 2^STAGES unnamed components whose
  # names chain pairs of 16-byte blocks that lead from one hash state to the
  # same next one, so that every name has one hash.
  /usr/bin/python3 - "$@" <<'PY'
import sys
M = (1 << 64) - 1
mul = 0xc6a4a7935bd1e995
inverse = pow(mul, -1, 1 << 64)
def mix(x): return x ^ (x >> 47)
def forward(x): return (mix((x * mul) & M) * mul) & M
def backward(y): return (mix((y * inverse) & M) * inverse) & M
letters = bytes(c for c in range(0x20, 0x7f) if c not in b'"\\')
def printable(x): return all((x >> (8 * i)) & 0xff in letters for i in range(8))
stages, reverse = int(sys.argv[1]), len(sys.argv) > 2
state = 0xc70f6907 ^ ((16 * stages * mul) & M)
choices = []
seed = 1
for stage in range(stages):
    goal = (0x0123456789abcdef * (stage + 1)) & M
    found = []
    while len(found) < 2:
        seed = (seed * 6364136223846793005 + 1442695040888963407) & M
        first = sum(letters[(seed >> (8 * i)) % len(letters)] << (8 * i) for i in range(8))
        middle = ((state ^ forward(first)) * mul) & M
        second = backward(((goal * inverse) & M) ^ middle)
        if printable(second):
            found.append(first.to_bytes(8, "little") + second.to_bytes(8, "little"))
    choices.append(found)
    state = goal
names = []
for n in range(1 << stages):
    name = b"".join(choices[i][(n >> i) & 1] for i in range(stages)).decode()
    names.append(name[::-1] if reverse else name)
components = ",".join('{"type":"library","name":"%s"}' % n for n in names)
print('{"bomFormat":"CycloneDX","specVersion":"1.6","metadata":{"component":'
      '{"type":"application","bom-ref":"t","name":"t"}},"components":[%s]}' % components)
PY
}
if [ ${#zorpack[@]} -eq 1 ]; then
  flooded 12 >flooded.json
  flooded 12 reversed >plain.json
  best_flooded=999999999999
  best_plain=999999999999
  for _ in 1 2 3; do
    for kind in flooded plain; do
      start=$(date +%s%N)
      sbom 0 Updater.exe "$kind.out.json" --payload-sbom "$kind.json"
      took=$(($(date +%s%N) - start))
      if [ "$kind" = flooded ]; then best_flooded=$((took < best_flooded ? took : best_flooded))
      else best_plain=$((took < best_plain ? took : best_plain)); fi
    done
  done
  made flooded.out.json
  check "colliding names ($best_flooded ns, reversed $best_plain ns)" \
    [ "$best_flooded" -lt $((3 * best_plain)) ]
fi

# A hash that is not the payload's: status 1, the algorithm named, OUTPUT
# as it was.
write_tool_sbom wrong.cdx.json "${tool_sha512%?}0"
[ "${tool_sha512: -1}" != 0 ] || write_tool_sbom wrong.cdx.json "${tool_sha512%?}1"
echo keep >kept.json
check "a hash mismatch is refused" sbom 1 Updater.exe kept.json --payload-sbom wrong.cdx.json
check "the mismatch names SHA-512" grep -q "SHA-512" err.txt
check "the mismatch leaves OUTPUT" [ "$(cat kept.json)" = keep ]

# --- Bad payload SBOMs: status 2, the file named (a JSON error's line and
# column too), nothing written.
printf '{\n  "bomFormat": "CycloneDX",\n  "specVersion": 1.6 x\n}\n' >not-json.json
echo '{"bomFormat": "SPDX", "specVersion": "1.6"}' >not-cyclonedx.json
echo '{"bomFormat": "CycloneDX", "specVersion": "1.3", "metadata": {"component": {"type": "application", "name": "t"}}}' >old.json
{ printf '{"bomFormat": "CycloneDX", "specVersion": "1.6", "x": '; printf '[%.0s' {1..100}; printf ']%.0s' {1..100}; echo '}'; } >deep.json
{ echo '{"bomFormat": "CycloneDX", "specVersion": "1.6", "pad": "'; head -c $((17 << 20)) /dev/zero | tr '\0' a; echo '"}'; } >huge.json
echo '{"bomFormat": "CycloneDX", "specVersion": "1.6"}' >no-component.json
echo '{"bomFormat": "CycloneDX", "specVersion": "1.6", "n": 1e999}' >overflow.json
# What the merge would carry over wrongly: a value of another type, a
# component twice, a reference to nothing, a nested component without a
# type or a name, parts of an SBOM it does not carry over.
tool_sbom() {  # tool_sbom COMPONENTS [MORE]: an SBOM of a tool with those
  echo "{\"bomFormat\": \"CycloneDX\", \"specVersion\": \"1.6\", \"metadata\": {\"component\": {\"type\": \"application\", \"bom-ref\": \"tool\", \"name\": \"t\"}}, \"components\": [$1]${2:+, $2}}"
}
# Refs may hold an escaped NUL: two dependencies whose ref, list and target
# would read alike joined by NULs are both kept.
n='\u0000'
refs=""
for r in x "y${n}dependsOn${n}payload/z" z "x${n}dependsOn${n}payload/y"; do
  refs+="${refs:+, }{\"type\": \"library\", \"name\": \"c\", \"bom-ref\": \"$r\"}"
done
tool_sbom "$refs" "\"dependencies\": [{\"ref\": \"x\", \"dependsOn\": [\"y${n}dependsOn${n}payload/z\"]}, {\"ref\": \"x${n}dependsOn${n}payload/y\", \"dependsOn\": [\"z\"]}]" >nul-ref.cdx.json
sbom 0 Updater.exe nul-ref.json --payload-sbom nul-ref.cdx.json
made nul-ref.json
check "refs with a NUL kept apart" [ "$(json nul-ref.json 'd.dependencies.filter(e => e.ref.startsWith("payload/x")).map(e => e.dependsOn.length)')" = '[1,1]' ]

lib='{"type": "library", "name": "zlib"}'
tool_sbom '{"type": "library", "name": "zlib", "version": 42}' >version-number.json
tool_sbom "{\"type\": \"library\", \"name\": \"z\", \"components\": [$lib, $lib]}" >twice.json
tool_sbom '{"type": "library", "bom-ref": "z", "name": "z"}, {"type": "library", "bom-ref": "z", "name": "y"}' >one-ref-twice.json
tool_sbom '{"type": "library", "bom-ref": "z", "name": "z"}' '"dependencies": [{"ref": "tool", "dependsOn": ["z", "ghost"]}]' >dangling.json
tool_sbom '{"type": "library", "name": "z", "components": [{"name": "y"}]}' >no-type.json
tool_sbom '{"type": "library", "name": "z", "components": [{"type": "library"}]}' >no-name.json
tool_sbom '{"type": "library", "name": "z", "evidence": {}}' >evidence.json
tool_sbom '' '"services": [{"bom-ref": "svc", "name": "s"}], "dependencies": [{"ref": "tool", "dependsOn": ["svc"]}]' >services.json
# Formats, patterns and lists of values of CycloneDX 1.6 (as its validator
# reads them): refused, never written invalid.
tool_sbom '{"type": "library", "name": "z", "licenses": [{"license": {"id": "NOT-A-LICENSE"}}]}' >spdx-id.json
tool_sbom '{"type": "library", "name": "z", "authors": [{"email": "not an email"}]}' >email.json
tool_sbom '{"type": "library", "name": "z", "supplier": {"contact": [{"email": "a..b@example.com"}]}}' >email-dots.json
commit() {  # commit ACTION: a component with one commit by that author
  tool_sbom "{\"type\": \"library\", \"name\": \"z\", \"pedigree\": {\"commits\": [{\"author\": $1}]}}"
}
commit '{"email": "a@b.c"}' >email-tld.json
commit '{"email": "a@-b.com"}' >email-hyphen.json
commit '{"timestamp": "yesterday"}' >time-word.json
commit '{"timestamp": "2023-02-29T00:00:00Z"}' >time-day.json
commit '{"timestamp": "2024-01-01T00:00:00"}' >time-offset.json
commit '{"timestamp": "2024-01-01T12:59:60Z"}' >time-leap.json
tool_sbom '{"type": "library", "name": "z", "mime-type": "NOT A MIME"}' >mime.json
tool_sbom '{"type": "library", "name": "z", "mime-type": "Text/plain"}' >mime-case.json
for part in compositions vulnerabilities annotations externalReferences; do
  tool_sbom '' "\"$part\": []" >"$part.json"
done
# (Not "nul.json": on Windows that names the NUL device.)
{ head -c -1 tool.cdx.json; printf '\n\0 and more'; } >nul-byte.json
rows=(
  "not-json.json|line 3, column 22"
  "not-cyclonedx.json|bomFormat"
  "old.json|is not 1.4, 1.5 or 1.6"
  "deep.json|nested more than 64"
  "huge.json|more than the 16777216"
  "no-component.json|metadata.component"
  "overflow.json|number overflow"
  "nul-byte.json|a NUL byte at line $(($(wc -l <tool.cdx.json) + 1)), column 1"
  "version-number.json|components[0].version is not a string"
  "twice.json|the component 'zlib' is listed twice"
  "one-ref-twice.json|two elements have the bom-ref 'payload/z'"
  "dangling.json|names 'payload/ghost', which no component"
  "no-type.json|components[0].components[0] has no type"
  "no-name.json|components[0].components[0] has no name"
  "evidence.json|components[0].evidence is not carried"
  "services.json|services is not carried"
  "compositions.json|compositions is not carried"
  "vulnerabilities.json|vulnerabilities is not carried"
  "annotations.json|annotations is not carried"
  "externalReferences.json|externalReferences is not carried"
  "deep65.json|nested more than 64"
  "spdx-id.json|components[0].licenses[0].license.id is not an SPDX licence id"
  "email.json|components[0].authors[0].email is not an e-mail address"
  "email-dots.json|components[0].supplier.contact[0].email is not an e-mail"
  "email-tld.json|components[0].pedigree.commits[0].author.email is not an e-mail"
  "email-hyphen.json|commits[0].author.email is not an e-mail"
  "time-word.json|components[0].pedigree.commits[0].author.timestamp is not a date and time"
  "time-day.json|author.timestamp is not a date and time"
  "time-offset.json|author.timestamp is not a date and time"
  "time-leap.json|author.timestamp is not a date and time"
  "mime.json|components[0].mime-type is not a media type"
  "mime-case.json|components[0].mime-type is not a media type"
)
for row in "${rows[@]}"; do
  file=${row%%|*}
  says=${row#*|}
  check "$file is refused" sbom 2 Updater.exe kept.json --payload-sbom "$file"
  check "$file: the file named" grep -qF "'$file'" err.txt
  check "$file: says $says ($(cat err.txt))" grep -qF "$says" err.txt
  check "$file: OUTPUT as it was" [ "$(cat kept.json)" = keep ]
done

# --- Products that do not verify: status 1, verify's reason, no document.
cp Updater-unsigned.exe damaged.exe
payload_offset=$(json Updater-unsigned.exe.json 'd.metadata.component.properties.find(p => p.name == "zor:payload_offset").value')
printf '\x5a' | dd of=damaged.exe bs=1 seek=$((payload_offset + 100)) conv=notrunc status=none
cp Updater-unsigned.exe other-launcher.exe
printf '\x01' | dd of=other-launcher.exe bs=1 seek=2 conv=notrunc status=none
for row in "damaged.exe|payload_digest" "other-launcher.exe|launcher_byte at offset 2"; do
  file=${row%%|*}
  check "$file is refused" sbom 1 "$file" kept.json
  check "$file: verify's reason" grep -qF "${row#*|}" err.txt
  check "$file: no document" [ "$(cat kept.json)" = keep ]
done
check "an OUTPUT that is the product is refused" sbom 2 Updater.exe Updater.exe

# --- The vendor's facts, the fields they fill, and signatures, which
# cdxgen checks too: its EU CRA benchmark, and cdx-verify for each kind of
# key.
cdxgen_bin="$modules/cdxgen/node_modules/.bin"
[ -x "$cdxgen_bin/cdx-verify" ] || fail "no cdxgen in $modules/cdxgen: run scripts/setup.sh"
facts=(--name "Firmware Update" --version 2.1 --supplier "Example Devices"
       --supplier-url https://devices.example.com --supplier-email psirt@devices.example.com
       --license "LicenseRef-Example-EULA OR MIT" --purl pkg:generic/example/updater@2.1
       --cpe "cpe:2.3:a:example:updater:2.1:*:*:*:*:*:*:*" --payload-license Apache-2.0
       --payload-purl pkg:generic/example/tool@1 --payload-version 1.0)
sbom 0 Updater.exe bare.json
check "without facts: a warning names each field's option" grep -qF -- "purl or CPE (--purl or --cpe)" err.txt
echo keep >kept.json
check "--strict without facts is refused" sbom 1 Updater.exe kept.json --strict
check "--strict: nothing written" [ "$(cat kept.json)" = keep ]
check "--strict names what is missing" grep -qF -- "licence (--license)" err.txt
check "--strict with every fact" sbom 0 Updater.exe facts.json --strict "${facts[@]}"
check "with every fact: no warning ($(cat err.txt))" [ ! -s err.txt ]
made facts.json
check "the payload takes the product's supplier" [ "$(json facts.json "$payload.supplier.name")" = "Example Devices" ]
# Every option: a payload supplier named without a contact is a field
# still missing.
sbom 0 Updater.exe options.json "${facts[@]}" --payload-supplier "Option Maker"
made options.json
check "every option: cdxgen's CRA benchmark" \
  "$cdxgen_bin/cdx-validate" -i options.json -b cra --fail-severity high >cra.txt 2>&1
check "every option: the payload's supplier's contact missing" grep -qF "the payload's supplier with a URL" err.txt
check "the payload's options where it has no SBOM" [ "$(json options.json "[$payload.supplier.name, $payload.licenses[0].expression, $payload.purl]")" = '["Option Maker","Apache-2.0","pkg:generic/example/tool@1"]' ]
sbom 0 Updater.exe merged-facts.json --payload-sbom tool.cdx.json "${facts[@]}" --payload-supplier "Option Maker"
made merged-facts.json
check "its SBOM's facts before the options" [ "$(json merged-facts.json "[$payload.supplier.name, $payload.purl]")" = '["Tool Maker","pkg:generic/fwtool@3.4"]' ]
check "the BSI properties of the product" [ "$(json facts.json 'd.metadata.component.properties.filter(p => p.name.startsWith("bsi:")).map(p => p.value)')" = '["Updater.exe","executable","archive","structured"]' ]
check "the deployable file's SHA-512" [ "$(json facts.json 'd.metadata.component.externalReferences[0].hashes[0].content')" = "$(digest sha512 Updater.exe)" ]

# Serial numbers: another one for any other fact, the same for the same.
serials=("$(json facts.json d.serialNumber)")
for ((i = 0; i < ${#facts[@]}; i += 2)); do
  changed=("${facts[@]}")
  changed[i + 1]="${facts[i + 1]}x"
  sbom 0 Updater.exe serial.json "${changed[@]}"
  serials+=("$(json serial.json d.serialNumber)")
done
check "a serial number for each set of facts" [ "$(printf '%s\n' "${serials[@]}" | sort -u | wc -l)" = "${#serials[@]}" ]
sbom 0 Updater.exe serial.json "${facts[@]}"
check "the same document for the same facts" cmp -s serial.json facts.json

verify_sbom() {  # verify_sbom EXPECTED_STATUS ARGS...: stderr in err.txt
  local expected=$1 status=0
  shift
  "${zorpack[@]}" verify-sbom "$@" >out.txt 2>err.txt || status=$?
  if [ "$status" != "$expected" ]; then
    echo "sbom_test: zorpack verify-sbom $* exited $status, not $expected: $(cat err.txt)" >&2
    return 1
  fi
}
openssl genpkey -algorithm ed25519 -out ed25519.pem 2>/dev/null
openssl pkey -in ed25519.pem -pubout -out ed25519.pub
if [ "${zorpack[-1]##*.}" = exe ]; then
  # zorpack.exe has no OpenSSL: both refused, saying so.
  check "zorpack.exe refuses --sign-key" sbom 2 Updater.exe kept.json --sign-key ed25519.pem
  check "... saying why" grep -qF "no OpenSSL" err.txt
  check "zorpack.exe refuses verify-sbom" verify_sbom 2 --key ed25519.pub facts.json Updater.exe
else
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out p256.pem 2>/dev/null
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.pem 2>/dev/null
  for key in ed25519 p256 rsa; do
    openssl pkey -in "$key.pem" -pubout -out "$key.pub"
    sbom 0 Updater.exe "signed-$key.json" "${facts[@]}" --sign-key "$key.pem"
    made "signed-$key.json"
    check "$key: cdx-verify takes the signature" "$cdxgen_bin/cdx-verify" -i "signed-$key.json" --public-key "$key.pub" >/dev/null
    sed 's/"2\.1"/"2.2"/' "signed-$key.json" >"changed-$key.json"
    check "$key: cdx-verify refuses a changed value" bash -c '! "$1" -i "$2" --public-key "$3" >/dev/null' _ "$cdxgen_bin/cdx-verify" "changed-$key.json" "$key.pub"
  done
  # 0 for the document's own product, 1 naming the first difference, 2
  # for what cannot be used.
  rows=(
    "0|ed25519.pub|signed-ed25519.json|Updater.exe|"
    "0|rsa.pub|signed-rsa.json|Updater.exe|"
    "1|ed25519.pub|signed-ed25519.json|Updater-unsigned.exe|SHA-256 of the product"
    "1|ed25519.pub|changed-ed25519.json|Updater.exe|signature does not match"
    "1|p256.pub|signed-ed25519.json|Updater.exe|the key is for ES256"
    "1|ed25519.pub|facts.json|Updater.exe|not signed"
    "2|ed25519.pem|signed-ed25519.json|Updater.exe|not a PEM public key"
    "2|ed25519.pub|missing.json|Updater.exe|missing.json"
    "2|ed25519.pub|not-json.json|Updater.exe|line 3"
  )
  for row in "${rows[@]}"; do
    IFS='|' read -r status key doc product says <<<"$row"
    check "verify-sbom --key $key $doc $product: $status" verify_sbom "$status" --key "$key" "$doc" "$product"
    [ -z "$says" ] || check "verify-sbom --key $key $doc $product: says $says ($(cat err.txt))" grep -qF "$says" err.txt
  done
fi

node "$source_dir/tests/tools/cyclonedx_check.js" "$modules" "${documents[@]}" ||
  fail "a document is not valid CycloneDX 1.6 (the schema's complaints are above)"
[ "$failures" -eq 0 ] || fail "$failures check(s) failed (named above)"
echo "sbom_test: ${#documents[@]} documents made and valid, every check passed" >&2
