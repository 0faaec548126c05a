#include "sbom_schema.h"

#include <string.h>

#include <algorithm>
#include <iterator>

namespace zor::pack {

namespace {

// Where a value is: the text a caller gave, a member of a place, or an item
// of a list. Made into text only when a check fails, so that checking a
// large SBOM builds no strings.
struct Place {
  const Place* parent;
  const std::string* name;  // the caller's text, or a member's name; null for an item
  size_t index;
};

Place MemberOf(const Place& parent, const std::string& name) {
  return {&parent, &name, 0};
}

Place ItemOf(const Place& parent, size_t index) {
  return {&parent, nullptr, index};
}

std::string PlaceText(const Place& place) {
  if (place.parent == nullptr) return *place.name;
  std::string text = PlaceText(*place.parent);
  if (place.name != nullptr) return text + "." + *place.name;
  return text + "[" + std::to_string(place.index) + "]";
}

// One check of a value at a place; false with `why` set.
using Check = bool (*)(const Json& value, const Place& place, std::string* why);

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

// The SPDX ids that CycloneDX 1.6 allows as a licence's id, sorted by byte.
constexpr const char* kSpdxIds[] = {
#include "spdx_license_ids.inc"
};

// An e-mail address as an SMTP mailbox (how the CycloneDX validator reads
// the schema's "idn-email"): a dot-string local part and a domain of at
// least two labels of letters, digits (or any non-ASCII) and inner hyphens,
// the last of at least two characters. Lengths count UTF-16 units, as the
// validator does. Quoted local parts and address literals, which the
// validator also takes, are refused: no real author's address needs them.
constexpr size_t kMaxEmailUnits = 986;
constexpr size_t kMaxDomainUnits = 253;
constexpr size_t kMaxLabelUnits = 63;
constexpr size_t kMinTopLabelUnits = 2;
constexpr char kAtomPunctuation[] = "!#$%&'*+-/=?^_`{|}~";

// A media type: the schema's pattern for a component's mime-type.
constexpr char kMimeTypeCharacters[] = "-+abcdefghijklmnopqrstuvwxyz0123456789.";

// Days in each month of a year that is not a leap year.
constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool Fail(const Place& place, const std::string& what, std::string* why) {
  *why = PlaceText(place) + " " + what;
  return false;
}

bool String(const Json& value, const Place& place, std::string* why) {
  return value.is_string() || Fail(place, "is not a string", why);
}

bool Ref(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  return !value.get_ref<const std::string&>().empty() || Fail(place, "is empty", why);
}

bool Boolean(const Json& value, const Place& place, std::string* why) {
  return value.is_boolean() || Fail(place, "is not true or false", why);
}

bool Integer(const Json& value, const Place& place, std::string* why) {
  return value.is_number_integer() || Fail(place, "is not an integer", why);
}

bool Version(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  return value.get_ref<const std::string&>().size() <= kMaxVersionLength ||
         Fail(place, "is longer than " + std::to_string(kMaxVersionLength) + " bytes", why);
}

template <size_t kCount>
bool OneOf(const Json& value, const char* const (&allowed)[kCount], const Place& place,
           std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  return std::any_of(std::begin(allowed), std::end(allowed),
                     [&](const char* name) { return text == name; }) ||
         Fail(place, "is not one of the values CycloneDX 1.6 allows there", why);
}

bool ComponentType(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kComponentTypes, place, why);
}
bool Scope(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kScopes, place, why);
}
bool HashAlgorithm(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kHashAlgorithms, place, why);
}
bool Acknowledgement(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kAcknowledgements, place, why);
}
bool Encoding(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kEncodings, place, why);
}
bool ReferenceType(const Json& value, const Place& place, std::string* why) {
  return OneOf(value, kReferenceTypes, place, why);
}

bool HashContent(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  bool hex = text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  bool length = std::find(std::begin(kHashContentLengths), std::end(kHashContentLengths),
                          text.size()) != std::end(kHashContentLengths);
  return (hex && length) || Fail(place, "is not a hash in hexadecimal", why);
}

bool SpdxId(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const char* text = value.get_ref<const std::string&>().c_str();
  bool known = std::binary_search(std::begin(kSpdxIds), std::end(kSpdxIds), text,
                                  [](const char* a, const char* b) { return strcmp(a, b) < 0; });
  // A NUL byte would end the search's text early.
  known = known && strlen(text) == value.get_ref<const std::string&>().size();
  return known || Fail(place, "is not an SPDX licence id (give the licence as a name)", why);
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// UTF-16 units of UTF-8 text: one for each character, two above U+FFFF.
size_t Utf16Units(const std::string& text, size_t from, size_t to) {
  size_t units = 0;
  for (size_t at = from; at < to; ++at) {
    auto c = static_cast<unsigned char>(text[at]);
    if ((c & 0xc0) != 0x80) ++units;
    if (c >= 0xf0) ++units;
  }
  return units;
}

// A dot-string: atoms of atext (or any non-ASCII) joined by single dots.
bool IsDotString(const std::string& text, size_t from, size_t to) {
  bool atomStart = true;
  for (size_t at = from; at < to; ++at) {
    auto c = static_cast<unsigned char>(text[at]);
    if (c == '.') {
      if (atomStart) return false;
      atomStart = true;
      continue;
    }
    if (!IsAsciiAlnum(c) && c < 0x80 && (c == 0 || strchr(kAtomPunctuation, c) == nullptr)) {
      return false;
    }
    atomStart = false;
  }
  return !atomStart;
}

// A domain name of at least two labels within the limits above.
bool IsDomain(const std::string& text, size_t from, size_t to) {
  if (Utf16Units(text, from, to) > kMaxDomainUnits) return false;
  size_t labels = 0;
  for (size_t start = from; start <= to; ++labels) {
    size_t end = text.find('.', start);
    if (end == std::string::npos || end > to) end = to;
    if (end == start || Utf16Units(text, start, end) > kMaxLabelUnits) return false;
    for (size_t at = start; at < end; ++at) {
      auto c = static_cast<unsigned char>(text[at]);
      bool inner = at != start && at + 1 != end;
      if (!IsAsciiAlnum(c) && c < 0x80 && !(c == '-' && inner)) return false;
    }
    if (end == to) {
      return labels >= 1 && Utf16Units(text, start, end) >= kMinTopLabelUnits;
    }
    start = end + 1;
  }
  return false;
}

bool Email(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  size_t at = text.find('@');
  bool valid = at != std::string::npos && Utf16Units(text, 0, text.size()) <= kMaxEmailUnits &&
               IsDotString(text, 0, at) && IsDomain(text, at + 1, text.size());
  return valid || Fail(place, "is not an e-mail address", why);
}

bool MimeType(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  size_t slash = text.find('/');
  bool valid = slash != std::string::npos && slash != 0 && slash + 1 != text.size() &&
               text.find_first_not_of(kMimeTypeCharacters) == slash &&
               text.find_first_not_of(kMimeTypeCharacters, slash + 1) == std::string::npos;
  return valid || Fail(place, "is not a media type (type/subtype, lower case)", why);
}

// `count` decimal digits of `text` at `at`, as a number; false if fewer.
bool Digits(const std::string& text, size_t at, size_t count, int* number) {
  if (at + count > text.size()) return false;
  *number = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *number = *number * 10 + (text[i] - '0');
  }
  return true;
}

// RFC 3339's full-date: YYYY-MM-DD, a day that the month has.
bool IsDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, &year) ||
      !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &day) || month < 1 || month > 12) {
    return false;
  }
  bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  int days = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
  return day >= 1 && day <= days;
}

// RFC 3339's full-time with its offset (Z, +hh, +hhmm or +hh:mm), as the
// validator reads it: a leap second only at 23:59 UTC.
bool IsTime(const std::string& text) {
  int hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 2, &hour) || text.size() < 8 || text[2] != ':' ||
      !Digits(text, 3, 2, &minute) || text[5] != ':' || !Digits(text, 6, 2, &second)) {
    return false;
  }
  size_t at = 8;
  if (at < text.size() && text[at] == '.') {
    size_t digits = text.find_first_not_of("0123456789", at + 1);
    if (digits == at + 1) return false;
    at = digits == std::string::npos ? text.size() : digits;
  }
  if (at == text.size()) return false;  // no offset
  int sign = 1, offsetHour = 0, offsetMinute = 0;
  if (text[at] == 'z' || text[at] == 'Z') {
    if (at + 1 != text.size()) return false;
  } else {
    if (text[at] != '+' && text[at] != '-') return false;
    sign = text[at] == '-' ? -1 : 1;
    if (!Digits(text, at + 1, 2, &offsetHour)) return false;
    size_t rest = at + 3;
    if (rest < text.size() && text[rest] == ':') ++rest;
    if (rest < text.size() && !Digits(text, rest, 2, &offsetMinute)) return false;
    if (rest < text.size() && rest + 2 != text.size()) return false;
    if (rest == text.size() && text[rest - 1] == ':') return false;
  }
  if (offsetHour > 23 || offsetMinute > 59) return false;
  if (hour <= 23 && minute <= 59 && second < 60) return true;
  int utcMinute = minute - offsetMinute * sign;
  int utcHour = hour - offsetHour * sign - (utcMinute < 0 ? 1 : 0);
  return (utcHour == 23 || utcHour == -1) && (utcMinute == 59 || utcMinute == -1) && second < 61;
}

bool DateTime(const Json& value, const Place& place, std::string* why) {
  if (!String(value, place, why)) return false;
  const std::string& text = value.get_ref<const std::string&>();
  size_t separator = text.find_first_of("Tt ");
  bool valid = separator != std::string::npos && IsDate(text.substr(0, separator)) &&
               IsTime(text.substr(separator + 1));
  return valid || Fail(place, "is not a date and time as RFC 3339 writes them", why);
}

template <Check kItem>
bool ArrayOf(const Json& value, const Place& place, std::string* why) {
  if (!value.is_array()) return Fail(place, "is not a list", why);
  for (size_t i = 0; i < value.size(); ++i) {
    if (!kItem(value[i], ItemOf(place, i), why)) return false;
  }
  return true;
}

// An object whose every member is one of `members` and of its type, with
// each of `required`.
template <size_t kCount, size_t kRequired = 1>
bool Members(const Json& value, const Member (&members)[kCount], const Place& place,
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
      return Fail(MemberOf(place, key), "is not carried into the product's SBOM by zorpack", why);
    }
    if (!member->check(item, MemberOf(place, key), why)) return false;
  }
  return true;
}

bool Attachment(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"contentType", String}, {"encoding", Encoding}, {"content", String}};
  static constexpr const char* kRequired[] = {"content"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Property(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"name", String}, {"value", String}};
  static constexpr const char* kRequired[] = {"name"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Contact(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"bom-ref", Ref}, {"name", String}, {"email", Email}, {"phone", String}};
  return Members(value, kMembers, place, why);
}

bool Address(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"country", String},
                                        {"region", String},
                                        {"locality", String},
                                        {"postalCode", String},
                                        {"streetAddress", String},
                                        {"postOfficeBoxNumber", String}};
  return Members(value, kMembers, place, why);
}

bool Entity(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"name", String},
                                        {"address", Address},
                                        {"url", ArrayOf<String>},
                                        {"contact", ArrayOf<Contact>}};
  return Members(value, kMembers, place, why);
}

bool Hash(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"alg", HashAlgorithm}, {"content", HashContent}};
  static constexpr const char* kRequired[] = {"alg", "content"};
  return Members(value, kMembers, place, why, kRequired);
}

bool License(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"bom-ref", Ref},
                                        {"id", SpdxId},
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

bool LicenseEntry(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"license", License}};
  static constexpr const char* kRequired[] = {"license"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Expression(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"expression", String}, {"acknowledgement", Acknowledgement}, {"bom-ref", Ref}};
  static constexpr const char* kRequired[] = {"expression"};
  return Members(value, kMembers, place, why, kRequired);
}

// A list of licences, or one expression alone.
bool Licenses(const Json& value, const Place& place, std::string* why) {
  if (value.is_array() && value.size() == 1 && value[0].is_object() &&
      value[0].contains("expression")) {
    return Expression(value[0], ItemOf(place, 0), why);
  }
  return ArrayOf<LicenseEntry>(value, place, why);
}

bool ExternalReference(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"url", String}, {"comment", String}, {"type", ReferenceType}, {"hashes", ArrayOf<Hash>}};
  static constexpr const char* kRequired[] = {"url", "type"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Swid(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"tagId", String},  {"name", String},     {"version", String}, {"tagVersion", Integer},
      {"patch", Boolean}, {"text", Attachment}, {"url", String}};
  static constexpr const char* kRequired[] = {"tagId", "name"};
  return Members(value, kMembers, place, why, kRequired);
}

bool Action(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"timestamp", DateTime}, {"name", String}, {"email", Email}};
  return Members(value, kMembers, place, why);
}

bool Commit(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"uid", String},
                                        {"url", String},
                                        {"author", Action},
                                        {"committer", Action},
                                        {"message", String}};
  return Members(value, kMembers, place, why);
}

bool Component(const Json& value, const Place& place, std::string* why);

bool Pedigree(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"ancestors", ArrayOf<Component>},
                                        {"descendants", ArrayOf<Component>},
                                        {"variants", ArrayOf<Component>},
                                        {"commits", ArrayOf<Commit>},
                                        {"notes", String}};
  return Members(value, kMembers, place, why);
}

bool Component(const Json& value, const Place& place, std::string* why) {
  static constexpr Member kMembers[] = {{"type", ComponentType},
                                        {"mime-type", MimeType},
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
  return Component(value, Place{nullptr, &place, 0}, why);
}

bool CheckDependencyTypes(const Json& value, const std::string& place, std::string* why) {
  static constexpr Member kMembers[] = {
      {"ref", Ref}, {"dependsOn", ArrayOf<Ref>}, {"provides", ArrayOf<Ref>}};
  static constexpr const char* kRequired[] = {"ref"};
  return Members(value, kMembers, Place{nullptr, &place, 0}, why, kRequired);
}

}  // namespace zor::pack
