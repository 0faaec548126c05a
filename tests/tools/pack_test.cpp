// Packing a payload behind a launcher image, checked by reading the packed
// file back with the launcher's own locator.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packer.h"
#include "payload/payload_trailer.h"
#include "support/cache_folder.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/payload_probe.h"
#include "support/temp_dir.h"
#include "test_paths.h"
#include "tools/pack_files.h"

namespace zor::test {

namespace {

constexpr uint64_t kSignAlignment = 8;

struct LayoutCase {
  size_t imageTail;
  size_t payloadTail;
  bool payloadPe32Plus;
};

// Image and payload lengths whose sum takes every value mod 8, with image
// lengths that are and are not themselves aligned.
std::vector<LayoutCase> LayoutCases() {
  std::vector<LayoutCase> cases;
  for (size_t imageTail : {0u, 3u}) {
    for (size_t payloadTail = 0; payloadTail < kSignAlignment; ++payloadTail) {
      cases.push_back({imageTail, payloadTail, payloadTail % 2 == 1});
    }
  }
  return cases;
}

TEST(zorpack_pack, LayoutIsLocatableAlignedAndPaddedBeforeThePayload) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE("image tail " + std::to_string(c.imageTail) + ", payload tail " +
                 std::to_string(c.payloadTail));
    TempDir dir;
    Bytes image = PeImageWithTail(c.imageTail, 1);
    Bytes payload = PeImageWithTail(c.payloadTail, 2, c.payloadPe32Plus);
    WriteFileBytes(dir.File(L"launcher.exe"), image);
    WriteFileBytes(dir.File(L"tool.exe"), payload);

    pack::PackedFile packed;
    std::wstring error;
    ASSERT_TRUE(pack::PackLauncherFile(dir.File(L"launcher.exe"), dir.File(L"tool.exe"),
                                       dir.File(L"out.exe"), &packed, &error));
    EXPECT_TRUE(error.empty());

    Bytes file = ReadFileBytes(dir.File(L"out.exe"));
    EXPECT_EQ(file.size() % kSignAlignment, 0u);
    EXPECT_EQ(file.size(), packed.fileSize);

    PayloadLocation location;
    ASSERT_TRUE(LocatePayloadInFile(dir.File(L"out.exe"), &location));
    EXPECT_EQ(location.size, payload.size());
    EXPECT_EQ(HexOf(location.digest), HexOf(Sha256Of(payload)));
    EXPECT_EQ(location.offset, packed.payload.offset);
    EXPECT_EQ(HexOf(packed.payload.digest), HexOf(location.digest));

    // Image first and unchanged, then fewer than 8 zero bytes, then the
    // payload byte for byte, then the trailer ends the file.
    ASSERT_GE(location.offset, image.size());
    EXPECT_LT(location.offset - image.size(), kSignAlignment);
    EXPECT_EQ(Slice(file, 0, image.size()), image);
    EXPECT_EQ(Slice(file, image.size(), location.offset - image.size()),
              Bytes(location.offset - image.size(), 0));
    EXPECT_EQ(Slice(file, location.offset, location.size), payload);
    EXPECT_EQ(location.offset + location.size + kTrailerSize, file.size());
  }
}

TEST(zorpack_pack, BuiltLauncherAndSampleToolPackIntoALocatableFile) {
  TempDir dir;
  pack::PackedFile packed;
  std::wstring error;
  ASSERT_TRUE(pack::PackLauncherFile(kLauncherExe, kSampleToolExe, dir.File(L"Updater.exe"),
                                     &packed, &error))
      << std::string(error.begin(), error.end());
  Bytes tool = SampleToolImage();
  PayloadLocation location;
  ASSERT_TRUE(LocatePayloadInFile(dir.File(L"Updater.exe"), &location));
  EXPECT_EQ(location.size, tool.size());
  EXPECT_EQ(HexOf(location.digest), HexOf(Sha256Of(tool)));
  EXPECT_EQ(packed.fileSize % kSignAlignment, 0u);
}

enum class OutputIs { kSeparateFile, kTheLauncher, kThePayload };

struct RefusalCase {
  const char* what;
  Bytes launcher;  // empty: no launcher file at all
  Bytes payload;   // empty: no payload file at all
  OutputIs output;
  // The file the message must name, and what it must say about it.
  const wchar_t* subject;
  const wchar_t* reason;
};

Bytes WithStore32(Bytes bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

Bytes TextBytes(const char* text) {
  return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes AlreadyPackedLauncher() {
  LauncherFileParts parts;
  parts.image = PeImageWithTail(0, 1);
  parts.payload = PeImageWithTail(5, 2);
  return BuildLauncherFile(parts).bytes;
}

Bytes SignedLauncher() {
  LauncherFileParts parts;
  parts.image = PeImageWithTail(0, 1);
  parts.withTrailer = false;
  parts.certificateTableSize = 512;
  return BuildLauncherFile(parts).bytes;
}

// The locations MinimalPeImage uses: e_lfanew at 60 holds 0x80; the
// optional header's magic sits 24 bytes after the signature.
constexpr size_t kNewHeaderField = 60;
constexpr size_t kSignatureAt = 0x80;
constexpr size_t kOptionalMagicAt = 0x80 + 24;

std::vector<RefusalCase> RefusalCases() {
  Bytes good = PeImageWithTail(7, 3);
  Bytes shortPe = Slice(good, 0, kOptionalMagicAt);
  return {
      {"launcher already packed", AlreadyPackedLauncher(), good, OutputIs::kSeparateFile,
       L"launcher", L"already carries a payload"},
      {"signed launcher", SignedLauncher(), good, OutputIs::kSeparateFile, L"launcher",
       L"is signed"},
      {"launcher is text", TextBytes("not a program\r\n"), good, OutputIs::kSeparateFile,
       L"launcher", L"not a Windows executable"},
      {"payload is text", good, TextBytes("MZ but nothing else"), OutputIs::kSeparateFile,
       L"payload", L"not a Windows executable"},
      {"payload e_lfanew past the end", good, WithStore32(good, kNewHeaderField, 0x10000),
       OutputIs::kSeparateFile, L"payload", L"not a Windows executable"},
      {"payload e_lfanew negative", good, WithStore32(good, kNewHeaderField, 0xFFFFFF80),
       OutputIs::kSeparateFile, L"payload", L"not a Windows executable"},
      {"payload without PE signature", good, WithStore32(good, kSignatureAt, 0x00004551),
       OutputIs::kSeparateFile, L"payload", L"not a Windows executable"},
      {"payload with ROM optional header", good, WithStore32(good, kOptionalMagicAt, 0x107),
       OutputIs::kSeparateFile, L"payload", L"not a Windows executable"},
      {"payload cut before its optional header", good, shortPe, OutputIs::kSeparateFile, L"payload",
       L"not a Windows executable"},
      {"missing launcher", {}, good, OutputIs::kSeparateFile, L"launcher", L"cannot open"},
      {"missing payload", good, {}, OutputIs::kSeparateFile, L"payload", L"cannot open"},
      {"output is the launcher", good, PeImageWithTail(1, 4), OutputIs::kTheLauncher, L"output",
       L"one of the inputs"},
      {"output is the payload", good, PeImageWithTail(1, 4), OutputIs::kThePayload, L"output",
       L"one of the inputs"},
  };
}

// A refused pack writes nothing: an existing output keeps its bytes, the
// inputs are unchanged and no temporary file is left in the folder.
TEST(zorpack_pack, RefusalsLeaveEveryFileAsItWas) {
  const Bytes previousOutput = TextBytes("the previous output");
  for (const RefusalCase& c : RefusalCases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::wstring launcher = dir.File(L"launcher.exe");
    std::wstring payload = dir.File(L"tool.exe");
    std::wstring output = dir.File(L"out.exe");
    if (!c.launcher.empty()) WriteFileBytes(launcher, c.launcher);
    if (!c.payload.empty()) WriteFileBytes(payload, c.payload);
    // Another spelling of the same path must not slip past the check.
    if (c.output == OutputIs::kTheLauncher) output = dir.Path() + L"\\.\\launcher.exe";
    if (c.output == OutputIs::kThePayload) output = dir.Path() + L"/tool.exe";
    if (c.output == OutputIs::kSeparateFile) WriteFileBytes(output, previousOutput);
    std::vector<std::wstring> before = FolderEntries(dir.Path());

    pack::PackedFile packed;
    std::wstring error;
    EXPECT_FALSE(pack::PackLauncherFile(launcher, payload, output, &packed, &error));
    std::string shown(error.begin(), error.end());
    EXPECT_NE(error.find(std::wstring(L"the ") + c.subject + L" '"), std::wstring::npos) << shown;
    EXPECT_NE(error.find(c.reason), std::wstring::npos) << shown;
    EXPECT_EQ(error.find(L'\n'), std::wstring::npos);

    EXPECT_EQ(FolderEntries(dir.Path()), before);
    if (!c.launcher.empty()) {
      EXPECT_EQ(ReadFileBytes(launcher), c.launcher);
    }
    if (!c.payload.empty()) {
      EXPECT_EQ(ReadFileBytes(payload), c.payload);
    }
    if (c.output == OutputIs::kSeparateFile) {
      EXPECT_EQ(ReadFileBytes(output), previousOutput);
    }
  }
}

TEST(zorpack_pack, ReplacesAnExistingOutputOnlyWhenComplete) {
  TempDir dir;
  WriteFileBytes(dir.File(L"launcher.exe"), PeImageWithTail(0, 1));
  WriteFileBytes(dir.File(L"tool.exe"), PeImageWithTail(9, 2));
  WriteFileBytes(dir.File(L"out.exe"), TextBytes("old"));
  pack::PackedFile packed;
  std::wstring error;
  ASSERT_TRUE(pack::PackLauncherFile(dir.File(L"launcher.exe"), dir.File(L"tool.exe"),
                                     dir.File(L"out.exe"), &packed, &error));
  PayloadLocation location;
  EXPECT_TRUE(LocatePayloadInFile(dir.File(L"out.exe"), &location));
  EXPECT_EQ(FolderEntries(dir.Path()),
            (std::vector<std::wstring>{L"launcher.exe", L"out.exe", L"tool.exe"}));

  // An output folder that does not exist fails before anything is written.
  std::wstring missingFolder = dir.File(L"no-such-folder\\out.exe");
  EXPECT_FALSE(pack::PackLauncherFile(dir.File(L"launcher.exe"), dir.File(L"tool.exe"),
                                      missingFolder, &packed, &error));
  EXPECT_NE(error.find(L"cannot create"), std::wstring::npos);
}

// The certificate table's offset is a 32-bit field, so a file too long for
// it could never be signed; the check must come before any copying.
TEST(zorpack_pack, RefusesAFileTooLongToSign) {
  TempDir dir;
  WriteFileBytes(dir.File(L"launcher.exe"), PeImageWithTail(0, 1));
  WriteSparseFile(dir.File(L"huge.exe"), MinimalPeImage(), pack::kMaxSignableSize);
  pack::PackedFile packed;
  std::wstring error;
  EXPECT_FALSE(pack::PackLauncherFile(dir.File(L"launcher.exe"), dir.File(L"huge.exe"),
                                      dir.File(L"out.exe"), &packed, &error));
  EXPECT_NE(error.find(L"too long to be signed"), std::wstring::npos);
  EXPECT_FALSE(FileExists(dir.File(L"out.exe")));
}

size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

// Hundreds of MiB go through a fixed buffer: the peak memory of this process
// must not grow anywhere near the payload's size.
TEST(zorpack_pack, LargePayloadPacksWithFlatMemory) {
  constexpr uint64_t kPayloadSize = 256ull << 20;
  constexpr size_t kMemoryAllowance = 32u << 20;
  TempDir dir;
  WriteFileBytes(dir.File(L"launcher.exe"), PeImageWithTail(0, 1));
  WriteSparseFile(dir.File(L"big.exe"), PeImageWithTail(100, 5), kPayloadSize + 3);

  size_t peakBefore = PeakWorkingSet();
  ASSERT_NE(peakBefore, 0u);
  pack::PackedFile packed;
  std::wstring error;
  ASSERT_TRUE(pack::PackLauncherFile(dir.File(L"launcher.exe"), dir.File(L"big.exe"),
                                     dir.File(L"out.exe"), &packed, &error));
  pack::Inspection inspection;
  ASSERT_TRUE(pack::InspectLauncherFile(dir.File(L"out.exe"), &inspection, &error));
  EXPECT_LT(PeakWorkingSet(), peakBefore + kMemoryAllowance);

  EXPECT_TRUE(inspection.digestMatches);
  EXPECT_EQ(inspection.location.size, kPayloadSize + 3);
  EXPECT_EQ(packed.fileSize % kSignAlignment, 0u);
}

}  // namespace

}  // namespace zor::test
