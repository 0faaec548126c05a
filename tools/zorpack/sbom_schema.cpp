#include "sbom_schema.h"

#include <algorithm>
#include <iterator>

namespace zor::pack {

namespace {

// One check of a value at a place; false with `why` set.
using Check = bool (*)(const Json& value, const std::string& place, std::string* why);

struct Member {
  const char* key;
  Check check;
};

// The schema's limit on a component's version.
constexpr size_t kMaxVersionLength = 1024;
// A hash's content: hexadecimal of one of these lengths.
constexpr size_t kHashContentLengths[] = {32, 40, 64, 96, 128};

constexpr const char* kComponentTypes[] = {"application",
                                           "framework",
                                           "library",
                                           "container",
                                           "platform",
                                           "operating-system",
                                           "device",
                                           "device-driver",
                                           "firmware",
                                           "file",
                                           "machine-learning-model",
                                           "data",
                                           "cryptographic-asset"};
constexpr const char* kScopes[] = {"required", "optional", "excluded"};
constexpr const char* kHashAlgorithms[] = {"MD5",         "SHA-1",       "SHA-256",     "SHA-384",
                                           "SHA-512",     "SHA3-256",    "SHA3-384",    "SHA3-512",
                                           "BLAKE2b-256", "BLAKE2b-384", "BLAKE2b-512", "BLAKE3"};
constexpr const char* kAcknowledgements[] = {"declared", "concluded"};
constexpr const char* kEncodings[] = {"base64"};
constexpr const char* kReferenceTypes[] = {"vcs",
                                           "issue-tracker",
                                           "website",
                                           "advisories",
                                           "bom",
                                           "mailing-list",
                                           "social",
                                           "chat",
                                           "documentation",
                                           "support",
                                           "source-distribution",
                                           "distribution",
                                           "distribution-intake",
                                           "license",
                                           "build-meta",
                                           "build-system",
                                           "release-notes",
                                           "security-contact",
                                           "model-card",
                                           "log",
                                           "configuration",
                                           "evidence",
                                           "formulation",
                                           "attestation",
                                           "threat-model",
                                           "adversary-model",
                                           "risk-assessment",
                                           "vulnerability-assertion",
                                           "exploitability-statement",
                                           "pentest-report",
                                           "static-analysis-report",
                                           "dynamic-analysis-report",
                                           "runtime-analysis-report",
                                           "component-analysis-report",
                                           "maturity-report",
                                           "certification-report",
                                           "codified-infrastructure",
                                           "quality-metrics",
                                           "poam",
                                           "electronic-signature",
                                           "digital-signature",
                                           "rfc-9116",
                                           "other"};

bool Fail(const std::string& place, const std::string& what, std::string* why) {
  *why = place + " " + what;
  return false;
}

bool String(const Json& value, const std::string& place, std::string* why) {
  return value.is_string() || Fail(place, "is not a string", why);
}

bool Ref(const Json& value, const std::string& place, std::string* why) {
  if (!String(value, place, why)) return false;
  return !value.get_ref<const std::string&>().empty() || Fail(place, "is empty", why);
}

bool Boolean(const Json& value, const std::string& place, std::string* why) {
  return value.is_boolean() || Fail(place, "is not true or false", why);
}

bool Integer(const Json& value, const std::string& place, std::string* why) {
  return value.is_number_integer() || Fail(place, "is not an integer", why);
}

bool Version(const Json& value, const std::string& place, std::string* why) {
  if (!String(value, place, why)) return false;
  return value.get_ref<const std::string&>().size() <= kMaxVersionLength ||
         Fail(place, "is longer than " + std::to_string(kMaxVersionLength) + " bytes", why);
}

template <size_t kCount>
bool OneOf(const Json& value, const char* const (&allowed)[kCount], const std::string& place,
           std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  return std::any_of(std::begin(allowed), std::end(allowed),
                     [&](const char* name) { return text == name; }) ||
         Fail(place, "is not one of the values CycloneDX 1.6 allows there", why);
}

bool ComponentType(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kComponentTypes, place, why);
}
bool Scope(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kScopes, place, why);
}
bool HashAlgorithm(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kHashAlgorithms, place, why);
}
bool Acknowledgement(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kAcknowledgements, place, why);
}
bool Encoding(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kEncodings, place, why);
}
bool ReferenceType(const Json& value, const std::string& place, std::string* why) {
  return OneOf(value, kReferenceTypes, place, why);
}

bool HashContent(const Json& value, const std::string& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  bool hex = text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  bool length = std::find(std::begin(kHashContentLengths), std::end(kHashContentLengths),
                          text.size()) != std::end(kHashContentLengths);
  return (hex && length) || Fail(place, "is not a hash in hexadecimal", why);
}

template <Check kItem>
bool ArrayOf(const Json& value, const std::string& place, std::string* why) {
  if (!value.is_array()) return Fail(place, "is not a list", why);
  for (size_t i = 0; i < value.size(); ++i) {
    if (!kItem(value[i], place + "[" + std::to_string(i) + "]", why)) return false;
  }
  return true;
}

// An object whose every member is one of `members` and of its type, with
// each of `required`.
template <size_t kCount, size_t kRequired = 1>
bool Members(const Json& value, const Member (&members)[kCount], const std::string& place,
             std::string* why, const char* const (&required)[kRequired] = {nullptr}) {
  if (!value.is_object()) return Fail(place, "is not an object", why);
  for (const char* key : required) {
    if (key != nullptr && !value.contains(key))
      return Fail(place, "has no " + std::string(key), why);
  }
  for (auto at = value.begin(); at != value.end(); ++at) {
    const std::string& key = at.key();
    const Json& item = at.value();
    auto member = std::find_if(std::begin(members), std::end(members),
                               [&](const Member& m) { return key == m.key; });
    if (member == std::end(members)) {
      return Fail(place + "." + key, "is not carried into the product's SBOM by zorpack", why);
    }
    if (!member->check(item, place + "." + key, why)) return false;
  }
  return true;
}

bool Attachment(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"contentType", String}, {"encoding", Encoding}, {"content", String}};
  static constexpr const char* kRequired[] = {"content"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Property(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"name", String}, {"value", String}};
  static constexpr const char* kRequired[] = {"name"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Contact(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"bom-ref", Ref}, {"name", String}, {"email", String}, {"phone", String}};
  return Members(value, kMembers, place, why);
}

bool Address(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"country", String},
                                        {"region", String},
                                        {"locality", String},
                                        {"postalCode", String},
                                        {"streetAddress", String},
                                        {"postOfficeBoxNumber", String}};
  return Members(value, kMembers, place, why);
}

bool Entity(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"name", String},
                                        {"address", Address},
                                        {"url", ArrayOf<String>},
                                        {"contact", ArrayOf<Contact>}};
  return Members(value, kMembers, place, why);
}

bool Hash(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"alg", HashAlgorithm}, {"content", HashContent}};
  static constexpr const char* kRequired[] = {"alg", "content"};
  return Members(value, kMembers, place, why, kRequired);
}

bool License(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"id", String},
                                        {"name", String},
                                        {"text", Attachment},
                                        {"url", String},
                                        {"acknowledgement", Acknowledgement},
                                        {"properties", ArrayOf<Property>}};
  if (!Members(value, kMembers, place, why)) return false;
  // Either an SPDX id or a name, not both.
  return value.contains("id") != value.contains("name") ||
         Fail(place, "has not exactly one of id and name", why);
}

bool LicenseEntry(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"license", License}};
  static constexpr const char* kRequired[] = {"license"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Expression(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"expression", String}, {"acknowledgement", Acknowledgement}, {"bom-ref", Ref}};
  static constexpr const char* kRequired[] = {"expression"};
  return Members(value, kMembers, place, why, kRequired);
}

// A list of licences, or one expression alone.
bool Licenses(const Json& value, const std::string& place, std::string* why) {
  if (value.is_array() && value.size() == 1 && value[0].is_object() &&
      value[0].contains("expression")) {
    return Expression(value[0], place + "[0]", why);
  }
  return ArrayOf<LicenseEntry>(value, place, why);
}

bool ExternalReference(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"url", String}, {"comment", String}, {"type", ReferenceType}, {"hashes", ArrayOf<Hash>}};
  static constexpr const char* kRequired[] = {"url", "type"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Swid(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"tagId", String},  {"name", String},     {"version", String}, {"tagVersion", Integer},
      {"patch", Boolean}, {"text", Attachment}, {"url", String}};
  static constexpr const char* kRequired[] = {"tagId", "name"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Action(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"timestamp", String}, {"name", String}, {"email", String}};
  return Members(value, kMembers, place, why);
}

bool Commit(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"uid", String},
                                        {"url", String},
                                        {"author", Action},
                                        {"committer", Action},
                                        {"message", String}};
  return Members(value, kMembers, place, why);
}

bool Component(const Json& value, const std::string& place, std::string* why);

bool Pedigree(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"ancestors", ArrayOf<Component>},
                                        {"descendants", ArrayOf<Component>},
                                        {"variants", ArrayOf<Component>},
                                        {"commits", ArrayOf<Commit>},
                                        {"notes", String}};
  return Members(value, kMembers, place, why);
}

bool Component(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {{"type", ComponentType},
                                        {"mime-type", String},
                                        {"bom-ref", Ref},
                                        {"supplier", Entity},
                                        {"manufacturer", Entity},
                                        {"authors", ArrayOf<Contact>},
                                        {"author", String},
                                        {"publisher", String},
                                        {"group", String},
                                        {"name", String},
                                        {"version", Version},
                                        {"description", String},
                                        {"scope", Scope},
                                        {"hashes", ArrayOf<Hash>},
                                        {"licenses", Licenses},
                                        {"copyright", String},
                                        {"cpe", String},
                                        {"purl", String},
                                        {"omniborId", ArrayOf<String>},
                                        {"swhid", ArrayOf<String>},
                                        {"swid", Swid},
                                        {"modified", Boolean},
                                        {"pedigree", Pedigree},
                                        {"externalReferences", ArrayOf<ExternalReference>},
                                        {"components", ArrayOf<Component>},
                                        {"properties", ArrayOf<Property>},
                                        {"tags", ArrayOf<String>}};
  static constexpr const char* kRequired[] = {"type", "name"};
  return Members(value, kMembers, place, why, kRequired);
}

}  // namespace

bool CheckComponentTypes(const Json& value, const std::string& place, std::string* why) {
  return Component(value, place, why);
}

bool CheckDependencyTypes(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"ref", Ref}, {"dependsOn", ArrayOf<Ref>}, {"provides", ArrayOf<Ref>}};
  static constexpr const char* kRequired[] = {"ref"};
  return Members(value, kMembers, place, why, kRequired);
}

}  // namespace zor::pack
