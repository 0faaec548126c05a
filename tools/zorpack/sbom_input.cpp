#include "sbom_input.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "keyed_hash.h"
#include "pack_text.h"
#include "packer.h"
#include "sbom_schema.h"

namespace zor::pack {

namespace {

constexpr char kBomFormat[] = "CycloneDX";
constexpr const char* kSupportedSpecVersions[] = {"1.4", "1.5", "1.6"};
constexpr char kRefKey[] = "bom-ref";
constexpr char kComponentsKey[] = "components";
constexpr char kDependenciesKey[] = "dependencies";
constexpr char kDependsOnKey[] = "dependsOn";
constexpr char kProvidesKey[] = "provides";
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

// Whether brackets outside strings open more than the limit of levels at
// once: for JSON, how deeply it nests (the first object is level 1),
// measured in one pass before anything is built. (The parser's callback
// could stop it too, but costs time that grows with the square of a list's
// length.)
bool NestedTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (size_t at = 0; at < text.size(); ++at) {
    char c = text[at];
    if (inString) {
      if (c == '\\') {
        ++at;  // the escaped character cannot end the string
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxPayloadSbomDepth) return true;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return false;
}

// Parses a text of at most kMaxPayloadSbomDepth levels; false with `where`
// saying what is wrong.
bool Parse(const std::string& text, Json* document, std::string* where) {
  try {
    *document = Json::parse(text);
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

// The payload SBOM's members that the merge reads; any other (services,
// compositions, vulnerabilities, annotations, its own external references,
// properties or signature, ...) cannot be carried over as it is and is
// refused rather than left out. Its metadata other than the main component
// describes its own document (when and by what it was made) and is not
// carried over.
constexpr const char* kReadMembers[] = {"$schema", "bomFormat", "specVersion",  "serialNumber",
                                        "version", "metadata",  kComponentsKey, kDependenciesKey};

bool CheckMembersRead(const Json& document, std::string* why) {
  for (auto member = document.begin(); member != document.end(); ++member) {
    const std::string& key = member.key();
    if (std::none_of(std::begin(kReadMembers), std::end(kReadMembers),
                     [&](const char* read) { return key == read; })) {
      *why = key + " is not carried into the product's SBOM by zorpack";
      return false;
    }
  }
  return true;
}

// Every element of `list` (at `place`) passes `check`.
bool CheckList(const Json& list, const std::string& place,
               bool (*check)(const Json&, const std::string&, std::string*), std::string* why) {
  if (!list.is_array()) {
    *why = place + " is not a list";
    return false;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (!check(list[i], place + "[" + std::to_string(i) + "]", why)) return false;
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

// Renames every bom-ref anywhere in `value` (components, licences,
// contacts, pedigree, at any depth), so that none can take one of the
// product's. Recursion is bounded by the reader's depth limit.
void RenameAllRefs(Json* value, const RefRenamer& rename) {
  if (value->is_object()) {
    for (auto& [key, item] : value->items()) {
      if (key == kRefKey && item.is_string()) {
        item = rename(item.get_ref<const std::string&>());
      } else {
        RenameAllRefs(&item, rename);
      }
    }
  } else if (value->is_array()) {
    for (Json& item : *value) RenameAllRefs(&item, rename);
  }
}

}  // namespace

bool ParseJsonText(const std::string& text, const std::string& shown, Json* document,
                   std::string* error) {
  std::string where;
  if (FindNulByte(text, &where)) {
    *error = shown + " is not JSON: " + where;
    return false;
  }
  if (NestedTooDeep(text)) {
    *error =
        shown + " is nested more than " + std::to_string(kMaxPayloadSbomDepth) + " levels deep";
    return false;
  }
  if (!Parse(text, document, &where)) {
    *error = shown + " is not JSON: " + Escaped(where, EscapeStyle::kMessage);
    return false;
  }
  return true;
}

bool ParsePayloadSbom(const std::string& text, const std::string& shown, PayloadSbom* sbom,
                      std::string* error) {
  Json document;
  if (!ParseJsonText(text, shown, &document, error)) return false;
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
  std::string why;
  if (!CheckMembersRead(document, &why))
    return Refuse(shown, Escaped(why, EscapeStyle::kMessage), error);
  const Json& metadata = document.contains("metadata") ? document["metadata"] : Json();
  if (!metadata.is_object() || !metadata.contains("component") ||
      !metadata["component"].is_object()) {
    return Refuse(shown, "no metadata.component with a type and a name", error);
  }
  PayloadSbom parsed;
  parsed.component = std::move(document["metadata"]["component"]);
  if (document.contains(kComponentsKey)) parsed.components = std::move(document[kComponentsKey]);
  if (document.contains(kDependenciesKey)) {
    parsed.dependencies = std::move(document[kDependenciesKey]);
  }
  if (!CheckComponentTypes(parsed.component, "metadata.component", &why) ||
      !CheckList(parsed.components, kComponentsKey, CheckComponentTypes, &why) ||
      !CheckList(parsed.dependencies, kDependenciesKey, CheckDependencyTypes, &why)) {
    return Refuse(shown, Escaped(why, EscapeStyle::kMessage), error);
  }
  *sbom = std::move(parsed);
  return true;
}

bool ReadSmallInput(const Input& input, std::string* text, std::string* error) {
  const std::string& path = input.path;
  const FileHandle file = input.Get();
  uint64_t size = 0;
  if (!SizeOf(file, path, &size, error)) return false;
  if (size > kMaxPayloadSbomSize) {
    *error = Quoted(path) + " is " + std::to_string(size) + " bytes, more than the " +
             std::to_string(kMaxPayloadSbomSize) + " an SBOM may have";
    return false;
  }
  std::string read(static_cast<size_t>(size), '\0');
  StreamedReads whole;  // read once, all of it: nothing to keep
  if (!ReadExact(file, read.data(), static_cast<uint32_t>(size))) {
    *error = "cannot read " + DescribeFailure(path);
    return false;
  }
  *text = std::move(read);
  return true;
}

bool ReadPayloadSbom(const Input& input, PayloadSbom* sbom, std::string* error) {
  std::string text;
  return ReadSmallInput(input, &text, error) &&
         ParsePayloadSbom(text, Quoted(input.path), sbom, error);
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

Json AdoptPayloadSbom(PayloadSbom sbom, Json* dependencies) {
  RefRenamer rename;
  if (IsStringMember(sbom.component, kRefKey)) {
    rename.mainRef = sbom.component[kRefKey].get<std::string>();
  }
  Json payload = std::move(sbom.component);
  // What it is made of: what its main component already nests, then the
  // SBOM's other components.
  Json nested =
      payload.contains(kComponentsKey) ? std::move(payload[kComponentsKey]) : Json::array();
  for (Json& component : sbom.components) nested.push_back(std::move(component));
  payload.erase(kComponentsKey);
  if (!nested.empty()) payload[kComponentsKey] = std::move(nested);
  RenameAllRefs(&payload, rename);
  payload[kRefKey] = kPayloadRef;

  // One entry per ref, each list without repeats, in the order first seen.
  // Refs are looked up by their text in the payload SBOM (which outlives
  // this) and numbered, so that each is renamed once and a list's repeats
  // are found with flat arrays: time and memory grow with the SBOM's size
  // alone, with a small constant.
  struct Entry {
    std::string ref;
    bool has[2] = {true, false};       // dependsOn always, provides if given
    std::vector<uint32_t> targets[2];  // numbers of the refs each names
  };
  constexpr const char* kLists[] = {kDependsOnKey, kProvidesKey};
  std::vector<Entry> entries(1);
  entries[0].ref = kPayloadRef;
  std::unordered_map<std::string_view, size_t, KeyedTextHash> entryOf(sbom.dependencies.size() + 1);
  if (!rename.mainRef.empty()) entryOf.emplace(rename.mainRef, 0);
  std::unordered_map<std::string_view, uint32_t, KeyedTextHash> numberOf(sbom.dependencies.size() +
                                                                         1);
  std::vector<std::string> targetRefs;
  for (const Json& entry : sbom.dependencies) {
    const std::string& ref = entry["ref"].get_ref<const std::string&>();
    auto [at, added] = entryOf.emplace(ref, entries.size());
    if (added) {
      entries.emplace_back();
      entries.back().ref = rename(ref);
    }
    Entry& into = entries[at->second];
    for (size_t list = 0; list < 2; ++list) {
      auto found = entry.find(kLists[list]);
      if (found == entry.end()) continue;
      into.has[list] = true;
      for (const Json& target : *found) {
        const std::string& name = target.get_ref<const std::string&>();
        auto [number, fresh] = numberOf.emplace(name, static_cast<uint32_t>(targetRefs.size()));
        if (fresh) targetRefs.push_back(rename(name));
        into.targets[list].push_back(number->second);
      }
    }
  }
  // A list's stamp on each ref it has named: a ref named twice is skipped.
  std::vector<uint32_t> stamp(targetRefs.size(), 0);
  uint32_t current = 0;
  Json merged = Json::array();
  merged.get_ref<Json::array_t&>().reserve(entries.size());
  for (Entry& entry : entries) {
    Json made = {{"ref", std::move(entry.ref)}};
    for (size_t list = 0; list < 2; ++list) {
      if (!entry.has[list]) continue;
      ++current;
      Json named = Json::array();
      for (uint32_t number : entry.targets[list]) {
        if (stamp[number] == current) continue;
        stamp[number] = current;
        named.push_back(targetRefs[number]);
      }
      made[kLists[list]] = std::move(named);
    }
    merged.push_back(std::move(made));
  }
  for (Json& entry : merged) dependencies->push_back(std::move(entry));
  return payload;
}

}  // namespace zor::pack
