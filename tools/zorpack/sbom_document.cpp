#include "sbom_document.h"

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "keyed_hash.h"
#include "pack_text.h"
#include "payload/sha256.h"
#include "report_json.h"

namespace zor::pack {

namespace {

constexpr char kRefKey[] = "bom-ref";
constexpr char kComponentsKey[] = "components";
constexpr char kSerialNumberKey[] = "serialNumber";
constexpr char kSpecVersionKey[] = "specVersion";
// The lists of components a component may hold besides its own components.
constexpr const char* kPedigreeLists[] = {"ancestors", "descendants", "variants"};
constexpr const char* kRefLists[] = {"dependsOn", "provides"};

// A UUID of version 8 (RFC 9562): 16 bytes of the digest, the version in
// the high bits of byte 6, the variant 0b10 in the high bits of byte 8.
constexpr size_t kUuidSize = 16;
constexpr unsigned char kUuidVersion = 0x80;
constexpr unsigned char kUuidVariant = 0x80;
constexpr char kUuidPrefix[] = "urn:uuid:";
// Hashed in pieces that the hash interface's 32-bit count takes.
constexpr size_t kHashPiece = 1u << 30;

std::string Shown(const std::string& text) {
  return "'" + Escaped(text, EscapeStyle::kMessage) + "'";
}

// What the messages call a component: its bom-ref, else its name.
std::string ComponentShown(const Json& component) {
  for (const char* key : {kRefKey, "name"}) {
    if (component.contains(key) && component[key].is_string()) {
      return "the component " + Shown(component[key].get<std::string>());
    }
  }
  return "a component";
}

// Every bom-ref anywhere in `value` into `refs`; false at the first that is
// there already.
bool CollectRefs(const Json& value, std::unordered_set<std::string_view, KeyedTextHash>* refs,
                 std::string* why) {
  if (value.is_object()) {
    for (auto at = value.begin(); at != value.end(); ++at) {
      const Json& item = at.value();
      if (at.key() == kRefKey && item.is_string()) {
        if (!refs->insert(item.get_ref<const std::string&>()).second) {
          *why = "two elements have the bom-ref " + Shown(item.get<std::string>());
          return false;
        }
      } else if (!CollectRefs(item, refs, why)) {
        return false;
      }
    }
  } else if (value.is_array()) {
    for (const Json& item : value) {
      if (!CollectRefs(item, refs, why)) return false;
    }
  }
  return true;
}

// A hash that, as JSON's equality, does not depend on the order of an
// object's members; equal values hash alike.
size_t Fingerprint(const Json& value) {
  constexpr auto kMix = static_cast<size_t>(0x9e3779b97f4a7c15ull);
  switch (value.type()) {
    case Json::value_t::object: {
      size_t sum = 1;
      for (const auto& [key, item] : value.items()) {
        sum += KeyedHash(key) * kMix ^ Fingerprint(item);
      }
      return sum;
    }
    case Json::value_t::array: {
      size_t hash = 2;
      for (const Json& item : value) hash = hash * kMix + Fingerprint(item);
      return hash;
    }
    case Json::value_t::string:
      return KeyedHash(value.get_ref<const std::string&>());
    default:
      return KeyedHash(value.dump());
  }
}

// JSON's equality: objects equal whatever the order of their members.
bool SameJson(const Json& a, const Json& b) {
  if (a.is_object() && b.is_object()) {
    if (a.size() != b.size()) return false;
    for (const auto& [key, item] : a.items()) {
      if (!b.contains(key) || !SameJson(item, b[key])) return false;
    }
    return true;
  }
  if (a.is_array() && b.is_array()) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameJson);
  }
  return a == b;
}

// Every component of `list`, and what each holds, has a type and a name,
// and is there once (one with a bom-ref is by the bom-ref check); their
// bom-refs into `components`, each numbered in the order met.
using ComponentNumbers = std::unordered_map<std::string_view, uint32_t, KeyedTextHash>;
bool CheckComponents(const Json& list, ComponentNumbers* components, std::string* why) {
  if (!list.is_array()) {
    *why = "a list of components is not a list";
    return false;
  }
  std::unordered_map<size_t, std::vector<const Json*>> unnamed;
  for (const Json& component : list) {
    if (!component.is_object() || !component.contains("type") || !component["type"].is_string() ||
        !component.contains("name") || !component["name"].is_string()) {
      *why = ComponentShown(component) + " has no type or no name";
      return false;
    }
    if (component.contains(kRefKey)) {
      const std::string& ref = component[kRefKey].get_ref<const std::string&>();
      components->emplace(ref, static_cast<uint32_t>(components->size()));
    } else {
      std::vector<const Json*>& same = unnamed[Fingerprint(component)];
      if (std::any_of(same.begin(), same.end(),
                      [&](const Json* other) { return SameJson(*other, component); })) {
        *why = ComponentShown(component) + " is listed twice in one list";
        return false;
      }
      same.push_back(&component);
    }
    if (component.contains(kComponentsKey) &&
        !CheckComponents(component[kComponentsKey], components, why)) {
      return false;
    }
    if (!component.contains("pedigree")) continue;
    for (const char* key : kPedigreeLists) {
      if (component["pedigree"].contains(key) &&
          !CheckComponents(component["pedigree"][key], components, why)) {
        return false;
      }
    }
  }
  return true;
}

// Every ref of the dependencies names a component; each ref has one entry,
// and each of its lists names a component once (found by a stamp per
// component rather than a set of strings: the lists may hold millions).
bool CheckDependencies(const Json& dependencies, const ComponentNumbers& components,
                       std::string* why) {
  auto unknown = [&](const std::string& ref, const std::string& where) {
    *why = where + " names " + Shown(ref) + ", which no component of the document has";
    return false;
  };
  std::vector<bool> hasEntry(components.size(), false);
  std::vector<uint32_t> stamp(components.size(), 0);
  uint32_t current = 0;
  for (const Json& entry : dependencies) {
    const std::string& ref = entry["ref"].get_ref<const std::string&>();
    auto own = components.find(ref);
    if (own == components.end()) return unknown(ref, "a dependency");
    if (hasEntry[own->second]) {
      *why = "the dependencies of " + Shown(ref) + " are given twice";
      return false;
    }
    hasEntry[own->second] = true;
    for (const char* list : kRefLists) {
      auto found = entry.find(list);
      if (found == entry.end()) continue;
      ++current;
      for (const Json& target : *found) {
        const std::string& to = target.get_ref<const std::string&>();
        auto named = components.find(to);
        if (named == components.end()) {
          return unknown(to, "the " + std::string(list) + " of " + Shown(ref));
        }
        if (stamp[named->second] == current) {
          *why =
              "the " + std::string(list) + " of " + Shown(ref) + " names " + Shown(to) + " twice";
          return false;
        }
        stamp[named->second] = current;
      }
    }
  }
  return true;
}

void Indent(int spaces, std::string* out) {
  out->append(static_cast<size_t>(spaces), ' ');
}

// `text` as a JSON string: most are printable ASCII without a quote or a
// backslash, and go out as they are, without the escaping rule's look-ups
// and temporary copies.
void WriteString(const std::string& text, std::string* out) {
  bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
  });
  if (!plain) {
    *out += JsonString(text);
    return;
  }
  *out += '"';
  *out += text;
  *out += '"';
}

void Write(const Json& value, int indent, int level, std::string* out) {
  bool object = value.is_object();
  if (object || value.is_array()) {
    if (value.empty()) {
      *out += object ? "{}" : "[]";
      return;
    }
    *out += object ? "{\n" : "[\n";
    bool first = true;
    for (auto item = value.begin(); item != value.end(); ++item) {
      if (!first) *out += ",\n";
      first = false;
      Indent(indent * (level + 1), out);
      if (object) {
        WriteString(item.key(), out);
        *out += ": ";
      }
      Write(item.value(), indent, level + 1, out);
    }
    *out += "\n";
    Indent(indent * level, out);
    *out += object ? "}" : "]";
    return;
  }
  if (value.is_string()) {
    WriteString(value.get_ref<const std::string&>(), out);
    return;
  }
  *out += value.dump();  // a number, true, false or null
}

}  // namespace

bool CheckSbomDocument(const Json& bom, std::string* why) {
  std::unordered_set<std::string_view, KeyedTextHash> refs;
  if (!CollectRefs(bom, &refs, why)) return false;
  bool complete = bom.contains("metadata") && bom["metadata"].contains("component") &&
                  bom.contains(kComponentsKey) && bom.contains("dependencies") &&
                  bom["dependencies"].is_array();
  if (!complete) {
    *why = "no main component, components or dependencies";
    return false;
  }
  ComponentNumbers components(refs.size());
  Json main = Json::array({bom["metadata"]["component"]});
  if (!CheckComponents(main, &components, why) ||
      !CheckComponents(bom[kComponentsKey], &components, why)) {
    return false;
  }
  return CheckDependencies(bom["dependencies"], components, why);
}

std::string SerialNumberOf(const Sha256Digest& digest) {
  unsigned char uuid[kUuidSize];
  std::copy(digest.bytes, digest.bytes + kUuidSize, uuid);
  uuid[6] = static_cast<unsigned char>((uuid[6] & 0x0f) | kUuidVersion);
  uuid[8] = static_cast<unsigned char>((uuid[8] & 0x3f) | kUuidVariant);
  std::string hex = HexText(uuid, kUuidSize);
  return kUuidPrefix + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}

bool SetSerialNumber(Json* bom, std::string* error) {
  std::string text = JsonText(*bom, 0);
  ScopedSha256 hash(BeginSha256());
  bool hashed = hash.IsValid();
  for (size_t at = 0; hashed && at < text.size(); at += kHashPiece) {
    size_t piece = std::min(kHashPiece, text.size() - at);
    hashed = UpdateSha256(hash.Get(), text.data() + at, static_cast<uint32_t>(piece));
  }
  Sha256Digest digest;
  if (!hashed || !FinishSha256(hash.Get(), &digest)) {
    *error = "cannot compute a SHA-256 for the SBOM's serial number";
    return false;
  }
  Json serialized = Json::object();
  for (auto& [key, value] : bom->items()) {
    serialized[key] = std::move(value);
    if (key == kSpecVersionKey) serialized[kSerialNumberKey] = SerialNumberOf(digest);
  }
  *bom = std::move(serialized);
  return true;
}

std::string JsonText(const Json& value, int indent) {
  std::string text;
  Write(value, indent, 0, &text);
  text += '\n';
  return text;
}

}  // namespace zor::pack
