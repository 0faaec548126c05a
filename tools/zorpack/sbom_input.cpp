#include "sbom_input.h"

#include <algorithm>
#include <vector>

#include "pack_text.h"
#include "packer.h"

namespace zor::pack {

namespace {

constexpr char kBomFormat[] = "CycloneDX";
constexpr const char* kSupportedSpecVersions[] = {"1.4", "1.5", "1.6"};
constexpr char kRefKey[] = "bom-ref";
constexpr char kComponentsKey[] = "components";
constexpr char kDependenciesKey[] = "dependencies";
constexpr char kDependsOnKey[] = "dependsOn";
constexpr char kHashesKey[] = "hashes";
constexpr char kRefSeparator[] = "/";
// nlohmann's errors start with their id ("[json.exception.parse_error.101] ")
// and a parse error's text with these words; then it says where and what.
constexpr char kErrorIdEnd[] = "] ";
constexpr char kParseErrorStart[] = "parse error ";

bool Refuse(const std::string& shown, const std::string& why, std::string* error) {
  *error = shown + " is not a CycloneDX SBOM that zorpack takes: " + why;
  return false;
}

bool IsStringMember(const Json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_string();
}

bool IsArrayOfObjects(const Json& value) {
  return value.is_array() &&
         std::all_of(value.begin(), value.end(), [](const Json& item) { return item.is_object(); });
}

// Parses without building anything nested deeper than the limit; *tooDeep
// says whether something was.
bool ParseLimited(const std::string& text, Json* document, bool* tooDeep, std::string* where) {
  *tooDeep = false;
  Json::parser_callback_t limit = [tooDeep](int depth, Json::parse_event_t, Json&) {
    if (depth <= kMaxPayloadSbomDepth) return true;
    *tooDeep = true;
    return false;
  };
  try {
    *document = Json::parse(text, limit);
    return true;
  } catch (const Json::exception& failure) {
    // A syntax error, or a number too large for a double (which has no
    // line and column to name).
    std::string what = failure.what();
    size_t idEnd = what.find(kErrorIdEnd);
    if (idEnd != std::string::npos) what.erase(0, idEnd + sizeof kErrorIdEnd - 1);
    if (what.rfind(kParseErrorStart, 0) == 0) what.erase(0, sizeof kParseErrorStart - 1);
    *where = what;
    return false;
  }
}

// nlohmann/json takes a NUL byte for the end of the input, so that
// "{...}<NUL>anything" would pass; no JSON text holds one (in a string it
// must be escaped). The place of the first, for the message, or false.
bool FindNulByte(const std::string& text, std::string* where) {
  size_t at = text.find('\0');
  if (at == std::string::npos) return false;
  size_t lineStart = text.rfind('\n', at);
  size_t line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  size_t column = lineStart == std::string::npos ? at + 1 : at - lineStart;
  *where = "a NUL byte at line " + std::to_string(line) + ", column " + std::to_string(column);
  return true;
}

bool CheckDependencies(const Json& dependencies) {
  if (!IsArrayOfObjects(dependencies)) return false;
  for (const Json& entry : dependencies) {
    if (!IsStringMember(entry, "ref")) return false;
    if (!entry.contains(kDependsOnKey)) continue;
    const Json& on = entry[kDependsOnKey];
    if (!on.is_array() ||
        !std::all_of(on.begin(), on.end(), [](const Json& ref) { return ref.is_string(); })) {
      return false;
    }
  }
  return true;
}

// Every component, nested ones too, is an object with a type and a name.
bool CheckComponents(const Json& components) {
  if (!IsArrayOfObjects(components)) return false;
  for (const Json& component : components) {
    if (!IsStringMember(component, "type") || !IsStringMember(component, "name")) return false;
    if (component.contains(kComponentsKey) && !CheckComponents(component[kComponentsKey])) {
      return false;
    }
  }
  return true;
}

std::string Lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The reference of the payload SBOM's `ref` in the product's document.
struct RefRenamer {
  std::string mainRef;  // its main component's, if it has one

  std::string operator()(const std::string& ref) const {
    if (!mainRef.empty() && ref == mainRef) return kPayloadRef;
    return std::string(kPayloadRef) + kRefSeparator + ref;
  }
};

void RenameComponentRefs(Json* components, const RefRenamer& rename) {
  for (Json& component : *components) {
    if (IsStringMember(component, kRefKey)) {
      component[kRefKey] = rename(component[kRefKey].get<std::string>());
    }
    if (component.contains(kComponentsKey)) RenameComponentRefs(&component[kComponentsKey], rename);
  }
}

}  // namespace

bool ParsePayloadSbom(const std::string& text, const std::string& shown, PayloadSbom* sbom,
                      std::string* error) {
  Json document;
  bool tooDeep = false;
  std::string where;
  if (FindNulByte(text, &where) || !ParseLimited(text, &document, &tooDeep, &where)) {
    *error = shown + " is not JSON: " + Escaped(where, EscapeStyle::kMessage);
    return false;
  }
  if (tooDeep) {
    *error =
        shown + " is nested more than " + std::to_string(kMaxPayloadSbomDepth) + " levels deep";
    return false;
  }
  if (!IsStringMember(document, "bomFormat") || document["bomFormat"] != kBomFormat) {
    return Refuse(shown, "no bomFormat \"CycloneDX\"", error);
  }
  const Json& version = document.contains("specVersion") ? document["specVersion"] : Json();
  if (!version.is_string() ||
      std::none_of(std::begin(kSupportedSpecVersions), std::end(kSupportedSpecVersions),
                   [&](const char* supported) { return version == supported; })) {
    return Refuse(
        shown,
        "specVersion " + Escaped(version.dump(), EscapeStyle::kMessage) + " is not 1.4, 1.5 or 1.6",
        error);
  }
  const Json& metadata = document.contains("metadata") ? document["metadata"] : Json();
  if (!metadata.is_object() || !metadata.contains("component") ||
      !CheckComponents(Json::array({metadata["component"]}))) {
    return Refuse(shown, "no metadata.component with a type and a name", error);
  }
  PayloadSbom parsed;
  parsed.component = metadata["component"];
  if (document.contains(kComponentsKey)) parsed.components = document[kComponentsKey];
  if (document.contains(kDependenciesKey)) parsed.dependencies = document[kDependenciesKey];
  if (!CheckComponents(parsed.components)) {
    return Refuse(shown, "components is not a list of components with a type and a name", error);
  }
  if (!CheckDependencies(parsed.dependencies)) {
    return Refuse(shown, "dependencies is not a list of refs and what they depend on", error);
  }
  *sbom = std::move(parsed);
  return true;
}

bool ReadPayloadSbom(const Input& input, PayloadSbom* sbom, std::string* error) {
  const std::string& path = input.path;
  const FileHandle file = input.Get();
  uint64_t size = 0;
  if (!SizeOf(file, path, &size, error)) return false;
  if (size > kMaxPayloadSbomSize) {
    *error = Quoted(path) + " is " + std::to_string(size) + " bytes, more than the " +
             std::to_string(kMaxPayloadSbomSize) + " an SBOM may have";
    return false;
  }
  std::string text(static_cast<size_t>(size), '\0');
  if (!ReadExact(file, text.data(), static_cast<uint32_t>(size))) {
    *error = "cannot read " + DescribeFailure(path);
    return false;
  }
  return ParsePayloadSbom(text, Quoted(path), sbom, error);
}

bool MatchesPayloadHashes(const PayloadSbom& sbom, const Hashes& payload, const std::string& shown,
                          std::string* error) {
  if (!sbom.component.contains(kHashesKey) || !sbom.component[kHashesKey].is_array()) return true;
  const std::pair<const char*, std::string> ours[] = {
      {"SHA-256", HexText(payload.sha256.bytes, sizeof payload.sha256.bytes)},
      {"SHA-512", HexText(payload.sha512.bytes, sizeof payload.sha512.bytes)}};
  for (const Json& hash : sbom.component[kHashesKey]) {
    if (!IsStringMember(hash, "alg") || !IsStringMember(hash, "content")) continue;
    for (const auto& [algorithm, content] : ours) {
      if (hash["alg"] != algorithm || Lowercase(hash["content"].get<std::string>()) == content) {
        continue;
      }
      *error = "the payload's " + std::string(algorithm) + " is " + content + ", " + shown +
               " gives its main component " +
               Escaped(hash["content"].get<std::string>(), EscapeStyle::kMessage);
      return false;
    }
  }
  return true;
}

Json AdoptPayloadSbom(const PayloadSbom& sbom, Json* dependencies) {
  RefRenamer rename;
  if (IsStringMember(sbom.component, kRefKey)) {
    rename.mainRef = sbom.component[kRefKey].get<std::string>();
  }
  Json payload = sbom.component;
  payload[kRefKey] = kPayloadRef;
  // What it is made of: what its main component already nests, then the
  // SBOM's other components.
  Json nested = payload.contains(kComponentsKey) ? payload[kComponentsKey] : Json::array();
  for (const Json& component : sbom.components) nested.push_back(component);
  RenameComponentRefs(&nested, rename);
  payload.erase(kComponentsKey);
  if (!nested.empty()) payload[kComponentsKey] = std::move(nested);

  Json own = {{"ref", kPayloadRef}, {kDependsOnKey, Json::array()}};
  Json rest = Json::array();
  for (const Json& entry : sbom.dependencies) {
    std::string ref = rename(entry["ref"].get<std::string>());
    // An SBOM that lists a ref twice gets one entry with both lists.
    auto same =
        std::find_if(rest.begin(), rest.end(), [&](const Json& e) { return e["ref"] == ref; });
    Json& into = ref == kPayloadRef ? own
                 : same != rest.end()
                     ? *same
                     : rest.emplace_back(Json{{"ref", ref}, {kDependsOnKey, Json::array()}});
    if (!entry.contains(kDependsOnKey)) continue;
    Json& list = into[kDependsOnKey];
    for (const Json& target : entry[kDependsOnKey]) {
      std::string renamed = rename(target.get<std::string>());
      if (std::find(list.begin(), list.end(), renamed) == list.end()) list.push_back(renamed);
    }
  }
  dependencies->push_back(std::move(own));
  for (Json& entry : rest) dependencies->push_back(std::move(entry));
  return payload;
}

}  // namespace zor::pack
