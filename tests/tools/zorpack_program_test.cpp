// The zorpack program as release engineers run it: exit statuses, the
// report it prints, one-line errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "test_paths.h"
#include "tools/zorpack_process.h"

namespace zor::test {

namespace {

constexpr DWORD kStatusSuccess = 0;
constexpr DWORD kStatusDigestMismatch = 1;
constexpr DWORD kStatusFailure = 2;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One line, prefixed with the program's name, and nothing else.
void ExpectOneErrorLine(const ProgramRun& run) {
  EXPECT_EQ(run.err.rfind("zorpack: ", 0), 0u) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(zorpack_program, HelpAndUsage) {
  ProgramRun help = RunZorpackProgram({L"--help"});
  EXPECT_EQ(help.exitCode, kStatusSuccess);
  EXPECT_TRUE(Contains(help.out, "zorpack pack LAUNCHER PAYLOAD OUTPUT")) << help.out;
  EXPECT_TRUE(help.err.empty());

  ProgramRun bare = RunZorpackProgram({});
  EXPECT_EQ(bare.exitCode, kStatusFailure);
  EXPECT_TRUE(Contains(bare.err, "zorpack pack LAUNCHER PAYLOAD OUTPUT")) << bare.err;
  EXPECT_TRUE(bare.out.empty());
}

TEST(zorpack_program, BadUsageAndBadFilesExitWithStatus2) {
  TempDir dir;
  WriteFileBytes(dir.File(L"text.exe"), Bytes(200, 'x'));
  const std::wstring missing = dir.File(L"missing.exe");
  const std::vector<std::vector<std::wstring>> invocations = {
      {L"frobnicate"},
      {L"pack"},
      {L"pack", kLauncherExe, kSampleToolExe},
      {L"pack", kLauncherExe, kSampleToolExe, dir.File(L"a.exe"), dir.File(L"b.exe")},
      {L"inspect"},
      {L"inspect", kLauncherExe, kLauncherExe},
      {L"extract", kLauncherExe},
      {L"pack", missing, kSampleToolExe, dir.File(L"out.exe")},
      {L"pack", kLauncherExe, dir.File(L"text.exe"), dir.File(L"out.exe")},
      {L"pack", kLauncherExe, kSampleToolExe, kSampleToolExe},
      {L"inspect", missing},
      {L"inspect", kSampleToolExe},
      {L"extract", kSampleToolExe, dir.File(L"out.exe")},
  };
  for (const auto& arguments : invocations) {
    std::string shown;
    for (const auto& argument : arguments) shown += Utf8Of(argument) + " ";
    SCOPED_TRACE(shown);
    ProgramRun run = RunZorpackProgram(arguments);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kStatusFailure);
    ExpectOneErrorLine(run);
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_FALSE(FileExists(dir.File(L"out.exe")));
}

TEST(zorpack_program, PackInspectExtractRoundTrip) {
  TempDir dir;
  const std::wstring packed = dir.File(L"My Updater.exe");
  const std::wstring extracted = dir.File(L"tool copy.exe");
  Bytes tool = ReadFileBytes(kSampleToolExe);
  std::string digestLine = "payload sha256: " + HexOf(Sha256Of(tool)) + "\n";
  std::string sizeLine = "payload size: " + std::to_string(tool.size()) + "\n";

  ProgramRun pack = RunZorpackProgram({L"pack", kLauncherExe, kSampleToolExe, packed});
  ASSERT_EQ(pack.exitCode, kStatusSuccess) << pack.err;
  EXPECT_TRUE(Contains(pack.out, digestLine)) << pack.out;
  EXPECT_TRUE(pack.err.empty());

  ProgramRun inspect = RunZorpackProgram({L"inspect", packed});
  EXPECT_EQ(inspect.exitCode, kStatusSuccess) << inspect.err;
  for (const std::string& line : {digestLine, sizeLine, std::string("certificate table: none\n"),
                                  std::string("payload check: matches\n")}) {
    EXPECT_TRUE(Contains(inspect.out, line)) << inspect.out;
  }

  ProgramRun extract = RunZorpackProgram({L"extract", packed, extracted});
  EXPECT_EQ(extract.exitCode, kStatusSuccess) << extract.err;
  EXPECT_EQ(ReadFileBytes(extracted), tool);
}

TEST(zorpack_program, DamagedPayloadFailsInspectAndExtractWithStatus1) {
  TempDir dir;
  const std::wstring packed = dir.File(L"Updater.exe");
  ASSERT_EQ(RunZorpackProgram({L"pack", kLauncherExe, kSampleToolExe, packed}).exitCode,
            kStatusSuccess);
  Bytes bytes = ReadFileBytes(packed);
  Bytes launcher = ReadFileBytes(kLauncherExe);
  bytes[launcher.size() + 4096] ^= 0x01;  // inside the payload
  WriteFileBytes(packed, bytes);

  ProgramRun inspect = RunZorpackProgram({L"inspect", packed});
  EXPECT_EQ(inspect.exitCode, kStatusDigestMismatch);
  EXPECT_TRUE(Contains(inspect.out, "payload check: MISMATCH")) << inspect.out;
  ExpectOneErrorLine(inspect);

  ProgramRun extract = RunZorpackProgram({L"extract", packed, dir.File(L"tool.exe")});
  EXPECT_EQ(extract.exitCode, kStatusDigestMismatch);
  ExpectOneErrorLine(extract);
  EXPECT_FALSE(FileExists(dir.File(L"tool.exe")));
}

}  // namespace

}  // namespace zor::test
