// The range digest against real files: digests are checked against SHA-256
// values computed outside this code base (published test vectors, and values
// computed with a separate tool for the pattern bytes below).
#include "payload/range_digest.h"
#include "runtime/file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr char kEmptyDigest[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr char kAbcDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kMillionADigest[] =
    "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
constexpr uint32_t kPatternSeed = 7;
constexpr size_t kPatternSize = 400000;
// The first bytes of the pattern the known digests below were computed from.
constexpr char kPatternStart[] = "e651cfacfb2791c6";

Bytes Text(const char* text) {
  return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes Pattern() {
  return test::PatternBytes(kPatternSize, kPatternSeed);
}

// The files of these tests, opened through the launcher's own file interface.
UniqueFile OpenSource(const fs::path& path) {
  return UniqueFile(OpenForReading(path.c_str(), ReadSharing::kLetOthersRemove));
}

UniqueFile CreateTarget(const fs::path& path) {
  return UniqueFile(CreateReplacingWriteOnly(path.c_str()));
}

bool Write(FileHandle file, const Bytes& bytes) {
  return WriteAll(file, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The byte a read at the file position gives, or -1 at the end of the file:
// the one after the range when nothing past it was read.
int NextByte(FileHandle file) {
  unsigned char byte = 0;
  uint32_t read = 0;
  return ReadSome(file, &byte, 1, &read) ? byte : -1;
}

TEST(RangeDigest, PatternBytesAreTheOnesTheKnownDigestsWereComputedFrom) {
  Bytes start = test::PatternBytes(8, kPatternSeed);
  EXPECT_EQ(test::HexOf(start.data(), start.size()), kPatternStart);
}

struct KnownRange {
  const char* name;
  Bytes file;
  uint64_t offset;
  uint64_t size;
  const char* sha256;
};

// Every range is read exactly, without reading past its end, hashed to the
// known value, and copied byte for byte to a target at the target's own
// position.
TEST(RangeDigest, HashesAndCopiesExactlyTheRange) {
  const KnownRange cases[] = {
      {"empty range at the start", Text("abc"), 0, 0, kEmptyDigest},
      {"empty range inside the file", Text("abc"), 2, 0, kEmptyDigest},
      {"empty range at the end", Text("abc"), 3, 0, kEmptyDigest},
      {"whole file", Text("abc"), 0, 3, kAbcDigest},
      {"inside a larger file", Text("xyabcde"), 2, 3, kAbcDigest},
      {"one million bytes, several chunks", Bytes(1000000, 'a'), 0, 1000000, kMillionADigest},
      {"exactly one chunk", Pattern(), 0, 131072,
       "f4ca5132110adeebfce8a1ccfe5bcee7c7172372a0a4b66dd2c8f16acf05b2d4"},
      {"one chunk and one byte", Pattern(), 0, 131073,
       "3fe72e719fbeaea40379c72124c7c7dad8e44e7a63f18ff9c0c77fbad9f40288"},
      {"two chunks and three bytes at an odd offset", Pattern(), 5, 262147,
       "008f1112c19ecf0617a675eaa80f7d0bf6e48159bf59f89bd0eef97c8d64bdb4"},
      {"last byte of the first chunk's span", Pattern(), 131071, 1,
       "457e4854863e7efaa03266ad781822ecce69df31a511786118c10771a87e69f2"},
  };
  test::TempDir dir;
  const Bytes head = Text("HEAD");
  for (const KnownRange& known : cases) {
    SCOPED_TRACE(known.name);
    fs::path sourcePath = dir.FilePath(L"source.bin");
    fs::path targetPath = dir.FilePath(L"target.bin");
    test::WriteFileBytes(sourcePath, known.file);

    UniqueFile source = OpenSource(sourcePath);
    ASSERT_TRUE(source.IsValid());
    Sha256Digest digest = {};
    ASSERT_TRUE(DigestRange(source.Get(), known.offset, known.size, &digest, NoFile()));
    EXPECT_EQ(test::HexOf(digest), known.sha256);
    uint64_t end = known.offset + known.size;
    EXPECT_EQ(NextByte(source.Get()), end < known.file.size() ? known.file[end] : -1)
        << "read outside the range";

    {
      UniqueFile target = CreateTarget(targetPath);
      ASSERT_TRUE(target.IsValid());
      ASSERT_TRUE(Write(target.Get(), head));
      Sha256Digest copied = {};
      ASSERT_TRUE(DigestRange(source.Get(), known.offset, known.size, &copied, target.Get()));
      EXPECT_EQ(test::HexOf(copied), known.sha256);
    }
    Bytes expected = head;
    expected.insert(expected.end(), known.file.begin() + known.offset,
                    known.file.begin() + known.offset + known.size);
    EXPECT_EQ(test::ReadFileBytes(targetPath), expected);
  }
}

struct BadRange {
  const char* name;
  Bytes file;
  uint64_t offset;
  uint64_t size;
};

TEST(RangeDigest, FailsForRangesTheFileDoesNotHold) {
  const BadRange cases[] = {
      {"one byte past the end", Text("abc"), 0, 4},
      {"starting at the end", Text("abc"), 3, 1},
      {"starting past the end", Text("abc"), 10, 1},
      {"a short read, then the end", Pattern(), kPatternSize - 100000, 131073},
      // Truncated to 32 bits this size would be 3, the whole file.
      {"a size beyond 4 GiB", Text("abc"), 0, 0x100000003ull},
      {"an offset no seek can reach", Text("abc"), 0x8000000000000000ull, 1},
      {"an empty range at an offset no seek can reach", Text("abc"), UINT64_MAX, 0},
  };
  test::TempDir dir;
  for (const BadRange& bad : cases) {
    SCOPED_TRACE(bad.name);
    fs::path sourcePath = dir.FilePath(L"source.bin");
    test::WriteFileBytes(sourcePath, bad.file);
    UniqueFile source = OpenSource(sourcePath);
    ASSERT_TRUE(source.IsValid());
    Sha256Digest digest = {};
    EXPECT_FALSE(DigestRange(source.Get(), bad.offset, bad.size, &digest, NoFile()));
  }
}

TEST(RangeDigest, FailsWhenTheTargetRefusesWrites) {
  test::TempDir dir;
  test::WriteFileBytes(dir.FilePath(L"source.bin"), Text("abc"));
  test::WriteFileBytes(dir.FilePath(L"target.bin"), Bytes());
  UniqueFile source = OpenSource(dir.FilePath(L"source.bin"));
  UniqueFile readOnlyTarget = OpenSource(dir.FilePath(L"target.bin"));
  ASSERT_TRUE(source.IsValid());
  ASSERT_TRUE(readOnlyTarget.IsValid());
  Sha256Digest digest = {};
  EXPECT_FALSE(DigestRange(source.Get(), 0, 3, &digest, readOnlyTarget.Get()));
}

// A range beyond 4 GiB in a sparse file: an offset cut to 32 bits would land
// on zeros instead of "abc".
TEST(RangeDigest, ReachesRangesBeyondFourGibibytes) {
  constexpr int64_t kFarOffset = 0x100000005ll;
  test::TempDir dir;
  fs::path path = dir.FilePath(L"sparse.bin");
  {
    UniqueFile file = CreateTarget(path);
    ASSERT_TRUE(file.IsValid());
    ASSERT_TRUE(SeekTo(file.Get(), kFarOffset));
    ASSERT_TRUE(Write(file.Get(), Text("abc")));
  }
  UniqueFile source = OpenSource(path);
  ASSERT_TRUE(source.IsValid());
  Sha256Digest digest = {};
  ASSERT_TRUE(DigestRange(source.Get(), kFarOffset, 3, &digest, NoFile()));
  EXPECT_EQ(test::HexOf(digest), kAbcDigest);
}

}  // namespace
}  // namespace zor
