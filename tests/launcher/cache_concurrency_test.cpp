// Several launchers of one payload at once: the lock lets one of them write
// the copy while the others wait and then find it valid, and it is held only
// for the cache work, not while the tool runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/cache_folder.h"
#include "support/cache_launcher.h"
#include "support/file_bytes.h"
#include "support/launcher_run.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::Bytes;

constexpr DWORD kToolExitCode = 77;
constexpr wchar_t kToolExitCodeText[] = L"77";
constexpr int kLauncherCount = 8;
// Large enough that extracting it takes a while, so that the launchers meet.
constexpr size_t kLargePayloadExtra = 16 << 20;

class CacheConcurrency : public testing::Test {
 protected:
  void ExpectOnlyTheCopy(const test::CacheTestLauncher& launcher) {
    EXPECT_EQ(test::FolderEntries(launcher.CacheFolder()),
              std::vector<std::wstring>{test::kLauncherFileName});
    EXPECT_TRUE(test::ReadFileBytes(launcher.CachedCopy()) == launcher.Payload())
        << "the copy is not the payload";
  }

  void ExpectToolRan(const test::LauncherRun& outcome) {
    EXPECT_TRUE(outcome.exited) << "the launcher did not end";
    EXPECT_TRUE(outcome.boxes.empty())
        << "unexpected box: " << testing::PrintToString(outcome.boxes[0].text);
    EXPECT_EQ(outcome.exitCode, kToolExitCode);
  }

  test::TempDir dir_;
  test::ScopedEnvironment exitCode_{L"ZOR_SAMPLE_EXIT_CODE", kToolExitCodeText};
  test::ScopedEnvironment noWait_{L"ZOR_SAMPLE_WAIT_FOR", L""};
  test::ScopedEnvironment noReport_{L"ZOR_SAMPLE_REPORT", L""};
};

TEST_F(CacheConcurrency, LaunchersStartedTogetherOnAColdCacheShareOneCopy) {
  test::CacheTestLauncher launcher(dir_.Path(), kLargePayloadExtra);
  std::vector<std::unique_ptr<test::ChildProcess>> running;
  for (int i = 0; i < kLauncherCount; ++i) {
    running.push_back(std::make_unique<test::ChildProcess>());
    ASSERT_TRUE(running.back()->Start(launcher.Path()));
  }
  // One time limit for all of them, so that a hang fails within it.
  const ULONGLONG deadline = GetTickCount64() + test::kDefaultWaitMs;
  for (auto& child : running) {
    SCOPED_TRACE(testing::Message() << "launcher " << child->Id());
    ULONGLONG now = GetTickCount64();
    ExpectToolRan(test::FinishLauncher(child.get(), now < deadline ? DWORD(deadline - now) : 0));
  }
  ExpectOnlyTheCopy(launcher);
}

// The first launcher's tool keeps running (and keeps its image open) while a
// second launcher of the same file checks the copy, leaves it alone and runs
// its own tool from it.
TEST_F(CacheConcurrency, ASecondLauncherRunsWhileTheFirstOnesToolRuns) {
  test::CacheTestLauncher launcher(dir_.Path());
  const std::wstring releaseFile = dir_.File(L"release");
  const std::wstring reportPath = dir_.File(L"first-report.bin");
  test::ReleaseOnExit release(releaseFile);
  test::ChildProcess first;
  {
    test::ScopedEnvironment wait(L"ZOR_SAMPLE_WAIT_FOR", releaseFile);
    test::ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", reportPath);
    ASSERT_TRUE(first.Start(launcher.Path()));
  }
  test::SampleToolReport firstReport;
  ASSERT_TRUE(test::WaitForSampleToolReport(reportPath, &firstReport, 30000))
      << "the first tool did not start";
  test::FileIdentity before;
  ASSERT_TRUE(test::IdentityOf(launcher.CachedCopy(), &before));

  ExpectToolRan(test::RunLauncherToEnd(launcher.Path(), L"", 30000));
  DWORD firstExit = 0;
  EXPECT_FALSE(first.Wait(0, &firstExit)) << "the first tool should still be running";

  test::WriteFileBytes(releaseFile, Bytes{1});
  ExpectToolRan(test::FinishLauncher(&first));
  test::FileIdentity after;
  ASSERT_TRUE(test::IdentityOf(launcher.CachedCopy(), &after));
  EXPECT_TRUE(after == before) << "the copy in use was rewritten";
  ExpectOnlyTheCopy(launcher);
}

// While another process owns the payload's lock, a launcher writes nothing
// into the digest folder; once the lock is released it goes on.
TEST_F(CacheConcurrency, TheCopyIsWrittenOnlyUnderThePayloadsLock) {
  test::CacheTestLauncher launcher(dir_.Path());
  UniqueHandle lock(CreateMutexW(nullptr, TRUE, launcher.LockName().c_str()));
  ASSERT_TRUE(lock.IsValid());
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  test::ChildProcess waiting;
  ASSERT_TRUE(waiting.Start(launcher.Path()));
  DWORD exitCode = 0;
  EXPECT_FALSE(waiting.Wait(1500, &exitCode)) << "the launcher did not wait for the lock";
  EXPECT_TRUE(test::FolderEntries(launcher.CacheFolder()).empty());

  ReleaseMutex(lock.Get());
  ExpectToolRan(test::FinishLauncher(&waiting));
  ExpectOnlyTheCopy(launcher);
}

}  // namespace
}  // namespace zor
