// An independent model of where a launcher file keeps its payload, written
// from the published layout rules over a byte buffer, without the product's
// headers or file interface. The locator fuzzer holds the product to it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zor::fuzz {

struct ReferenceLocation {
  uint64_t offset;
  uint64_t size;
  uint8_t digest[32];
};

// True when `file` carries a payload where the launcher looks for one.
bool ReferenceLocate(const uint8_t* file, size_t fileSize, ReferenceLocation* location);

}  // namespace zor::fuzz
