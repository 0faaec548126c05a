// The canonical form and base64url: plain text work, the same on every
// platform. The signing itself is in sbom_signature_openssl.cpp.
#include "sbom_signature.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace zor::pack {

namespace {

constexpr char kBase64UrlAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr char kHexDigits[] = "0123456789abcdef";
// ECMAScript writes a number in plain decimal notation up to 21 digits
// before the point and 6 zeros after it; beyond, with an exponent.
constexpr int kLargestPlainExponent = 21;
constexpr int kSmallestPlainExponent = -6;
constexpr uint32_t kLastCodePoint = 0x10FFFF;
constexpr uint32_t kFirstSurrogate = 0xD800;
constexpr uint32_t kLastSurrogate = 0xDFFF;
constexpr uint32_t kFirstSupplementary = 0x10000;

// Decodes one UTF-8 sequence of `text` at `*at` and moves past it; false
// for a byte sequence that is not UTF-8 (overlong, a surrogate, beyond
// U+10FFFF, cut short).
bool NextCodePoint(const std::string& text, size_t* at, uint32_t* codePoint) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(*at);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 0 || *at + length > text.size()) return false;
  static constexpr uint32_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  uint32_t value = lead & kLeadMask[length];
  for (size_t i = 1; i < length; ++i) {
    if ((byte(*at + i) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(*at + i) & 0x3F);
  }
  if (value < kSmallest[length] || value > kLastCodePoint ||
      (value >= kFirstSurrogate && value <= kLastSurrogate)) {
    return false;
  }
  *at += length;
  *codePoint = value;
  return true;
}

// `text` as UTF-16 code units, the order ECMAScript sorts keys in.
bool Utf16Units(const std::string& text, std::u16string* units) {
  units->clear();
  for (size_t at = 0; at < text.size();) {
    uint32_t c = 0;
    if (!NextCodePoint(text, &at, &c)) return false;
    if (c < kFirstSupplementary) {
      units->push_back(static_cast<char16_t>(c));
    } else {
      c -= kFirstSupplementary;
      units->push_back(static_cast<char16_t>(kFirstSurrogate + (c >> 10)));
      units->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  }
  return true;
}

// A string as JSON.stringify writes it: the two-character escapes, other
// controls as \u00xx, everything else as it is.
bool AppendString(const std::string& text, std::string* out) {
  std::u16string unused;
  if (!Utf16Units(text, &unused)) return false;
  out->push_back('"');
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\b':
        *out += "\\b";
        break;
      case '\f':
        *out += "\\f";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (u < 0x20) {
          *out += "\\u00";
          out->push_back(kHexDigits[u >> 4]);
          out->push_back(kHexDigits[u & 0xF]);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
  return true;
}

// A finite double as ECMAScript's Number::toString writes it: the shortest
// digits that read back as the same double, in plain notation for
// exponents from -6 to 20, else as d.ddde±x.
std::string EcmaNumber(double value) {
  if (value == 0) return "0";  // -0 too
  if (value < 0) return "-" + EcmaNumber(-value);
  char buffer[64];
  std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string scientific(buffer, result.ptr);
  size_t e = scientific.find('e');
  std::string digits = scientific.substr(0, e);
  digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
  int k = static_cast<int>(digits.size());
  int n = std::stoi(scientific.substr(e + 1)) + 1;
  if (k <= n && n <= kLargestPlainExponent) return digits + std::string(n - k, '0');
  if (0 < n && n <= kLargestPlainExponent) return digits.substr(0, n) + "." + digits.substr(n);
  if (kSmallestPlainExponent < n && n <= 0) return "0." + std::string(-n, '0') + digits;
  std::string exponent = (n - 1 < 0 ? "e-" : "e+") + std::to_string(std::abs(n - 1));
  return digits.substr(0, 1) + (k > 1 ? "." + digits.substr(1) : "") + exponent;
}

bool AppendNumber(const Json& value, std::string* out) {
  if (value.is_number_integer()) {
    // Exact in a double up to 2^53 in magnitude; beyond, a reader would
    // round it to another number than the one signed.
    constexpr int64_t kLimit = static_cast<int64_t>(kLargestExactInteger);
    bool exact = value.is_number_unsigned()
                     ? value.get<uint64_t>() <= static_cast<uint64_t>(kLimit)
                     : value.get<int64_t>() >= -kLimit && value.get<int64_t>() <= kLimit;
    if (!exact) return false;
    *out += value.dump();
    return true;
  }
  double d = value.get<double>();
  if (!std::isfinite(d)) return false;
  *out += EcmaNumber(d);
  return true;
}

bool AppendCanonical(const Json& value, bool topLevel, const std::string& where, std::string* out,
                     std::string* error);

bool AppendObject(const Json& object, bool topLevel, const std::string& where, std::string* out,
                  std::string* error) {
  std::vector<std::pair<std::u16string, Json::const_iterator>> members;
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (topLevel && it.key() == kSignatureMember) continue;
    std::u16string units;
    if (!Utf16Units(it.key(), &units)) {
      *error = "a key in " + where + " is not UTF-8";
      return false;
    }
    members.emplace_back(std::move(units), it);
  }
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  out->push_back('{');
  for (size_t i = 0; i < members.size(); ++i) {
    if (i > 0) out->push_back(',');
    const std::string& key = members[i].second.key();
    AppendString(key, out);
    out->push_back(':');
    if (!AppendCanonical(members[i].second.value(), false, where + "." + key, out, error)) {
      return false;
    }
  }
  out->push_back('}');
  return true;
}

bool AppendCanonical(const Json& value, bool topLevel, const std::string& where, std::string* out,
                     std::string* error) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::boolean:
      *out += value.dump();
      return true;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      if (AppendNumber(value, out)) return true;
      *error =
          where + " is a number a JSON reader would not read back exactly (" + value.dump() + ")";
      return false;
    case Json::value_t::string:
      if (AppendString(value.get_ref<const std::string&>(), out)) return true;
      *error = where + " is not UTF-8";
      return false;
    case Json::value_t::array:
      out->push_back('[');
      for (size_t i = 0; i < value.size(); ++i) {
        if (i > 0) out->push_back(',');
        if (!AppendCanonical(value[i], false, where + "[" + std::to_string(i) + "]", out, error)) {
          return false;
        }
      }
      out->push_back(']');
      return true;
    case Json::value_t::object:
      return AppendObject(value, topLevel, where, out, error);
    default:
      *error = where + " is not a JSON value";
      return false;
  }
}

}  // namespace

bool CanonicalForm(const Json& value, std::string* text, std::string* error) {
  std::string out;
  if (!AppendCanonical(value, true, "the document", &out, error)) return false;
  *text = std::move(out);
  return true;
}

std::string Base64Url(const std::string& bytes) {
  std::string text;
  text.reserve((bytes.size() * 4 + 2) / 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : bytes) {
    bits = (bits << 8) | static_cast<unsigned char>(c);
    count += 8;
    while (count >= 6) {
      count -= 6;
      text.push_back(kBase64UrlAlphabet[(bits >> count) & 0x3F]);
    }
  }
  if (count > 0) text.push_back(kBase64UrlAlphabet[(bits << (6 - count)) & 0x3F]);
  return text;
}

bool FromBase64Url(const std::string& text, std::string* bytes) {
  // One character left over holds fewer than 8 bits: no encoder writes it.
  if (text.size() % 4 == 1) return false;
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const char* found = c == '\0' ? nullptr : strchr(kBase64UrlAlphabet, c);
    if (found == nullptr) return false;
    bits = (bits << 6) | static_cast<uint32_t>(found - kBase64UrlAlphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  // The bits left over must be zero, so that one value has one spelling.
  if ((bits & ((1u << count) - 1)) != 0) return false;
  *bytes = std::move(out);
  return true;
}

}  // namespace zor::pack
