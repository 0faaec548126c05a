#include "common/hex_lower.h"

namespace zor {

WideString HexLower(const unsigned char* bytes, size_t count) {
  WideString text;
  text.Reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.Append(static_cast<wchar_t>(HexDigit(bytes[i] >> 4)));
    text.Append(static_cast<wchar_t>(HexDigit(bytes[i])));
  }
  return text;
}

}  // namespace zor
