#include "pack_text.h"

#include "common/hex_lower.h"
#include "pack_platform.h"

namespace zor::pack {

namespace {

// The length of the well-formed UTF-8 sequence that starts at `at` (no
// overlong forms, surrogates or values past U+10FFFF) and its code point;
// 0 when none starts there.
size_t DecodeUtf8(const std::string& text, size_t at, uint32_t* codePoint) {
  auto byteAt = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  unsigned char lead = byteAt(0);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || lead == 0xC0 || lead == 0xC1 || text.size() - at < length) {
    return 0;
  }
  uint32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byteAt(i) & 0xC0) != 0x80) return 0;  // not a continuation byte
    value = value << 6 | (byteAt(i) & 0x3F);
  }
  constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < kShortest[length] || surrogate || value > 0x10FFFF) return 0;
  *codePoint = value;
  return length;
}

// Characters that a terminal acts on or that change how a line reads:
// C0 and C1 controls, DEL, the bidirectional marks (Arabic letter mark,
// left-to-right and right-to-left marks), the line and paragraph
// separators, and the bidirectional embeddings, overrides and isolates.
bool IsHiddenCharacter(uint32_t codePoint) {
  constexpr uint32_t kArabicLetterMark = 0x061C;
  constexpr uint32_t kLeftToRightMark = 0x200E;
  constexpr uint32_t kRightToLeftMark = 0x200F;
  // The line and paragraph separators run on into the embeddings and
  // overrides.
  constexpr uint32_t kLineSeparator = 0x2028;
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) ||
         codePoint == kArabicLetterMark || codePoint == kLeftToRightMark ||
         codePoint == kRightToLeftMark || (codePoint >= kLineSeparator && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}

void AppendHex(std::string* out, const char* prefix, uint32_t value, int digits) {
  *out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) *out += HexDigit(value >> shift);
}

}  // namespace

std::string Escaped(const std::string& text, EscapeStyle style) {
  // A line break would split the one-line message, an escape sequence (C0
  // or C1, encoded or a raw byte) would reach the terminal, and a
  // bidirectional override would make the line read otherwise than its
  // bytes.
  std::string escaped;
  size_t at = 0;
  while (at < text.size()) {
    auto byte = static_cast<unsigned char>(text[at]);
    uint32_t codePoint = byte;
    size_t length = byte < 0x80 ? 1 : DecodeUtf8(text, at, &codePoint);
    // A byte that starts no character: 0x80 to 0x9F are C1 controls to a
    // terminal that reads single bytes.
    if (length == 0) length = 1;
    if (!IsHiddenCharacter(codePoint)) {
      if (style == EscapeStyle::kJson && (byte == '"' || byte == '\\')) escaped += '\\';
      escaped.append(text, at, length);
    } else if (style == EscapeStyle::kJson) {
      // JSON names the character; a stray byte can only be shown as the
      // code point of the same value.
      AppendHex(&escaped, "\\u", codePoint, 4);
    } else {
      for (size_t i = 0; i < length; ++i) {
        AppendHex(&escaped, "\\x", static_cast<unsigned char>(text[at + i]), 2);
      }
    }
    at += length;
  }
  return escaped;
}

std::string Quoted(const std::string& path) {
  return "'" + Escaped(path, EscapeStyle::kMessage) + "'";
}

std::string DescribeFailure(const std::string& path) {
  std::string reason = LastFailureText();
  return reason.empty() ? Quoted(path) : Quoted(path) + ": " + reason;
}

std::string HexText(const unsigned char* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) AppendHex(&text, "", bytes[i], 2);
  return text;
}

std::string DigestText(const Sha256Digest& digest) {
  return HexText(digest.bytes, sizeof digest.bytes);
}

}  // namespace zor::pack
