// A launcher killed in the middle of writing a large copy: the final name
// never holds unverified bytes, the lock it owned is left abandoned, and the
// next launcher takes the lock over and writes a verified copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/range_digest.h"
#include "support/cache_folder.h"
#include "support/cache_launcher.h"
#include "support/file_bytes.h"
#include "support/launcher_run.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

constexpr DWORD kToolExitCode = 3;
constexpr size_t kHugePayloadExtra = 128 << 20;
constexpr DWORD kExtractionWatchPolls = 60000;

// The size of `path`, or -1 when it does not exist.
int64_t SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<int64_t>(uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
}

TEST(CacheCrash, AKilledExtractionLeavesNoUnverifiedCopyAndTheNextRunRecovers) {
  test::TempDir dir;
  test::ScopedEnvironment exitCode(L"ZOR_SAMPLE_EXIT_CODE", std::to_wstring(kToolExitCode));
  test::ScopedEnvironment noReport(L"ZOR_SAMPLE_REPORT", L"");
  test::CacheTestLauncher launcher(dir.Path(), kHugePayloadExtra);
  const int64_t payloadSize = static_cast<int64_t>(launcher.Payload().size());

  test::ChildProcess victim;
  {
    // Should the extraction finish before the kill, the tool waits here
    // instead of ending, and the test sees that it came too late.
    test::ScopedEnvironment wait(L"ZOR_SAMPLE_WAIT_FOR", dir.File(L"never"));
    ASSERT_TRUE(victim.Start(launcher.Path()));
  }
  const std::wstring victimTemp =
      launcher.CachedCopy() + L"." + std::to_wstring(victim.Id()) + L".tmp";
  // Caught in the first half, so that the kill lands well before the end.
  auto growing = [&](int64_t size) {
    return size >= kTransferChunkSize && size <= payloadSize / 2;
  };
  int64_t seen = -1;
  for (DWORD polls = 0; polls < kExtractionWatchPolls; ++polls) {
    seen = SizeOf(victimTemp);
    int64_t finalSize = SizeOf(launcher.CachedCopy());
    ASSERT_FALSE(finalSize >= 0 && finalSize < payloadSize)
        << "part of a copy under the final name";
    if (growing(seen) || finalSize >= 0) break;
    Sleep(1);
  }
  ASSERT_TRUE(growing(seen)) << "the extraction was not caught while growing (size " << seen << ")";
  // Kept open so that the lock outlives its owner and is left abandoned.
  UniqueHandle lock(OpenMutexW(SYNCHRONIZE, FALSE, launcher.LockName().c_str()));
  ASSERT_TRUE(lock.IsValid());
  victim.Kill();

  // The final name holds a verified copy or nothing, never part of one.
  if (test::FileExists(launcher.CachedCopy())) {
    EXPECT_TRUE(test::ReadFileBytes(launcher.CachedCopy()) == launcher.Payload())
        << "unverified bytes under the final name";
  }

  test::LauncherRun next = test::RunLauncherToEnd(launcher.Path());
  EXPECT_TRUE(next.exited);
  EXPECT_TRUE(next.boxes.empty()) << testing::PrintToString(next.boxes[0].text);
  EXPECT_EQ(next.exitCode, kToolExitCode);
  EXPECT_TRUE(test::ReadFileBytes(launcher.CachedCopy()) == launcher.Payload())
      << "the copy is not the payload";
  // The killed launcher's temporary file may stay; the next one's does not.
  for (const std::wstring& name : test::FolderEntries(launcher.CacheFolder())) {
    EXPECT_TRUE(name == test::kLauncherFileName ||
                launcher.CacheFolder() + L"\\" + name == victimTemp)
        << "left behind: " << testing::PrintToString(name);
  }
}

}  // namespace
}  // namespace zor
