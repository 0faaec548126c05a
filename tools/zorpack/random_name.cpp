#include "random_name.h"

#include "pack_text.h"
#include "platform_failure.h"

namespace zor::pack {

namespace {

constexpr char kTemporarySuffix[] = ".zorpack-tmp";

// Set by tests only; 0: the system's random generator.
uint64_t fixedTemporarySeed = 0;

bool TemporaryBits(int attempt, uint64_t* bits) {
  if (fixedTemporarySeed != 0) {
    *bits = fixedTemporarySeed + static_cast<uint64_t>(attempt);
    return true;
  }
  return RandomBits(bits);
}

}  // namespace

std::string TemporaryNameFor(uint64_t bits) {
  unsigned char bytes[sizeof bits];
  for (size_t i = 0; i < sizeof bits; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  return HexText(bytes, sizeof bytes) + kTemporarySuffix;
}

void FixTemporaryNamesForTesting(uint64_t seed) {
  fixedTemporarySeed = seed;
}

RandomNameResult CreateUnderRandomName(const std::function<FileHandle(const std::string&)>& create,
                                       FileHandle* file, std::string* name) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    uint64_t bits = 0;
    if (!TemporaryBits(attempt, &bits)) return RandomNameResult::kFailed;
    *name = TemporaryNameFor(bits);
    *file = create(*name);
    if (IsOpenFile(*file)) return RandomNameResult::kCreated;
    // Someone else's file (or link) under the name: never touched, try
    // another.
    if (!LastFailureWasNameTaken()) return RandomNameResult::kFailed;
  }
  return RandomNameResult::kAllTaken;
}

}  // namespace zor::pack
