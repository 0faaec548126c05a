// A payload's own SBOM, as `zorpack sbom --payload-sbom` reads it: arbitrary
// bytes to ParsePayloadSbom, then what it accepts through the hash check
// and the merge into a product's document. What it accepts must be one JSON
// object by the tests' own strict checker (tests/support/json_check.cpp);
// what it refuses gets one line naming the file, with no raw control byte;
// a merged payload's every reference is the payload's own or under it, and
// each dependency's once; no exception escapes, the document's dump
// included.
#include <algorithm>
#include <set>
#include <string>

#include "fuzz_failure.h"
#include "sbom_input.h"
#include "support/json_check.h"

namespace {

using zor::fuzz::Failure;
using zor::pack::Json;

constexpr char kShown[] = "'tool.cdx.json'";
constexpr char kPayloadRef[] = "payload";
constexpr char kPayloadPrefix[] = "payload/";
// A UTF-8 byte order mark, which JSON readers may ignore (RFC 8259) and
// the reader does, as files written on Windows often start with one.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsPayloads(const std::string& ref) {
  return ref == kPayloadRef || ref.rfind(kPayloadPrefix, 0) == 0;
}

void CheckRefs(const Json& components) {
  for (const Json& component : components) {
    if (component.contains("bom-ref") && component["bom-ref"].is_string() &&
        !IsPayloads(component["bom-ref"].get<std::string>())) {
      Failure("a nested component's bom-ref is not under the payload's");
    }
    if (component.contains("components")) CheckRefs(component["components"]);
  }
}

void CheckRefused(const std::string& error) {
  if (error.rfind(kShown, 0) != 0) Failure("a refusal does not start with the file's name");
  if (std::any_of(error.begin(), error.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
    Failure("a refusal holds a raw control byte (or is not one line)");
  }
}

void CheckMerged(const zor::pack::PayloadSbom& sbom) {
  zor::pack::Hashes zero = {};
  std::string error;
  if (!MatchesPayloadHashes(sbom, zero, kShown, &error) &&
      error.find("SHA-256") == std::string::npos && error.find("SHA-512") == std::string::npos) {
    Failure("a hash mismatch does not name its algorithm");
  }
  Json dependencies = Json::array();
  Json payload = AdoptPayloadSbom(sbom, &dependencies);
  if (payload["bom-ref"] != kPayloadRef) Failure("the payload component is not bom-ref payload");
  if (payload.contains("components")) CheckRefs(payload["components"]);
  std::set<std::string> refs;
  for (const Json& entry : dependencies) {
    std::string ref = entry["ref"].get<std::string>();
    if (!IsPayloads(ref)) Failure("a dependency's ref is not under the payload's");
    if (!refs.insert(ref).second) Failure("a dependency's ref is listed twice");
    for (const Json& target : entry["dependsOn"]) {
      if (!IsPayloads(target.get<std::string>())) Failure("a dependsOn is not under the payload's");
    }
  }
  if (refs.count(kPayloadRef) != 1) Failure("the payload has no dependency entry");
  payload.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  zor::pack::PayloadSbom sbom;
  std::string error;
  if (!zor::pack::ParsePayloadSbom(text, kShown, &sbom, &error)) {
    CheckRefused(error);
    return 0;
  }
  std::string json =
      text.rfind(kByteOrderMark, 0) == 0 ? text.substr(sizeof kByteOrderMark - 1) : text;
  if (!zor::test::ParseJsonObject(json, nullptr)) Failure("accepted what is not one JSON object");
  CheckMerged(sbom);
  return 0;
}
