// Arguments given to a real launcher reach the tool unchanged, as the
// platform's parser and as the C runtime's parser split them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/argument_vectors.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/cache_folder.h"
#include "support/launcher_run.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::ArgumentVector;
using test::Describe;

constexpr wchar_t kLauncherName[] = L"Firmware Update.exe";
constexpr uint32_t kRandomVectorCount = 30;
constexpr uint32_t kFirstSeed = 7000;

TEST(ArgumentForwarding, TheToolGetsTheLaunchersArgumentsBehindItsCachedPath) {
  test::TempDir dir;
  std::wstring launcherPath = dir.File(kLauncherName);
  test::LauncherFileParts parts;
  parts.image = test::LauncherImage();
  parts.payload = test::UniqueSamplePayload(test::FreshTag());
  test::BuiltLauncherFile built = test::WriteLauncherFile(launcherPath, parts);
  test::ScopedCacheFolder cache(built.payloadDigest);
  std::wstring cachedTool = cache.Folder() + L"\\" + kLauncherName;

  std::vector<ArgumentVector> vectors = {
      {},
      {L""},
      {L"--device", L"COM3", L"--image", L"C:\\Firmware Files\\fw 2.1.bin", L"--label",
       L"say \"hi\""},
      {L"C:\\my dir\\", L"a\\\\\"b", L"\\\\server\\share", L"", L"trailing\\\\"},
      {L"\t", L"\n", L"\v", L"\r", L"a\rb", L" "},
      {L"\u00e9t\u00e9", L"\u4e2d\u6587", L"\U0001F600 \U00010400"},
  };
  for (uint32_t i = 0; i < kRandomVectorCount; ++i) {
    vectors.push_back(test::RandomArgumentVector(kFirstSeed + i));
  }

  for (size_t i = 0; i < vectors.size(); ++i) {
    const ArgumentVector& arguments = vectors[i];
    std::wstring reportPath = dir.File(L"report." + std::to_wstring(i));
    test::ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", reportPath);
    test::LauncherRun run =
        test::RunLauncherToEnd(launcherPath, test::CommandLineQuotingAll(launcherPath, arguments));
    ASSERT_TRUE(run.exited) << "vector " << i;
    EXPECT_EQ(run.exitCode, 0u) << "vector " << i;
    EXPECT_TRUE(run.boxes.empty()) << "vector " << i;

    test::SampleToolReport received;
    ASSERT_TRUE(test::ReadSampleToolReport(reportPath, &received)) << "vector " << i;
    ArgumentVector expected = arguments;
    expected.insert(expected.begin(), cachedTool);
    EXPECT_EQ(received.platformArgs, expected)
        << "vector " << i << "\n  sent " << Describe(arguments) << "\n  got  "
        << Describe(received.platformArgs) << "\n  line <" << Describe(received.commandLine) << ">";
    EXPECT_EQ(received.crtArgs, expected)
        << "vector " << i << "\n  sent " << Describe(arguments) << "\n  got  "
        << Describe(received.crtArgs) << "\n  line <" << Describe(received.commandLine) << ">";
  }
}

}  // namespace
}  // namespace zor
