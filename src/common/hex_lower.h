#pragma once

#include <stddef.h>

#include "runtime/wide_string.h"

namespace zor {

// Two lowercase hexadecimal characters per byte, high nibble first, bytes in
// order: a 32-byte digest gives 64 characters.
WideString HexLower(const unsigned char* bytes, size_t count);

}  // namespace zor
