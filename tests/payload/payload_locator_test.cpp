// Finding the payload through the launcher file's own headers: real files on
// disk, one table of layouts that must be found exactly and of damaged or
// truncated files that must be refused.
#include "payload/payload_locator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload_trailer.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/payload_probe.h"
#include "runtime/file.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::BuildLauncherFile;
using test::BuiltLauncherFile;
using test::Bytes;
using test::LauncherFileParts;

using test::Store32;

// Where MinimalPeImage puts its headers.
constexpr size_t kNewHeaderField = kNewHeaderOffsetField;
constexpr size_t kPeHeader = test::kMinimalNewHeader;
constexpr size_t kOptionalMagic = test::kMinimalOptionalHeader;
constexpr size_t kPe32SecurityEntry =
    kOptionalMagic + DataDirectoryOffset(false, kSecurityDirectoryIndex);

struct LocatorCase {
  std::string name;
  Bytes bytes;
  bool located;
  PayloadLocation expected;
};

LocatorCase Locates(std::string name, const BuiltLauncherFile& built) {
  return {std::move(name), built.bytes, true,
          PayloadLocation{built.payloadOffset, built.payloadSize, built.payloadDigest}};
}

LocatorCase Refuses(std::string name, Bytes bytes) {
  return {std::move(name), std::move(bytes), false, PayloadLocation{}};
}

Sha256Digest SomeDigest() {
  Sha256Digest digest;
  Bytes pattern = test::PatternBytes(kSha256DigestSize, 77);
  for (size_t i = 0; i < kSha256DigestSize; ++i) digest.bytes[i] = pattern[i];
  return digest;
}

LauncherFileParts MinimalParts(bool pe32Plus = false) {
  LauncherFileParts parts;
  parts.image = test::MinimalPeImage(pe32Plus);
  parts.payload = test::PatternBytes(3000, 1);
  return parts;
}

// A valid unsigned file with one header field replaced.
Bytes WithField32(size_t at, uint32_t value) {
  return test::WithStore32(BuildLauncherFile(MinimalParts()).bytes, at, value);
}
Bytes WithField16(size_t at, uint16_t value) {
  return test::WithStore16(BuildLauncherFile(MinimalParts()).bytes, at, value);
}

std::vector<LocatorCase> LayoutCases() {
  std::vector<LocatorCase> cases;
  cases.push_back(Locates("unsigned: trailer at the end", BuildLauncherFile(MinimalParts())));
  {
    LauncherFileParts parts = MinimalParts();
    parts.padding = 5;
    parts.payload = test::PatternBytes(1, 2);
    cases.push_back(
        Locates("unsigned: one-byte payload after unaligned padding", BuildLauncherFile(parts)));
  }
  for (uint32_t tableSize : {8u, 24u, 1000u, 8192u}) {
    LauncherFileParts parts = MinimalParts();
    parts.certificateTableSize = tableSize;
    cases.push_back(Locates("signed: certificate table of " + std::to_string(tableSize) + " bytes",
                            BuildLauncherFile(parts)));
  }
  cases.push_back(Locates("PE32+: unsigned", BuildLauncherFile(MinimalParts(true))));
  {
    LauncherFileParts parts = MinimalParts(true);
    parts.certificateTableSize = 40;
    cases.push_back(
        Locates("PE32+: signed, directory read at its own place", BuildLauncherFile(parts)));
  }
  {
    size_t fileSize = BuildLauncherFile(MinimalParts()).bytes.size();
    for (uint64_t offset : {uint64_t{fileSize}, uint64_t{fileSize} + 1, uint64_t{0xFFFFFFFF}}) {
      LauncherFileParts parts = MinimalParts();
      parts.securityOffset = static_cast<uint32_t>(offset);
      std::string name = offset == fileSize ? "certificate offset at the end of the file"
                                            : "certificate offset beyond the file (" +
                                                  std::to_string(offset) + ")";
      cases.push_back(Locates(name + ": trailer from the end", BuildLauncherFile(parts)));
    }
  }
  {
    // The whole file in front of the trailer is the payload.
    LauncherFileParts parts;
    parts.image = test::MinimalPeImage();
    parts.sizeField = parts.image.size();
    parts.digestField = SomeDigest();
    BuiltLauncherFile built = BuildLauncherFile(parts);
    cases.push_back({"size equal to the bytes in front of the trailer: payload at offset 0",
                     built.bytes, true, PayloadLocation{0, parts.image.size(), SomeDigest()}});
  }
  {
    LauncherFileParts parts;
    parts.image = test::LauncherImage();
    parts.payload = test::SampleToolImage();
    cases.push_back(Locates("launcher image, tool and trailer", BuildLauncherFile(parts)));
    parts.certificateTableSize = 2048;
    cases.push_back(
        Locates("launcher image, tool, trailer and certificate table", BuildLauncherFile(parts)));
  }
  return cases;
}

std::vector<LocatorCase> DamagedCases() {
  std::vector<LocatorCase> cases;
  cases.push_back(Refuses("bare launcher image", test::LauncherImage()));
  cases.push_back(Refuses("empty file", Bytes()));
  for (uint32_t offset : {1u, 47u}) {
    LauncherFileParts parts = MinimalParts();
    parts.securityOffset = offset;
    cases.push_back(Refuses("certificate offset " + std::to_string(offset) + " leaves no room",
                            BuildLauncherFile(parts).bytes));
  }
  {
    LauncherFileParts parts = MinimalParts();
    parts.corruptMagic = true;
    cases.push_back(Refuses("magic: last byte wrong", BuildLauncherFile(parts).bytes));
    Bytes firstWord = BuildLauncherFile(MinimalParts()).bytes;
    firstWord[firstWord.size() - kTrailerSize + kTrailerMagicOffset] ^= 0x20;
    cases.push_back(Refuses("magic: first byte wrong", firstWord));
  }
  {
    LauncherFileParts parts = MinimalParts();
    parts.certificateTableSize = 64;
    parts.corruptMagic = true;
    cases.push_back(Refuses("signed, magic wrong", BuildLauncherFile(parts).bytes));
  }
  {
    // A trailer that ends 8 bytes before the table is not found: it must
    // close the covered region exactly.
    LauncherFileParts parts = MinimalParts();
    parts.certificateTableSize = 64;
    BuiltLauncherFile built = BuildLauncherFile(parts);
    size_t table = built.bytes.size() - 64;
    built.bytes.insert(built.bytes.begin() + table, 8, 0);
    Store32(built.bytes, kPe32SecurityEntry, static_cast<uint32_t>(table + 8));
    cases.push_back(Refuses("padding between trailer and certificate table", built.bytes));
  }
  {
    uint64_t inFront = test::MinimalPeImage().size() + 3000;
    struct SizeCase {
      const char* name;
      uint64_t size;
    };
    const SizeCase sizes[] = {
        {"size field 0", 0},
        {"size one more than the bytes in front of the trailer", inFront + 1},
        {"size wider than 32 bits", (uint64_t{1} << 32) + 3000},
        {"size of all ones", ~uint64_t{0}},
    };
    for (const SizeCase& size : sizes) {
      LauncherFileParts parts = MinimalParts();
      parts.sizeField = size.size;
      cases.push_back(Refuses(size.name, BuildLauncherFile(parts).bytes));
    }
  }
  cases.push_back(Refuses("DOS magic wrong", WithField16(0, 0x4D5A)));
  cases.push_back(Refuses("PE signature wrong", WithField32(kPeHeader, 0x01004550)));
  cases.push_back(Refuses("optional header magic 0x107", WithField16(kOptionalMagic, 0x107)));
  cases.push_back(Refuses("optional header magic 0", WithField16(kOptionalMagic, 0)));
  for (uint32_t newHeader : {0xFFFFFFFFu, 0xFFFFFF80u, 0x80000000u}) {
    cases.push_back(Refuses("negative e_lfanew " + std::to_string(static_cast<int32_t>(newHeader)),
                            WithField32(kNewHeaderField, newHeader)));
  }
  cases.push_back(Refuses("e_lfanew beyond the file", WithField32(kNewHeaderField, 0x7FFFFFF0)));
  cases.push_back(
      Refuses("e_lfanew 0 (PE signature expected on MZ)", WithField32(kNewHeaderField, 0)));

  Bytes valid = BuildLauncherFile(MinimalParts()).bytes;
  struct Cut {
    const char* where;
    size_t length;
  };
  const Cut cuts[] = {
      {"inside the DOS magic", 1},
      {"after the DOS magic", 2},
      {"inside the DOS header", 40},
      {"inside e_lfanew", 62},
      {"after the DOS header", 64},
      {"inside the PE signature", kPeHeader + 2},
      {"after the PE signature", kPeHeader + 4},
      {"inside the COFF header", kPeHeader + 14},
      {"one byte short of the COFF header", kPeHeader + 23},
      {"inside the optional header magic", kOptionalMagic + 1},
      {"after the optional header magic", kOptionalMagic + 2},
      {"inside the security directory offset", kPe32SecurityEntry + 2},
      {"inside the security directory size", kPe32SecurityEntry + 6},
  };
  for (const Cut& cut : cuts) {
    cases.push_back(
        Refuses(std::string("truncated ") + cut.where, test::Slice(valid, 0, cut.length)));
  }
  {
    // The file ends inside the security directory, and its last 48 bytes
    // look like a trailer: the short directory read alone must refuse it.
    Bytes bytes = test::MinimalPeImage();
    size_t end = kPe32SecurityEntry + 4;
    PayloadTrailer trailer = {16, SomeDigest()};
    uint8_t encoded[kTrailerSize];
    EncodeTrailer(trailer, encoded);
    std::copy(encoded, encoded + kTrailerSize, bytes.begin() + (end - kTrailerSize));
    bytes.resize(end);
    cases.push_back(Refuses("truncated inside the security directory behind a trailer", bytes));
  }
  return cases;
}

void ExpectLocatorCases(const std::vector<LocatorCase>& cases) {
  test::TempDir dir;
  std::filesystem::path path = dir.FilePath(L"launcher.exe");
  for (const LocatorCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFileBytes(path, c.bytes);
    PayloadLocation found;
    bool located = test::LocatePayloadInFile(path, &found);
    ASSERT_EQ(located, c.located);
    if (!located) continue;
    EXPECT_EQ(found.offset, c.expected.offset);
    EXPECT_EQ(found.size, c.expected.size);
    EXPECT_EQ(test::HexOf(found.digest), test::HexOf(c.expected.digest));
  }
}

TEST(PayloadLocator, FindsThePayloadInEveryValidLayout) {
  ExpectLocatorCases(LayoutCases());
}

TEST(PayloadLocator, RefusesDamagedAndTruncatedFiles) {
  ExpectLocatorCases(DamagedCases());
}

// Offsets and sizes are 64-bit through and through: an unsigned file of
// 5 GiB (sparse, so it costs no disk) with a payload of more than 4 GiB.
TEST(PayloadLocator, FindsAPayloadBeyondFourGibibytes) {
  constexpr uint64_t kImageSize = 1024;
  constexpr uint64_t kPayloadSize = (uint64_t{1} << 32) + (uint64_t{1} << 30) - kImageSize + 8;
  test::TempDir dir;
  std::filesystem::path path = dir.FilePath(L"large.exe");
  Bytes image = test::MinimalPeImage();
  PayloadTrailer trailer = {kPayloadSize, SomeDigest()};
  uint8_t encoded[kTrailerSize];
  EncodeTrailer(trailer, encoded);
  {
    UniqueFile file(CreateReplacingWriteOnly(path.c_str()));
    ASSERT_TRUE(file.IsValid());
    ASSERT_TRUE(WriteAll(file.Get(), image.data(), static_cast<uint32_t>(image.size())) &&
                SeekTo(file.Get(), static_cast<int64_t>(kImageSize + kPayloadSize)) &&
                WriteAll(file.Get(), encoded, kTrailerSize))
        << "cannot write the large file";
  }

  PayloadLocation found;
  ASSERT_TRUE(test::LocatePayloadInFile(path, &found));
  EXPECT_EQ(found.offset, kImageSize);
  EXPECT_EQ(found.size, kPayloadSize);
  EXPECT_EQ(test::HexOf(found.digest), test::HexOf(SomeDigest()));
}

}  // namespace
}  // namespace zor
