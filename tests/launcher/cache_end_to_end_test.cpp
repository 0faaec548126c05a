// The cache stage of the real launcher, run under Wine with real launcher
// files: the copy it makes, when it leaves the copy alone, when it replaces
// it, and what it leaves behind when the embedded payload is damaged.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/cache_folder.h"
#include "support/cache_launcher.h"
#include "support/file_bytes.h"
#include "support/launcher_run.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor {
namespace {

using test::Bytes;

constexpr DWORD kToolExitCode = 4660;
constexpr wchar_t kToolExitCodeText[] = L"4660";

class CacheEndToEnd : public testing::Test {
 protected:
  void ExpectToolRan(const test::LauncherRun& outcome) {
    EXPECT_TRUE(outcome.exited) << "the launcher did not end";
    EXPECT_TRUE(outcome.boxes.empty())
        << "unexpected box: " << testing::PrintToString(outcome.boxes[0].text);
    EXPECT_EQ(outcome.exitCode, kToolExitCode);
  }

  // Exactly these copies are in the digest folder, each the payload.
  void ExpectCopies(const std::vector<std::wstring>& names) {
    EXPECT_EQ(test::FolderEntries(launcher_.CacheFolder()), names);
    for (const std::wstring& name : names) {
      EXPECT_TRUE(test::ReadFileBytes(launcher_.CachedCopy(name)) == launcher_.Payload())
          << "the copy " << testing::PrintToString(name) << " is not the payload";
    }
  }

  test::TempDir dir_;
  test::ScopedEnvironment exitCode_{L"ZOR_SAMPLE_EXIT_CODE", kToolExitCodeText};
  test::ScopedEnvironment noWait_{L"ZOR_SAMPLE_WAIT_FOR", L""};
  test::ScopedEnvironment noReport_{L"ZOR_SAMPLE_REPORT", L""};
  test::CacheTestLauncher launcher_{dir_.Path()};
};

TEST_F(CacheEndToEnd, FirstRunMakesTheFoldersAndRunsTheCopyNamedAfterTheLauncher) {
  const std::wstring root = test::LocalAppDataFolder();
  ASSERT_FALSE(test::IsFolder(launcher_.CacheFolder()));
  const std::wstring reportPath = dir_.File(L"report.bin");
  test::ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", reportPath);

  ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));

  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR"));
  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR\\FirmwareUpdate"));
  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR\\FirmwareUpdate\\Payloads"));
  EXPECT_TRUE(test::IsFolder(launcher_.CacheFolder()));
  ExpectCopies({test::kLauncherFileName});
  test::SampleToolReport toolReport;
  ASSERT_TRUE(test::ReadSampleToolReport(reportPath, &toolReport));
  EXPECT_EQ(_wcsicmp(toolReport.modulePath.c_str(), launcher_.CachedCopy().c_str()), 0)
      << "the tool ran from " << testing::PrintToString(toolReport.modulePath);
}

TEST_F(CacheEndToEnd, LaterRunsReuseTheCopyWithoutWritingIt) {
  ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
  test::FileIdentity first;
  ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &first));
  for (int run = 0; run < 2; ++run) {
    ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
    test::FileIdentity later;
    ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &later));
    EXPECT_TRUE(later == first) << "the copy was rewritten";
  }
  ExpectCopies({test::kLauncherFileName});
}

TEST_F(CacheEndToEnd, DamagedOrForeignCopiesAreReplaced) {
  const Bytes& payload = launcher_.Payload();
  auto changed = [&](size_t at) {
    Bytes bytes = payload;
    bytes[at] ^= 0x20;
    return bytes;
  };
  Bytes longer = payload;
  longer.push_back(0);
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"truncated by one byte", Bytes(payload.begin(), payload.end() - 1)},
      {"one byte changed", changed(payload.size() / 2)},
      {"last byte changed", changed(payload.size() - 1)},
      {"one byte longer", longer},
      {"empty", Bytes()},
      {"another program", test::SampleToolImage()},
  };
  ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFileBytes(launcher_.CachedCopy(), c.bytes);
    test::FileIdentity damaged;
    ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &damaged));
    ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
    test::FileIdentity replaced;
    ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &replaced));
    EXPECT_TRUE(replaced != damaged);
    ExpectCopies({test::kLauncherFileName});
  }
}

TEST_F(CacheEndToEnd, ARenamedLauncherGetsASecondCopyInTheSameFolder) {
  ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
  test::FileIdentity original;
  ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &original));

  ExpectToolRan(test::RunLauncherToEnd(launcher_.CopyAs(L"Other Tool.v2.exe")));

  ExpectCopies({L"Other Tool.v2.exe", test::kLauncherFileName});
  test::FileIdentity afterwards;
  ASSERT_TRUE(test::IdentityOf(launcher_.CachedCopy(), &afterwards));
  EXPECT_TRUE(afterwards == original) << "the first copy was rewritten";
}

// The trailer still names the original digest, but the bytes before it no
// longer hash to it: the launcher reports it and leaves no file behind,
// neither a temporary one nor one under the final name. A copy that was
// there (and is not this payload) is gone too: it was deleted as stale.
TEST_F(CacheEndToEnd, ADamagedPayloadEndsWithTheBoxAndLeavesNoFile) {
  Bytes damaged = launcher_.Built().bytes;
  damaged[launcher_.Built().payloadOffset + launcher_.Built().payloadSize / 3] ^= 0x01;
  test::WriteFileBytes(launcher_.Path(), damaged);
  for (bool foreignCopyThere : {false, true}) {
    SCOPED_TRACE(foreignCopyThere ? "with a foreign copy in the cache" : "with no copy");
    if (foreignCopyThere) {
      CreateDirectoryW(launcher_.CacheFolder().c_str(), nullptr);
      test::WriteFileBytes(launcher_.CachedCopy(), test::SampleToolImage());
    }
    test::LauncherRun outcome = test::RunLauncherToEnd(launcher_.Path());
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.exitCode, 1u);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].caption, L"Updater");
    EXPECT_EQ(outcome.boxes[0].text,
              L"Unable to start the firmware update tool.\r\n\r\n"
              L"The embedded payload could not be extracted or verified.");
    EXPECT_TRUE(test::FolderEntries(launcher_.CacheFolder()).empty());
  }
}

// A launcher that died while owning the lock left it abandoned; the next one
// takes it over, and releases it properly once its cache work is done.
TEST_F(CacheEndToEnd, AnAbandonedLockIsTakenOver) {
  const std::wstring name = launcher_.LockName();
  UniqueHandle kept;
  // The thread ends while owning the lock; the handle kept here keeps the
  // lock alive in its abandoned state.
  std::thread owner([&] { kept.Reset(CreateMutexW(nullptr, TRUE, name.c_str())); });
  owner.join();
  ASSERT_TRUE(kept.IsValid());

  ExpectToolRan(test::RunLauncherToEnd(launcher_.Path()));
  ExpectCopies({test::kLauncherFileName});
  // Free now, not abandoned a second time by a launcher that kept it.
  EXPECT_EQ(WaitForSingleObject(kept.Get(), 0), WAIT_OBJECT_0);
  ReleaseMutex(kept.Get());
}

// The same with a file made by the packer instead of the tests' own builder.
TEST_F(CacheEndToEnd, APackedLauncherCachesItsToolUnderItsOwnName) {
  const Bytes payload = test::UniqueSamplePayload(test::FreshTag());
  const Sha256Digest digest = test::Sha256Of(payload);
  const std::wstring payloadPath = dir_.File(L"tool.exe");
  const std::wstring packedPath = dir_.File(L"Packed Updater.exe");
  // The test's own launcher: a packer that wrote to an input would damage
  // only this copy, not the build's.
  const std::wstring launcherPath = dir_.File(L"launcher.exe");
  test::WriteFileBytes(payloadPath, payload);
  test::WriteFileBytes(launcherPath, test::LauncherImage());
  test::ChildProcess packer;
  ASSERT_TRUE(packer.Start(
      test::kZorpackExe, test::Quoted(test::kZorpackExe) + L" pack " + test::Quoted(launcherPath) +
                             L" " + test::Quoted(payloadPath) + L" " + test::Quoted(packedPath)));
  DWORD packStatus = 1;
  ASSERT_TRUE(packer.Wait(test::kDefaultWaitMs, &packStatus));
  ASSERT_EQ(packStatus, 0u);

  ExpectToolRan(test::RunLauncherToEnd(packedPath));
  const std::wstring folder = test::CacheFolderOf(digest);
  EXPECT_EQ(test::FolderEntries(folder), std::vector<std::wstring>{L"Packed Updater.exe"});
  EXPECT_TRUE(test::ReadFileBytes(folder + L"\\Packed Updater.exe") == payload);
  test::RemoveCacheFolder(digest);
}

}  // namespace
}  // namespace zor
