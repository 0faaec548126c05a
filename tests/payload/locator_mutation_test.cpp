// Seeded random damage to every header byte the locator may read and to the
// trailer of real launcher files. Each damaged file must either give exactly
// the payload its trailer describes or be refused: never a crash, a hang or a
// payload from somewhere else.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload_trailer.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/payload_probe.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::Bytes;

constexpr uint32_t kSeed = 0x5EED2024;
constexpr int kVariantsPerFile = 240;
constexpr size_t kNewHeaderField = kNewHeaderOffsetField;

using test::LoadLittle;

// A small deterministic generator, so that a failing variant can be named by
// its number and rebuilt.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t bound) { return Next() % bound; }

 private:
  uint32_t state_;
};

struct Range {
  const char* name;
  size_t begin;
  size_t end;
};

// The fields of a launcher file that the locator interprets. Damage outside
// them must not change the result at all.
struct FileMap {
  size_t newHeader;
  size_t optionalHeader;
  size_t optionalHeaderSize;
  size_t securityEntry;
  size_t trailer;
  std::vector<Range> interpreted;
  std::vector<Range> targets;
};

FileMap MapOf(const test::BuiltLauncherFile& built) {
  FileMap map;
  const Bytes& bytes = built.bytes;
  map.newHeader = LoadLittle(bytes, kNewHeaderField, 4);
  map.optionalHeader = test::OptionalHeaderOffset(bytes);
  map.optionalHeaderSize = LoadLittle(bytes, map.newHeader + kCoffOptionalSizeField, 2);
  map.securityEntry = test::SecurityDirectoryOffset(bytes);
  map.trailer = built.payloadOffset + built.payloadSize;
  map.interpreted = {
      {"DOS magic", 0, 2},
      {"e_lfanew", kNewHeaderField, kNewHeaderField + 4},
      {"PE signature", map.newHeader, map.newHeader + 4},
      {"optional header magic", map.optionalHeader, map.optionalHeader + 2},
      {"certificate table offset", map.securityEntry, map.securityEntry + 4},
      {"trailer", map.trailer, map.trailer + kTrailerSize},
  };
  map.targets = {
      {"DOS header", 0, 64},
      {"e_lfanew", kNewHeaderField, kNewHeaderField + 4},
      {"PE signature and COFF header", map.newHeader, map.optionalHeader},
      {"optional header", map.optionalHeader, map.optionalHeader + map.optionalHeaderSize},
      {"optional header magic", map.optionalHeader, map.optionalHeader + 2},
      {"security directory entry", map.securityEntry, map.securityEntry + 8},
      {"trailer", map.trailer, map.trailer + kTrailerSize},
      {"trailer size field", map.trailer, map.trailer + 8},
      {"trailer magic", map.trailer + kTrailerMagicOffset, map.trailer + kTrailerSize},
  };
  return map;
}

bool Touches(const std::vector<size_t>& positions, const std::vector<Range>& ranges) {
  for (size_t at : positions) {
    for (const Range& range : ranges) {
      if (at >= range.begin && at < range.end) return true;
    }
  }
  return false;
}

// What the trailer bytes at the trailer's place describe, if they are valid.
bool DescribedByTrailer(const Bytes& bytes, size_t trailer, PayloadLocation* location) {
  for (size_t i = 0; i < sizeof kTrailerMagic; ++i) {
    if (bytes[trailer + kTrailerMagicOffset + i] != kTrailerMagic[i]) return false;
  }
  uint64_t size = LoadLittle(bytes, trailer + kTrailerSizeOffset, 8);
  if (size == 0 || size > trailer) return false;
  location->offset = trailer - size;
  location->size = size;
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    location->digest.bytes[i] = bytes[trailer + kTrailerDigestOffset + i];
  }
  return true;
}

void CheckVariants(const char* fileName, const test::BuiltLauncherFile& built, uint32_t seed) {
  FileMap map = MapOf(built);
  ASSERT_GT(map.optionalHeaderSize, 0u);
  test::TempDir dir;
  std::filesystem::path path = dir.FilePath(L"mutant.exe");
  Random random(seed);
  int locatedCount = 0;
  int refusedCount = 0;

  for (int variant = 0; variant < kVariantsPerFile; ++variant) {
    const Range& target = map.targets[variant % map.targets.size()];
    Bytes bytes = built.bytes;
    std::vector<size_t> positions;
    int changes = 1 + static_cast<int>(random.Below(3));
    for (int i = 0; i < changes; ++i) {
      size_t at = target.begin + random.Below(static_cast<uint32_t>(target.end - target.begin));
      bytes[at] ^= static_cast<uint8_t>(1 + random.Below(255));
      positions.push_back(at);
    }
    SCOPED_TRACE(testing::Message()
                 << fileName << ", seed " << seed << ", variant " << variant << ": " << target.name
                 << " damaged at " << positions[0] << (changes > 1 ? " and more" : ""));

    test::WriteFileBytes(path, bytes);
    PayloadLocation found;
    bool located = test::LocatePayloadInFile(path, &found);
    located ? ++locatedCount : ++refusedCount;

    PayloadLocation described = {};
    bool valid = DescribedByTrailer(bytes, map.trailer, &described);
    if (!Touches(positions, map.interpreted)) {
      // Only bytes the locator has no business with were hit.
      ASSERT_TRUE(located);
    } else if (!Touches(positions, {{"headers", 0, map.trailer}})) {
      // Intact headers, damaged trailer: its own rules alone decide.
      ASSERT_EQ(located, valid);
    }
    if (!located) continue;
    ASSERT_TRUE(valid) << "located a payload through a trailer that is not valid";
    ASSERT_EQ(found.offset, described.offset);
    ASSERT_EQ(found.size, described.size);
    ASSERT_EQ(test::HexOf(found.digest), test::HexOf(described.digest));
  }
  // The damage must have exercised both outcomes.
  EXPECT_GT(locatedCount, kVariantsPerFile / 10);
  EXPECT_GT(refusedCount, kVariantsPerFile / 10);
}

TEST(PayloadLocatorMutation, DamagedUnsignedFilesGiveTheDescribedPayloadOrNone) {
  test::LauncherFileParts parts;
  parts.image = test::LauncherImage();
  parts.payload = test::PatternBytes(4096, 11);
  CheckVariants("unsigned", test::BuildLauncherFile(parts), kSeed);
}

TEST(PayloadLocatorMutation, DamagedSignedFilesGiveTheDescribedPayloadOrNone) {
  test::LauncherFileParts parts;
  parts.image = test::LauncherImage();
  parts.payload = test::PatternBytes(4096, 12);
  parts.certificateTableSize = 1536;
  CheckVariants("signed", test::BuildLauncherFile(parts), kSeed + 1);
}

}  // namespace
}  // namespace zor
