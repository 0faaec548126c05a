// Packing a payload behind a launcher image, checked by reading the packed
// file back with the launcher's own locator.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "packer.h"
#include "payload/payload_trailer.h"
#include "pending_output.h"
#include "pipelined_copy.h"
#include "sbom.h"
#include "support/file_bytes.h"
#include "zorpack_command.h"
#include "tools/pack_files.h"

namespace zor::test {

namespace {

constexpr uint64_t kSignAlignment = 8;

struct LayoutCase {
  size_t imageTail;
  size_t payloadTail;
  bool payloadPe32Plus;
  // The copy on the calling thread alone, as when the system has no second
  // thread to give.
  bool oneThread = false;
  // The most bytes one read of the copy returns (0: as many as asked).
  uint32_t readLimit = 0;
};

// Fewer bytes than a chunk, and no divisor of it: no chunk is ever filled by
// one read, and each read ends at another place in its chunk.
constexpr uint32_t kShortRead = 100003;

// Image and payload lengths whose sum takes every value mod 8, with image
// lengths that are and are not themselves aligned.
std::vector<LayoutCase> LayoutCases() {
  std::vector<LayoutCase> cases;
  for (size_t imageTail : {0u, 3u}) {
    for (size_t payloadTail = 0; payloadTail < kSignAlignment; ++payloadTail) {
      cases.push_back({imageTail, payloadTail, payloadTail % 2 == 1});
    }
  }
  // A payload that goes round the copy's ring of buffers twice and more,
  // and ends in part of a chunk: every chunk hashed is the chunk written.
  constexpr size_t kRingBytes = size_t{pack::kPipelineChunks} * pack::kPipelineChunkSize;
  constexpr size_t kRingPayload = 2 * kRingBytes + kRingBytes / 2 + 3;
  cases.push_back({3u, kRingPayload, false});
  cases.push_back({3u, kRingPayload, false, true});
  // A network or FUSE file system may return fewer bytes than asked in the
  // middle of a file.
  cases.push_back({3u, kRingPayload, false, false, kShortRead});
  return cases;
}

TEST(zorpack_pack, LayoutIsLocatableAlignedAndPaddedBeforeThePayload) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE("image tail " + std::to_string(c.imageTail) + ", payload tail " +
                 std::to_string(c.payloadTail) + (c.oneThread ? ", one thread" : "") +
                 ", read limit " + std::to_string(c.readLimit));
    PackDir dir;
    Bytes image = LauncherImageWithTail(c.imageTail, 1);
    Bytes payload = PeImageWithTail(c.payloadTail, 2, c.payloadPe32Plus);
    WriteBytes(dir.File("launcher.exe"), image);
    WriteBytes(dir.File("tool.exe"), payload);

    pack::PackedFile packed;
    std::string error;
    pack::DenyCopyThreadForTesting(c.oneThread);
    pack::LimitCopyReadsForTesting(c.readLimit);
    bool done = pack::PackLauncherFile(dir.File("launcher.exe"), dir.File("tool.exe"),
                                       dir.File("out.exe"), &packed, &error);
    pack::DenyCopyThreadForTesting(false);
    pack::LimitCopyReadsForTesting(0);
    ASSERT_TRUE(done) << error;
    EXPECT_TRUE(error.empty());

    Bytes file = ReadBytes(dir.File("out.exe"));
    EXPECT_EQ(file.size() % kSignAlignment, 0u);
    EXPECT_EQ(file.size(), packed.fileSize);

    PayloadLocation location;
    ASSERT_TRUE(LocatePayloadInFile(std::filesystem::u8path(dir.File("out.exe")), &location));
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
  // A name beyond ASCII: the packer passes paths through as UTF-8. And the
  // longest name a folder takes: the temporary name must not be longer.
  const std::string names[] = {
      "Pr\xC3\xBC"
      "fger\xC3\xA4t Updater.exe",
      std::string(251, 'u') + ".exe"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    PackDir dir;
    pack::PackedFile packed;
    std::string error;
    std::string output = dir.File(name);
    ASSERT_TRUE(
        pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), output, &packed, &error))
        << error;
    Bytes tool = ReadBytes(SampleToolExePath());
    PayloadLocation location;
    ASSERT_TRUE(LocatePayloadInFile(std::filesystem::u8path(output), &location));
    EXPECT_EQ(location.size, tool.size());
    EXPECT_EQ(HexOf(location.digest), HexOf(Sha256Of(tool)));
    EXPECT_EQ(packed.fileSize % kSignAlignment, 0u);
  }
}

// Where a case puts something other than the file it names.
enum class Place {
  kFile,
  kFolder,
  kInMissingFolder,
  kInMissingFolderFurtherUp,  // a folder above the output's is missing too
  kTheLauncher,
  kThePayload,
  kThePayloadFarSpelled,  // through so many "." folders that no path call takes it
  kFifo,                  // run only where there are FIFOs (not Windows)
  kEmptyName,             // the output only
  kNamesPlanted,          // the output: a link (or file) at every temporary name
  kLink,                  // the output: a link to a file; skipped where there are none
  kUnlookable,            // the output: a name no folder takes (see NameNoFolderTakes)
};

// A fixed start for the temporary names, so that a test knows them all.
constexpr uint64_t kPlantedNamesSeed = 0x5EED0000;

struct RefusalCase {
  const char* what;
  Bytes launcher;  // empty: no launcher file at all
  Bytes payload;   // empty: no payload file at all
  // The file the message must name, and what it must say about it.
  const char* subject;
  const char* reason;
  Place output = Place::kFile;
  Place launcherPlace = Place::kFile;
  Place payloadPlace = Place::kFile;
};

Bytes TextBytes(const char* text) {
  return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes AlreadyPackedLauncher() {
  LauncherFileParts parts;
  parts.image = LauncherImageWithTail(0, 1);
  parts.payload = PeImageWithTail(5, 2);
  return BuildLauncherFile(parts).bytes;
}

Bytes SignedLauncher() {
  LauncherFileParts parts;
  parts.image = LauncherImageWithTail(0, 1);
  parts.withTrailer = false;
  parts.certificateTableSize = 512;
  return BuildLauncherFile(parts).bytes;
}

// The built launcher image, its manifest naming `identity` instead (in the
// attribute `attribute`): rewritten in place, padded with blanks to its old
// length.
Bytes LauncherNamed(const std::string& identity, const std::string& attribute = "name") {
  Bytes image = LauncherImageWithTail(0, 1);
  const std::string from = "type=\"win32\" name=\"ZOR.FirmwareUpdate.Launcher\"";
  std::string to = attribute + "=\"" + identity + "\" t=\"\"";
  EXPECT_LE(to.size(), from.size());
  to.resize(from.size(), ' ');
  auto at = std::search(image.begin(), image.end(), from.begin(), from.end());
  EXPECT_NE(at, image.end());
  if (at != image.end()) std::copy(to.begin(), to.end(), at);
  return image;
}

Bytes PackedProduct() {
  LauncherFileParts parts;
  parts.image = PeImageWithTail(0, 1);
  parts.payload = PeImageWithTail(6, 2);
  return BuildLauncherFile(parts).bytes;
}

// The locations MinimalPeImage uses.
constexpr size_t kNewHeaderField = kNewHeaderOffsetField;
constexpr size_t kSignatureAt = kMinimalNewHeader;
constexpr size_t kCharacteristicsAt = kMinimalNewHeader + kCoffCharacteristicsField;
constexpr size_t kOptionalMagicAt = kMinimalOptionalHeader;
constexpr size_t kSubsystemAt = kMinimalOptionalHeader + kSubsystemField;
constexpr uint16_t kDllCharacteristics = kDllImage | kExecutableImage;
constexpr uint16_t kObjectCharacteristics = 0x0000;
constexpr uint16_t kEfiApplicationSubsystem = 10;

constexpr char kNotAnExe[] = "not a Windows executable";
constexpr char kNotOurs[] = "not this project's launcher image";

std::vector<RefusalCase> RefusalCases() {
  Bytes good = PeImageWithTail(7, 3);
  Bytes launcher = LauncherImageWithTail(0, 1);
  Bytes shortPe = Slice(good, 0, kOptionalMagicAt);
  return {
      {"launcher already packed", AlreadyPackedLauncher(), good, "launcher",
       "already carries a payload"},
      {"signed launcher", SignedLauncher(), good, "launcher", "is signed"},
      {"launcher is text", TextBytes("not a program\r\n"), good, "launcher", kNotAnExe},
      {"launcher is some other program", good, good, "launcher", kNotOurs},
      {"launcher and payload swapped", ReadBytes(SampleToolExePath()), launcher, "launcher",
       kNotOurs},
      {"launcher whose manifest name only begins with ours",
       LauncherNamed("ZOR.FirmwareUpdate.LauncherTools"), good, "launcher", kNotOurs},
      {"launcher whose manifest name only ends with ours",
       LauncherNamed("X.ZOR.FirmwareUpdate.Launcher"), good, "launcher", kNotOurs},
      {"launcher named ours in another attribute",
       LauncherNamed("ZOR.FirmwareUpdate.Launcher", "typename"), good, "launcher", kNotOurs},
      {"payload is text", launcher, TextBytes("MZ but nothing else"), "payload", kNotAnExe},
      {"payload e_lfanew past the end", launcher, WithStore32(good, kNewHeaderField, 0x10000),
       "payload", kNotAnExe},
      {"payload e_lfanew negative", launcher, WithStore32(good, kNewHeaderField, 0xFFFFFF80),
       "payload", kNotAnExe},
      {"payload without PE signature", launcher, WithStore32(good, kSignatureAt, 0x00004551),
       "payload", kNotAnExe},
      {"payload with ROM optional header", launcher, WithStore32(good, kOptionalMagicAt, 0x107),
       "payload", kNotAnExe},
      {"payload cut before its optional header", launcher, shortPe, "payload", kNotAnExe},
      {"payload is a DLL", launcher, WithStore16(good, kCharacteristicsAt, kDllCharacteristics),
       "payload", "is a DLL"},
      {"payload is not an executable image", launcher,
       WithStore16(good, kCharacteristicsAt, kObjectCharacteristics), "payload",
       "not a 32- or 64-bit Windows program"},
      {"payload is an EFI application", launcher,
       WithStore16(good, kSubsystemAt, kEfiApplicationSubsystem), "payload",
       "not a 32- or 64-bit Windows program"},
      {"payload is a packed product", launcher, PackedProduct(), "payload", "itself a packed file"},
      {"payload is the bare launcher", launcher, launcher, "payload", "the launcher image itself"},
      {"missing launcher", {}, good, "launcher", "cannot open"},
      {"missing payload", launcher, {}, "payload", "cannot open"},
      {"launcher is a folder", Bytes(), good, "launcher", "is a folder, not a file", Place::kFile,
       Place::kFolder},
      {"payload is a folder", launcher, Bytes(), "payload", "is a folder, not a file", Place::kFile,
       Place::kFile, Place::kFolder},
      {"output is a folder", launcher, good, "output", "is a folder, not a file", Place::kFolder},
      {"output in a missing folder", launcher, good, "folder of the output", "does not exist",
       Place::kInMissingFolder},
      // Windows tells this one apart from a missing last name
      // (ERROR_PATH_NOT_FOUND): still a folder that does not exist.
      {"output in a folder missing further up", launcher, good, "folder of the output",
       "does not exist", Place::kInMissingFolderFurtherUp},
      {"output is the launcher", launcher, PeImageWithTail(1, 4), "output", "one of the inputs",
       Place::kTheLauncher},
      {"output is the payload", launcher, PeImageWithTail(1, 4), "output", "one of the inputs",
       Place::kThePayload},
      {"output is the payload, spelt longer than a path may be", launcher, PeImageWithTail(1, 4),
       "output", "one of the inputs", Place::kThePayloadFarSpelled},
      {"launcher is a FIFO", Bytes(), good, "launcher", "not a regular file", Place::kFile,
       Place::kFifo},
      {"payload is a FIFO", launcher, Bytes(), "payload", "not a regular file", Place::kFile,
       Place::kFile, Place::kFifo},
      {"output is a FIFO", launcher, good, "output", "not a regular file", Place::kFifo},
      {"output is an empty name", launcher, good, "output", "not a file name", Place::kEmptyName},
      {"links planted at every temporary name", launcher, good, "output",
       "no temporary name beside it was free", Place::kNamesPlanted},
      {"output is a link to a file", launcher, good, "output", "is a link (to '", Place::kLink},
      // The output cannot even be looked at: not taken for a missing one.
      {"output name no folder takes", launcher, good, "output", "cannot look at the output",
       Place::kUnlookable},
  };
}

bool NeedsFifo(const RefusalCase& c) {
  return c.launcherPlace == Place::kFifo || c.payloadPlace == Place::kFifo ||
         c.output == Place::kFifo;
}

// A refused pack writes nothing: an existing output keeps its bytes, the
// inputs are unchanged and no temporary file is left in the folder, nor
// named in the one-line message. The cases with a FIFO, or those without.
void ExpectRefusalsLeaveEveryFileAsItWas(bool fifoCases) {
  const Bytes previousOutput = TextBytes("the previous output");
  for (const RefusalCase& c : RefusalCases()) {
    if (NeedsFifo(c) != fifoCases) continue;
    SCOPED_TRACE(c.what);
    PackDir dir;
    std::string launcher = dir.File("launcher.exe");
    std::string payload = dir.File("tool.exe");
    std::string output = dir.File("out.exe");
    if (!c.launcher.empty()) WriteBytes(launcher, c.launcher);
    if (!c.payload.empty()) WriteBytes(payload, c.payload);
    if (c.launcherPlace == Place::kFolder) MakeFolder(launcher);
    if (c.payloadPlace == Place::kFolder) MakeFolder(payload);
    ASSERT_TRUE(c.launcherPlace != Place::kFifo || MakeFifo(launcher));
    ASSERT_TRUE(c.payloadPlace != Place::kFifo || MakeFifo(payload));
    ASSERT_TRUE(c.output != Place::kFifo || MakeFifo(output));
    const std::string victim = dir.File("victim.txt");
    const Bytes victimBytes = TextBytes("must not be overwritten");
    if (c.output == Place::kLink) {
      WriteBytes(victim, victimBytes);
      if (!MakeLink(output, victim)) continue;  // no links here
    }
    pack::FixTemporaryNamesForTesting(c.output == Place::kNamesPlanted ? kPlantedNamesSeed : 0);
    if (c.output == Place::kNamesPlanted) {
      WriteBytes(output, previousOutput);
      WriteBytes(victim, victimBytes);
      for (int i = 0; i < pack::kTemporaryNameAttempts; ++i) {
        PlantLinkOrFile(pack::TemporaryPathFor(output, kPlantedNamesSeed + i), victim);
      }
    }
    if (c.output == Place::kEmptyName) output.clear();
    // Another spelling of the same path must not slip past the check.
    if (c.output == Place::kTheLauncher) {
      output = dir.Path() + kPathSeparator + "." + kPathSeparator + "launcher.exe";
    }
    if (c.output == Place::kThePayload) output = dir.Path() + "/./tool.exe";
    if (c.output == Place::kThePayloadFarSpelled) {
      constexpr int kCurrentFolders = 2100;
      output = dir.Path();
      for (int i = 0; i < kCurrentFolders; ++i) output += "/.";
      output += "/tool.exe";
    }
    if (c.output == Place::kFile) WriteBytes(output, previousOutput);
    if (c.output == Place::kFolder) MakeFolder(output);
    if (c.output == Place::kInMissingFolder) output = dir.File("no-such-folder") + "/out.exe";
    if (c.output == Place::kInMissingFolderFurtherUp) {
      output = dir.File("no-such-folder") + kPathSeparator + "deeper" + kPathSeparator + "out.exe";
    }
    if (c.output == Place::kUnlookable) output = dir.File(NameNoFolderTakes());
    std::vector<std::string> before = Entries(dir.Path());

    pack::PackedFile packed;
    std::string error;
    EXPECT_FALSE(pack::PackLauncherFile(launcher, payload, output, &packed, &error));
    pack::FixTemporaryNamesForTesting(0);
    EXPECT_NE(error.find(std::string("the ") + c.subject + " '"), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(error.find("zorpack-tmp"), std::string::npos) << error;

    EXPECT_EQ(Entries(dir.Path()), before);
    if (!c.launcher.empty() && c.launcherPlace == Place::kFile) {
      EXPECT_EQ(ReadBytes(launcher), c.launcher);
    }
    if (!c.payload.empty() && c.payloadPlace == Place::kFile) {
      EXPECT_EQ(ReadBytes(payload), c.payload);
    }
    if (c.output == Place::kFile || c.output == Place::kNamesPlanted) {
      EXPECT_EQ(ReadBytes(output), previousOutput);
    }
    if (c.output == Place::kNamesPlanted || c.output == Place::kLink) {
      EXPECT_EQ(ReadBytes(victim), victimBytes);
    }
    if (c.output == Place::kLink) {
      EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::u8path(output)));
    }
  }
}

TEST(zorpack_pack, RefusalsLeaveEveryFileAsItWas) {
  ExpectRefusalsLeaveEveryFileAsItWas(false);
}

TEST(zorpack_pack, RefusalsOfFifosLeaveEveryFileAsItWas) {
  if (kNoFifosHere != nullptr) GTEST_SKIP() << kNoFifosHere;
  ExpectRefusalsLeaveEveryFileAsItWas(true);
}

// Names someone else holds in the output's folder (links, on POSIX) are
// passed over without being followed.
TEST(zorpack_pack, ReplacesAnExistingOutputOnlyWhenComplete) {
  PackDir dir;
  WriteBytes(dir.File("launcher.exe"), LauncherImageWithTail(0, 1));
  WriteBytes(dir.File("tool.exe"), PeImageWithTail(9, 2));
  WriteBytes(dir.File("out.exe"), TextBytes("old"));
  WriteBytes(dir.File("victim.txt"), TextBytes("victim"));
  pack::FixTemporaryNamesForTesting(kPlantedNamesSeed);
  for (int i = 0; i + 1 < pack::kTemporaryNameAttempts; ++i) {
    PlantLinkOrFile(pack::TemporaryPathFor(dir.File("out.exe"), kPlantedNamesSeed + i),
                    dir.File("victim.txt"));
  }
  std::vector<std::string> expected = Entries(dir.Path());
  pack::PackedFile packed;
  std::string error;
  bool done = pack::PackLauncherFile(dir.File("launcher.exe"), dir.File("tool.exe"),
                                     dir.File("out.exe"), &packed, &error);
  pack::FixTemporaryNamesForTesting(0);
  ASSERT_TRUE(done) << error;
  PayloadLocation location;
  EXPECT_TRUE(LocatePayloadInFile(std::filesystem::u8path(dir.File("out.exe")), &location));
  EXPECT_EQ(Entries(dir.Path()), expected);
  EXPECT_EQ(ReadBytes(dir.File("victim.txt")), TextBytes("victim"));
}

// What the hook below does just before the payload is copied, and whether
// it could (Windows keeps an input from being written while zorpack reads
// it, and an open output folder from being renamed).
enum class Change {
  kRewrite,
  // The same bytes changed, then the old modification time put back: only
  // the change stamp tells.
  kRewriteKeepingTheTime,
  // The first byte of the payload's "MZ", which the payload check read,
  // changed in place through another user's shared mapping: size and times
  // stay, only the copy's comparison with what was checked tells.
  kRewriteCheckedByteQuietly,
  kGrow,
  kShrink,
  // Another user replaces the temporary file with a file of their own.
  kReplaceTemporary,
  // Another user moves the output's folder away and puts another in its
  // place, with and without the pack failing afterwards.
  kSwapFolder,
  kSwapFolderAndShrink,
  // Another user puts a link where the output goes, after the start.
  kLinkAtOutput,
  // Right after zorpack renamed its file to the output (the hook after the
  // rename), another user moves it away and puts a file of their own there.
  kReplaceOutput,
  // Between zorpack's last look at a missing output and its rename (the
  // hook before the rename), another user makes a file there.
  kOutputAppears,
};
Change change;
bool changed;
// How much of an input the quiet rewrite maps.
constexpr size_t kQuietlyRewritten = 4096;
std::string outputFolder;
std::string movedFolder;

bool ChangePayload(const std::string& payload, Change how) {
  Bytes bytes = ReadBytes(payload);
  const auto path = std::filesystem::u8path(payload);
  std::error_code timeError;
  const auto modified = std::filesystem::last_write_time(path, timeError);
  if (how == Change::kRewrite || how == Change::kRewriteKeepingTheTime) {
    bytes[bytes.size() / 3] ^= 0x55;
    bytes[bytes.size() * 2 / 3] ^= 0x55;
  }
  if (how == Change::kGrow) bytes.insert(bytes.end(), 4096, 0x47);
  if (how == Change::kShrink) bytes.resize(bytes.size() / 2);
  // File times tick coarsely; a real rewrite takes far longer than a tick.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (how == Change::kRewriteKeepingTheTime) {
    std::filesystem::last_write_time(path, modified, timeError);
  }
  return static_cast<bool>(out) && !timeError;
}

// Someone else's file, holding "planted", renamed over `name` in the
// output's folder.
bool PlantOver(const std::string& name) {
  const std::string planted = outputFolder + kPathSeparator + "planted";
  WriteBytes(planted, TextBytes("planted"));
  std::error_code error;
  std::filesystem::rename(std::filesystem::u8path(planted),
                          std::filesystem::u8path(outputFolder + kPathSeparator + name), error);
  // Windows replaces no file that is open.
  if (error) std::filesystem::remove(std::filesystem::u8path(planted));
  return !error;
}

bool ReplaceTemporary() {
  for (const std::string& name : Entries(outputFolder)) {
    if (name.find("zorpack-tmp") != std::string::npos) return PlantOver(name);
  }
  ADD_FAILURE() << "no temporary file in " << outputFolder;
  return false;
}

bool SwapFolder() {
  std::error_code error;
  std::filesystem::rename(std::filesystem::u8path(outputFolder),
                          std::filesystem::u8path(movedFolder), error);
  if (error) return false;
  MakeFolder(outputFolder);
  return true;
}

// The file zorpack put at the output moved away (Windows renames an open
// file, but replaces none), and someone else's file put in its place.
bool ReplaceOutput() {
  std::error_code error;
  std::filesystem::rename(std::filesystem::u8path(outputFolder + kPathSeparator + "out.exe"),
                          std::filesystem::u8path(movedFolder + "-output"), error);
  return !error && PlantOver("out.exe");
}

// A link to a file that holds what the output held.
bool LinkAtOutput() {
  const std::string target = movedFolder + "-target";
  WriteBytes(target, TextBytes("old"));
  const std::string output = outputFolder + kPathSeparator + "out.exe";
  std::filesystem::remove(std::filesystem::u8path(output));
  return MakeLink(output, target);
}

void ChangeAtTheSeam(const std::string& payload) {
  switch (change) {
    case Change::kLinkAtOutput:
      changed = LinkAtOutput();
      return;
    case Change::kReplaceTemporary:
      changed = ReplaceTemporary();
      return;
    case Change::kReplaceOutput:
      changed = ReplaceOutput();
      return;
    case Change::kOutputAppears:
      WriteBytes(outputFolder + kPathSeparator + "out.exe", TextBytes("planted"));
      changed = true;
      return;
    case Change::kSwapFolder:
      changed = SwapFolder();
      return;
    case Change::kSwapFolderAndShrink:
      changed = ChangePayload(payload, Change::kShrink) && SwapFolder();
      return;
    case Change::kRewriteCheckedByteQuietly:
      changed = QuietRewrite(0);
      return;
    default:
      changed = ChangePayload(payload, change);
  }
}

// A payload rewritten, grown or cut while it is copied would give a product
// whose payload is neither file yet matches its digest: refused, and the
// message names the payload, not the output. A temporary file replaced by
// someone else is never renamed into place. The output's folder is the one
// opened at the start: a folder swapped in under its name meanwhile gets
// nothing, and a refused pack leaves no temporary file in either. A file
// put at the output right after the rename is never taken for the product;
// one put there just before it is never replaced, on a file system without
// an exclusive rename too.
TEST(zorpack_pack, ChangesWhileAPackRunsAreRefusedOrKeptInTheFolder) {
  struct Case {
    Change change;
    const char* subject;  // null: the pack succeeds
    const char* reason;
    const char* left = "old";  // what the output holds after a refusal
    bool withoutExclusiveRename = false;
  };
  const Case cases[] = {
      {Change::kRewrite, "the payload '", "changed while it was being packed"},
      {Change::kRewriteKeepingTheTime, "the payload '", "changed while it was being packed"},
      {Change::kRewriteCheckedByteQuietly, "the payload '", "changed while it was being packed"},
      {Change::kGrow, "the payload '", "changed while it was being packed"},
      {Change::kShrink, "the payload '", "changed while it was being packed"},
      {Change::kReplaceTemporary, "the output '", "replaced by someone else"},
      {Change::kSwapFolder, nullptr, nullptr},
      {Change::kSwapFolderAndShrink, "the payload '", "changed while it was being packed"},
      {Change::kLinkAtOutput, "the output '", "is a link"},
      {Change::kReplaceOutput, "the file now at the output '", "is not the one zorpack wrote",
       "planted"},
      {Change::kOutputAppears, "the output '", "was made by someone else", "planted"},
      {Change::kOutputAppears, "the output '", "was made by someone else", "planted", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.change)) +
                 (c.withoutExclusiveRename ? " without an exclusive rename" : ""));
    PackDir dir;
    outputFolder = dir.File("out");
    movedFolder = dir.File("moved");
    MakeFolder(outputFolder);
    const std::string output = outputFolder + kPathSeparator + "out.exe";
    WriteBytes(dir.File("tool.exe"), PeImageWithTail(1 << 20, 2));
    if (c.change != Change::kOutputAppears) WriteBytes(output, TextBytes("old"));
    if (c.change == Change::kRewriteCheckedByteQuietly) {
      StartQuietRewrite(dir.File("tool.exe"), kQuietlyRewritten);
    }
    change = c.change;
    changed = false;
    auto* setHook = c.change == Change::kReplaceOutput   ? pack::SetAfterRenameHookForTesting
                    : c.change == Change::kOutputAppears ? pack::SetBeforeRenameHookForTesting
                                                         : pack::SetBeforePayloadCopyHookForTesting;
    setHook(ChangeAtTheSeam);
    pack::DenyExclusiveRenameForTesting(c.withoutExclusiveRename);
    pack::PackedFile packed;
    std::string error;
    bool done =
        pack::PackLauncherFile(LauncherExePath(), dir.File("tool.exe"), output, &packed, &error);
    pack::DenyExclusiveRenameForTesting(false);
    setHook(nullptr);
    EndQuietRewrite();
    bool swapped =
        changed && (c.change == Change::kSwapFolder || c.change == Change::kSwapFolderAndShrink);
    // Where the output's folder is now; the folder under its old name must
    // hold nothing.
    const std::string folder = swapped ? movedFolder : outputFolder;
    const std::string landed = folder + kPathSeparator + "out.exe";
    if (swapped) {
      EXPECT_EQ(Entries(outputFolder), std::vector<std::string>{});
    }
    // Only a platform that itself refuses the change may keep it from
    // happening: Windows lets nobody write an open input, replace the open
    // temporary file or rename the held folder. Then the pack goes through.
    if (!changed) {
      ASSERT_NE(kNoWritesToOpenInputs, nullptr) << "the test could not make the change";
    }
    if (!changed || c.subject == nullptr) {
      // Nothing could be changed, or the change must not matter.
      ASSERT_TRUE(done) << error;
      PayloadLocation location;
      EXPECT_TRUE(LocatePayloadInFile(std::filesystem::u8path(landed), &location));
      EXPECT_EQ(Entries(folder), std::vector<std::string>{"out.exe"});
      continue;
    }
    EXPECT_FALSE(done);
    EXPECT_NE(error.find(c.subject), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(landed), TextBytes(c.left));
    std::vector<std::string> left = Entries(folder);
    // The file put in place of the temporary one is someone else's: left.
    if (c.change == Change::kReplaceTemporary) {
      EXPECT_EQ(left.size(), 2u);
      left.erase(std::remove_if(left.begin(), left.end(),
                                [](const std::string& name) {
                                  return name.find("zorpack-tmp") != std::string::npos;
                                }),
                 left.end());
    }
    EXPECT_EQ(left, std::vector<std::string>{"out.exe"});
  }
}

// sbom hashes LAUNCHER in the read that compares it with the product, and a
// LAUNCHER rewritten after that comparison (same size, other bytes) is
// refused at the end: the document never names a launcher the product does
// not carry. A byte of the product's launcher image changed in place after
// the comparison and before the product is hashed (size and times kept) is
// refused too: the hashes are never those of a product that fails verify.
// A platform that lets nobody write an open input keeps them.
enum class SbomChange { kNone, kRewriteLauncher, kRewriteProductQuietly };
SbomChange sbomChange;

void RewriteLauncher(const std::string& launcher) {
  if (sbomChange == SbomChange::kRewriteProductQuietly) {
    changed = QuietRewrite(1000);
    return;
  }
  Bytes bytes = ReadBytes(launcher);
  bytes[bytes.size() / 2] ^= 0x01;
  std::ofstream rewrite(std::filesystem::u8path(launcher), std::ios::binary | std::ios::in);
  rewrite.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  changed = rewrite.good();
}

TEST(zorpack_sbom, InputChangedAfterTheComparisonIsRefused) {
  for (SbomChange how :
       {SbomChange::kNone, SbomChange::kRewriteLauncher, SbomChange::kRewriteProductQuietly}) {
    SCOPED_TRACE(static_cast<int>(how));
    bool rewrite = how != SbomChange::kNone;
    PackDir dir;
    const std::string launcher = dir.File("launcher.exe");
    const Bytes original = ReadBytes(LauncherExePath());
    WriteBytes(launcher, original);
    pack::PackedFile packed;
    std::string error;
    ASSERT_TRUE(
        pack::PackLauncherFile(launcher, SampleToolExePath(), dir.File("P.exe"), &packed, &error))
        << error;
    changed = false;
    sbomChange = how;
    if (how == SbomChange::kRewriteProductQuietly) {
      StartQuietRewrite(dir.File("P.exe"), kQuietlyRewritten);
    }
    pack::SetAfterLauncherComparedHookForTesting(rewrite ? RewriteLauncher : nullptr);
    int status =
        pack::RunZorpack({"sbom", "--launcher", launcher, dir.File("P.exe"), dir.File("sbom.json")},
                         NoFile(), NoFile());
    pack::SetAfterLauncherComparedHookForTesting(nullptr);
    EndQuietRewrite();
    if (changed) {
      EXPECT_EQ(status, 2);
      EXPECT_FALSE(Exists(dir.File("sbom.json")));
      continue;
    }
    if (rewrite) {
      ASSERT_NE(kNoWritesToOpenInputs, nullptr) << "the test could not rewrite it";
    }
    ASSERT_EQ(status, 0);
    EXPECT_NE(ReadText(dir.File("sbom.json")).find(HexOf(Sha256Of(original))), std::string::npos);
  }
}

// The certificate table's offset is a 32-bit field, so a file too long for
// it could never be signed; the check must come before any copying. A file
// of exactly the largest signable size passes it: with its output in a
// missing folder, the pack then stops at the output instead, before writing
// 4 GiB.
TEST(zorpack_pack, RefusesAFileTooLongToSignButNotTheLargestSignable) {
  const Bytes launcher = LauncherImageWithTail(0, 1);
  // An aligned launcher and this payload need no padding: the file is the
  // launcher, the payload and the trailer.
  const uint64_t largestPayload = pack::kMaxSignableSize - kTrailerSize - launcher.size();
  ASSERT_EQ(launcher.size() % kSignAlignment, 0u);
  struct Case {
    uint64_t payloadSize;
    const char* reason;
  };
  const Case cases[] = {
      {largestPayload, "does not exist"},
      {largestPayload + kSignAlignment, "too long to be signed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    PackDir dir;
    WriteBytes(dir.File("launcher.exe"), launcher);
    WriteSparseFile(dir.File("huge.exe"), MinimalPeImage(), c.payloadSize);
    const std::string output = dir.File("missing") + kPathSeparator + "out.exe";
    pack::PackedFile packed;
    std::string error;
    EXPECT_FALSE(pack::PackLauncherFile(dir.File("launcher.exe"), dir.File("huge.exe"), output,
                                        &packed, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"huge.exe", "launcher.exe"}));
  }
}

// Hundreds of MiB go through a fixed buffer: the peak memory of this process
// must not grow anywhere near the payload's size.
TEST(zorpack_pack, LargePayloadPacksWithFlatMemory) {
  constexpr uint64_t kPayloadSize = 256ull << 20;
  constexpr size_t kMemoryAllowance = 32u << 20;
  PackDir dir;
  WriteBytes(dir.File("launcher.exe"), LauncherImageWithTail(0, 1));
  WriteSparseFile(dir.File("big.exe"), PeImageWithTail(100, 5), kPayloadSize + 3);

  size_t peakBefore = PeakMemoryBytes();
  ASSERT_NE(peakBefore, 0u);
  pack::PackedFile packed;
  std::string error;
  ASSERT_TRUE(pack::PackLauncherFile(dir.File("launcher.exe"), dir.File("big.exe"),
                                     dir.File("out.exe"), &packed, &error))
      << error;
  pack::Inspection inspection;
  ASSERT_TRUE(pack::InspectLauncherFile(dir.File("out.exe"), &inspection, &error)) << error;
  EXPECT_LT(PeakMemoryBytes(), peakBefore + kMemoryAllowance);

  EXPECT_TRUE(inspection.digestMatches);
  EXPECT_TRUE(inspection.launcherRecognised);
  EXPECT_EQ(inspection.location.size, kPayloadSize + 3);
  EXPECT_EQ(packed.fileSize % kSignAlignment, 0u);
}

}  // namespace

}  // namespace zor::test
