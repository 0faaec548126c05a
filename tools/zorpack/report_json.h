// The JSON reports of inspect --json and verify --json: one object on one
// line, built by one writer, with each key named once here (verify's checks
// are keys too, named in verify.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pack_text.h"

namespace zor::pack {

// Both reports.
constexpr char kKeyPayloadOffset[] = "payload_offset";
constexpr char kKeyPayloadSize[] = "payload_size";
constexpr char kKeyPayloadSha256[] = "payload_sha256";
constexpr char kKeyComputedSha256[] = "computed_sha256";
constexpr char kKeyCertificateTableOffset[] = "certificate_table_offset";
constexpr char kKeyCertificateTableSize[] = "certificate_table_size";
// inspect's.
constexpr char kKeyPayloadMatches[] = "payload_matches";
constexpr char kKeyLauncherRecognised[] = "launcher_recognised";
// verify's.
constexpr char kKeyVerdict[] = "verdict";
constexpr char kKeyFirstDifference[] = "first_difference";
constexpr char kKeyFirstDifferenceOffset[] = "first_difference_offset";
constexpr char kKeyLauncherSize[] = "launcher_size";
constexpr char kKeyProductSize[] = "product_size";
constexpr char kKeySignatureChecked[] = "signature_checked";

constexpr char kJsonNull[] = "null";

// A string as a JSON value: quoted, escaped by the messages' one rule.
inline std::string JsonString(const std::string& text) {
  return "\"" + Escaped(text, EscapeStyle::kJson) + "\"";
}

inline std::string JsonBool(bool value) {
  return value ? "true" : "false";
}

// Keys and their values, already JSON (numbers as std::to_string writes them).
using JsonMembers = std::vector<std::pair<const char*, std::string>>;

// {"key": value, ...} and a line break.
inline std::string JsonObjectLine(const JsonMembers& members) {
  std::string line = "{";
  for (const auto& [key, value] : members) {
    if (line.size() > 1) line += ", ";
    line += JsonString(key) + ": " + value;
  }
  return line + "}\n";
}

}  // namespace zor::pack
