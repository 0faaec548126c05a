#include "common/hex_lower.h"

namespace zor {

WideString HexLower(const unsigned char* bytes, size_t count) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  WideString text;
  text.Reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.Append(kDigits[bytes[i] >> 4]);
    text.Append(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace zor
