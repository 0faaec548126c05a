#include "keyed_hash.h"

#include <string.h>

#include "platform_failure.h"

namespace zor::pack {

namespace {

constexpr int kCompressionRounds = 2;
constexpr int kFinalizationRounds = 4;
constexpr uint64_t kFinalXor = 0xff;
// The four initial words of SipHash ("somepseudorandomlygeneratedbytes").
constexpr uint64_t kInit[4] = {0x736f6d6570736575ull, 0x646f72616e646f6dull, 0x6c7967656e657261ull,
                               0x7465646279746573ull};

struct Key {
  uint64_t k0;
  uint64_t k1;
};

// Drawn on first use. Should the generator fail, the key comes from the
// address of a local and a counter: weaker, but still not a constant that
// a file could be prepared against.
Key ProcessKey() {
  static const Key key = [] {
    Key drawn{};
    if (!RandomBits(&drawn.k0) || !RandomBits(&drawn.k1)) {
      int local = 0;
      drawn.k0 = reinterpret_cast<uintptr_t>(&local) * kInit[0];
      drawn.k1 = reinterpret_cast<uintptr_t>(&drawn) * kInit[1];
    }
    return drawn;
  }();
  return key;
}

uint64_t RotateLeft(uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

void Round(uint64_t v[4]) {
  v[0] += v[1];
  v[1] = RotateLeft(v[1], 13) ^ v[0];
  v[0] = RotateLeft(v[0], 32);
  v[2] += v[3];
  v[3] = RotateLeft(v[3], 16) ^ v[2];
  v[0] += v[3];
  v[3] = RotateLeft(v[3], 21) ^ v[0];
  v[2] += v[1];
  v[1] = RotateLeft(v[1], 17) ^ v[2];
  v[2] = RotateLeft(v[2], 32);
}

void Absorb(uint64_t v[4], uint64_t word) {
  v[3] ^= word;
  for (int i = 0; i < kCompressionRounds; ++i) Round(v);
  v[0] ^= word;
}

// Eight bytes as a little-endian word, whatever the machine's order.
uint64_t LittleEndianWord(const unsigned char* bytes, size_t count) {
  uint64_t word = 0;
  for (size_t i = 0; i < count; ++i) word |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return word;
}

}  // namespace

uint64_t KeyedHash(std::string_view text) {
  const Key key = ProcessKey();
  uint64_t v[4] = {kInit[0] ^ key.k0, kInit[1] ^ key.k1, kInit[2] ^ key.k0, kInit[3] ^ key.k1};
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t whole = text.size() / 8 * 8;
  for (size_t at = 0; at < whole; at += 8) Absorb(v, LittleEndianWord(bytes + at, 8));
  uint64_t last = static_cast<uint64_t>(text.size()) << 56;
  last |= LittleEndianWord(bytes + whole, text.size() - whole);
  Absorb(v, last);
  v[2] ^= kFinalXor;
  for (int i = 0; i < kFinalizationRounds; ++i) Round(v);
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

}  // namespace zor::pack
