#pragma once

#include <stddef.h>

#include "runtime/wide_string.h"

namespace zor {

// The lowercase hexadecimal digit of the low four bits of `value`. Free of
// the launcher's runtime, so that the packer and the tests spell digests the
// way the launcher names its cache.
inline char HexDigit(unsigned value) {
  return "0123456789abcdef"[value & 0x0F];
}

// Two lowercase hexadecimal characters per byte, high nibble first, bytes in
// order: a 32-byte digest gives 64 characters.
WideString HexLower(const unsigned char* bytes, size_t count);

}  // namespace zor
