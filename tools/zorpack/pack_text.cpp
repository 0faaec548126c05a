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

// Characters that a terminal acts on, that change how a line reads, or
// that show nothing, so that two different names would print alike: C0
// and C1 controls, DEL, the soft hyphen and the other invisible
// characters, the bidirectional marks, the line and paragraph separators,
// the bidirectional embeddings, overrides and isolates, and the tags.
struct CodePointRange {
  uint32_t first;
  uint32_t last;
};
constexpr CodePointRange kHiddenCharacters[] = {
    {0x0000, 0x001F},    // C0 controls
    {0x007F, 0x009F},    // DEL and the C1 controls
    {0x00AD, 0x00AD},    // soft hyphen
    {0x034F, 0x034F},    // combining grapheme joiner
    {0x061C, 0x061C},    // Arabic letter mark
    {0x115F, 0x1160},    // Hangul fillers
    {0x180E, 0x180E},    // Mongolian vowel separator
    {0x200B, 0x200F},    // zero-width spaces and joiners, the direction marks
    {0x2028, 0x202E},    // line and paragraph separators, embeddings, overrides
    {0x2060, 0x2064},    // word joiner and the invisible operators
    {0x2066, 0x2069},    // the isolates
    {0x3164, 0x3164},    // Hangul filler
    {0xFEFF, 0xFEFF},    // zero-width no-break space (byte order mark)
    {0xFFA0, 0xFFA0},    // halfwidth Hangul filler
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x1D173, 0x1D17A},  // musical formatting
    {0xE0000, 0xE007F},  // tags
};

// UTF-16, as JSON's \u escapes spell characters.
constexpr uint32_t kLastSingleUnit = 0xFFFF;
constexpr uint32_t kFirstPairedCodePoint = 0x10000;
constexpr uint32_t kHighSurrogateBase = 0xD800;
constexpr uint32_t kLowSurrogateBase = 0xDC00;

bool IsHiddenCharacter(uint32_t codePoint) {
  for (const CodePointRange& range : kHiddenCharacters) {
    if (codePoint >= range.first && codePoint <= range.last) return true;
  }
  return false;
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
    // Printable ASCII, most of any text, needs no look-up.
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      escaped += static_cast<char>(byte);
      ++at;
      continue;
    }
    uint32_t codePoint = byte;
    size_t length = byte < 0x80 ? 1 : DecodeUtf8(text, at, &codePoint);
    // A byte that starts no character: 0x80 to 0x9F are C1 controls to a
    // terminal that reads single bytes, and JSON must be UTF-8 throughout.
    bool stray = length == 0;
    if (stray) length = 1;
    if (!IsHiddenCharacter(codePoint) && !(stray && style == EscapeStyle::kJson)) {
      if (style == EscapeStyle::kJson && (byte == '"' || byte == '\\')) escaped += '\\';
      escaped.append(text, at, length);
    } else if (style == EscapeStyle::kJson) {
      // JSON names the character, past U+FFFF as a surrogate pair; a stray
      // byte can only be shown as the code point of the same value.
      if (codePoint > kLastSingleUnit) {
        uint32_t offset = codePoint - kFirstPairedCodePoint;
        AppendHex(&escaped, "\\u", kHighSurrogateBase + (offset >> 10), 4);
        codePoint = kLowSurrogateBase + (offset & 0x3FF);
      }
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
