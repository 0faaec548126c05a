// Hashes for the sets and maps that hold text from someone else's file (a
// payload SBOM's bom-refs and names). The standard library's string hash
// is fixed and can be inverted, so a hostile file could fill one bucket
// with thousands of strings and make a linear merge quadratic; SipHash-2-4
// with a key drawn once per process from the system's generator cannot be
// aimed at that way.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string_view>

namespace zor::pack {

// SipHash-2-4 of `text` under this process's key.
uint64_t KeyedHash(std::string_view text);

struct KeyedTextHash {
  size_t operator()(std::string_view text) const { return static_cast<size_t>(KeyedHash(text)); }
};

}  // namespace zor::pack
