// Inspecting and unpacking launcher files, signed or not, intact or damaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packer.h"
#include "payload/payload_trailer.h"
#include "tools/pack_files.h"

namespace zor::test {

namespace {

struct Sample {
  Bytes payload;
  BuiltLauncherFile built;
};

// A launcher file as packing and, optionally, signing leave it: the
// certificate table after the trailer, the security directory pointing at it.
Sample MakeSample(uint32_t certificateTableSize) {
  Sample sample;
  sample.payload = PeImageWithTail(333, 8);
  LauncherFileParts parts;
  parts.image = PeImageWithTail(0, 7);
  parts.padding = 5;
  parts.payload = sample.payload;
  parts.certificateTableSize = certificateTableSize;
  sample.built = BuildLauncherFile(parts);
  return sample;
}

void DamagePayload(Sample* sample) {
  sample->built.bytes[sample->built.payloadOffset + sample->payload.size() / 2] ^= 0x40;
}

struct InspectCase {
  const char* what;
  uint32_t certificateTableSize;
  bool damaged;
};

TEST(zorpack_inspect, ReportsLocationCertificateTableAndDigestCheck) {
  const InspectCase cases[] = {
      {"unsigned", 0, false},
      {"signed", 1544, false},
      {"unsigned, damaged payload", 0, true},
      {"signed, damaged payload", 1544, true},
  };
  for (const InspectCase& c : cases) {
    SCOPED_TRACE(c.what);
    PackDir dir;
    Sample sample = MakeSample(c.certificateTableSize);
    Bytes damagedPayload = sample.payload;
    if (c.damaged) {
      DamagePayload(&sample);
      damagedPayload = Slice(sample.built.bytes, sample.built.payloadOffset, sample.payload.size());
    }
    WriteBytes(dir.File("Updater.exe"), sample.built.bytes);

    pack::Inspection inspection;
    std::string error;
    ASSERT_TRUE(pack::InspectLauncherFile(dir.File("Updater.exe"), &inspection, &error)) << error;
    EXPECT_EQ(inspection.location.offset, sample.built.payloadOffset);
    EXPECT_EQ(inspection.location.size, sample.payload.size());
    EXPECT_EQ(HexOf(inspection.location.digest), HexOf(Sha256Of(sample.payload)));
    EXPECT_EQ(HexOf(inspection.computedDigest), HexOf(Sha256Of(damagedPayload)));
    EXPECT_EQ(inspection.digestMatches, !c.damaged);
    EXPECT_EQ(inspection.hasCertificateTable, c.certificateTableSize != 0);
    EXPECT_FALSE(inspection.launcherRecognised);
    if (c.certificateTableSize != 0) {
      EXPECT_EQ(inspection.certificateTableOffset,
                sample.built.bytes.size() - c.certificateTableSize);
      EXPECT_EQ(inspection.certificateTableSize, c.certificateTableSize);
    }
  }
}

TEST(zorpack_inspect, FailsOnFilesWithoutPayload) {
  PackDir dir;
  Sample withBadMagic = MakeSample(0);
  withBadMagic.built.bytes[withBadMagic.built.bytes.size() - 1] ^= 1;
  const std::vector<std::pair<const char*, Bytes>> files = {
      {"bare image", PeImageWithTail(64, 1)},
      {"text", Bytes(100, 'x')},
      {"trailer magic broken", withBadMagic.built.bytes},
  };
  for (const auto& [what, bytes] : files) {
    SCOPED_TRACE(what);
    WriteBytes(dir.File("file.exe"), bytes);
    pack::Inspection inspection;
    std::string error;
    EXPECT_FALSE(pack::InspectLauncherFile(dir.File("file.exe"), &inspection, &error));
    EXPECT_FALSE(error.empty());
  }
  pack::Inspection inspection;
  std::string error;
  EXPECT_FALSE(pack::InspectLauncherFile(dir.File("missing.exe"), &inspection, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  EXPECT_FALSE(pack::InspectLauncherFile(dir.Path(), &inspection, &error));
  EXPECT_NE(error.find("is a folder, not a file"), std::string::npos) << error;
  // A few KiB on disk whose trailer claims 8 GiB: refused before hashing.
  WriteSparseFileWithTrailer(dir.File("crafted.exe"), PeImageWithTail(0, 1), 8ull << 30,
                             (8ull << 30) - 4096);
  EXPECT_FALSE(pack::InspectLauncherFile(dir.File("crafted.exe"), &inspection, &error));
  EXPECT_NE(error.find("beyond the longest file zorpack pack writes"), std::string::npos) << error;
  // The cap is on where the trailer ends, the trailer's 48 bytes included.
  const uint64_t lastPayloadEnd = pack::kMaxSignableSize - zor::kTrailerSize;
  for (const auto& [offset, accepted] :
       {std::pair<uint64_t, bool>{lastPayloadEnd - 100, true}, {lastPayloadEnd - 99, false}}) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(pack::CheckClaimedPayload("claim.exe", {offset, 100, {}}, &error), accepted);
  }
}

TEST(zorpack_inspect, FailsOnAFifo) {
  if (kNoFifosHere != nullptr) GTEST_SKIP() << kNoFifosHere;
  PackDir dir;
  ASSERT_TRUE(MakeFifo(dir.File("fifo")));
  pack::Inspection inspection;
  std::string error;
  EXPECT_FALSE(pack::InspectLauncherFile(dir.File("fifo"), &inspection, &error));
  EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
}

TEST(zorpack_extract, WritesTheVerifiedPayloadOfSignedAndUnsignedFiles) {
  for (uint32_t tableSize : {0u, 2048u}) {
    SCOPED_TRACE("certificate table of " + std::to_string(tableSize) + " bytes");
    PackDir dir;
    Sample sample = MakeSample(tableSize);
    WriteBytes(dir.File("Updater.exe"), sample.built.bytes);
    WriteBytes(dir.File("tool.exe"), Bytes(10, 'o'));  // replaced

    PayloadLocation location;
    std::string error;
    EXPECT_EQ(
        pack::ExtractPayloadFile(dir.File("Updater.exe"), dir.File("tool.exe"), &location, &error),
        pack::ExtractOutcome::kWritten)
        << error;
    EXPECT_EQ(ReadBytes(dir.File("tool.exe")), sample.payload);
    EXPECT_EQ(location.offset, sample.built.payloadOffset);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"Updater.exe", "tool.exe"}));
  }
}

// Unverified bytes never appear under the output's name, and an older file
// there survives a refused extraction. The cases with a FIFO, or those
// without.
void ExpectExtractRefusalsWriteNothing(bool fifoCases) {
  enum class Twist { kDamaged, kOutputIsInput, kCrafted, kFifoInput, kFifoOutput };
  struct Case {
    const char* what;
    Twist twist;
    pack::ExtractOutcome outcome;
    const char* reason;
  };
  const Case cases[] = {
      {"damaged payload", Twist::kDamaged, pack::ExtractOutcome::kDigestMismatch, "does not match"},
      {"output is the input", Twist::kOutputIsInput, pack::ExtractOutcome::kFailed,
       "one of the inputs"},
      {"sparse file claiming 8 GiB", Twist::kCrafted, pack::ExtractOutcome::kFailed,
       "beyond the longest file"},
      {"input is a FIFO", Twist::kFifoInput, pack::ExtractOutcome::kFailed, "not a regular file"},
      {"output is a FIFO", Twist::kFifoOutput, pack::ExtractOutcome::kFailed, "not a regular file"},
  };
  for (const Case& c : cases) {
    if ((c.twist == Twist::kFifoInput || c.twist == Twist::kFifoOutput) != fifoCases) continue;
    SCOPED_TRACE(c.what);
    PackDir dir;
    Sample sample = MakeSample(0);
    if (c.twist == Twist::kDamaged) DamagePayload(&sample);
    std::string file = dir.File("Updater.exe");
    std::string output = c.twist == Twist::kOutputIsInput
                             ? dir.Path() + kPathSeparator + "." + kPathSeparator + "Updater.exe"
                             : dir.File("tool.exe");
    ASSERT_TRUE(c.twist != Twist::kFifoInput || MakeFifo(file));
    ASSERT_TRUE(c.twist != Twist::kFifoOutput || MakeFifo(output));
    if (c.twist == Twist::kCrafted) {
      WriteSparseFileWithTrailer(file, PeImageWithTail(0, 1), 8ull << 30, (8ull << 30) - 4096);
    } else if (c.twist != Twist::kFifoInput) {
      WriteBytes(file, sample.built.bytes);
    }
    Bytes previous(10, 'o');
    if (c.twist != Twist::kOutputIsInput && c.twist != Twist::kFifoOutput) {
      WriteBytes(output, previous);
    }
    std::vector<std::string> before = Entries(dir.Path());

    PayloadLocation location;
    std::string error;
    EXPECT_EQ(pack::ExtractPayloadFile(file, output, &location, &error), c.outcome);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(Entries(dir.Path()), before);
    if (c.twist == Twist::kDamaged || c.twist == Twist::kOutputIsInput) {
      EXPECT_EQ(ReadBytes(file), sample.built.bytes);
    }
    if (c.twist != Twist::kOutputIsInput && c.twist != Twist::kFifoOutput) {
      EXPECT_EQ(ReadBytes(output), previous);
    }
  }
}

TEST(zorpack_extract, RefusesAndWritesNothing) {
  ExpectExtractRefusalsWriteNothing(false);
}

TEST(zorpack_extract, RefusesFifosAndWritesNothing) {
  if (kNoFifosHere != nullptr) GTEST_SKIP() << kNoFifosHere;
  ExpectExtractRefusalsWriteNothing(true);
}

}  // namespace

}  // namespace zor::test
