// The built launcher started for real on files that carry no usable payload:
// it must show its error box under its own title, wait for the user, and exit
// with status 1 once the box is dismissed, having touched no cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "launcher/launcher_main.h"
#include "launcher/stages.h"
#include "support/cache_launcher.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/launcher_run.h"
#include "support/message_box.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor {
namespace {

constexpr wchar_t kLauncherName[] = L"Some Tool.v2.exe";
constexpr wchar_t kExpectedCaption[] = L"Some Tool.v2";
constexpr wchar_t kFailureLead[] = L"Unable to start the firmware update tool.\r\n\r\n";
constexpr wchar_t kPayloadInvalid[] = L"The embedded payload is missing or invalid.";
constexpr wchar_t kLockNotAcquired[] = L"The payload cache lock could not be acquired.";
constexpr wchar_t kNotExtracted[] = L"The embedded payload could not be extracted or verified.";
constexpr DWORD kExitAfterDismissMs = 5000;
// How long the box must stay up, with the launcher waiting behind it.
constexpr DWORD kUserThinkingMs = 300;

// Starts the launcher at `path`, checks its box and what the launcher holds
// while it waits (`whileShowing`), dismisses the box and checks the exit
// status. The child is killed on any early return.
void ExpectBox(
    const std::wstring& path, const std::wstring& caption, const std::wstring& detail,
    const std::function<void()>& whileShowing = [] {}) {
  test::ChildProcess launcher;
  ASSERT_TRUE(launcher.Start(path)) << "cannot start the launcher, error " << GetLastError();

  HWND box = test::WaitForMessageBox(launcher.Id());
  ASSERT_NE(box, nullptr) << "no error box appeared";
  Sleep(kUserThinkingMs);
  EXPECT_EQ(WaitForSingleObject(launcher.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the launcher must wait for the user while its box shows";
  EXPECT_TRUE(test::HasMessageBox(launcher.Id()));
  test::ExpectLauncherFileHeld(path);
  whileShowing();

  test::MessageBoxContents contents = test::ReadMessageBox(box);
  test::PressFirstButton(box);
  DWORD exitCode = 0;
  ASSERT_TRUE(launcher.Wait(kExitAfterDismissMs, &exitCode))
      << "the launcher did not exit after its box was dismissed";

  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(contents.caption, caption);
  EXPECT_EQ(contents.text, kFailureLead + detail);
  EXPECT_TRUE(contents.hasIcon);
  EXPECT_EQ(contents.buttonCount, 1);
  EXPECT_EQ(contents.buttonText, L"OK");
}

TEST(LaunchFailure, OnlyAWholeModulePathGoesOn) {
  EXPECT_FALSE(IsWholeModulePath(0)) << "the query failed";
  EXPECT_TRUE(IsWholeModulePath(1));
  EXPECT_TRUE(IsWholeModulePath(32767)) << "the longest path that fits with its terminator";
  EXPECT_FALSE(IsWholeModulePath(32768)) << "a path that fills the buffer may be cut short";
  EXPECT_FALSE(IsWholeModulePath(0xFFFFFFFF));
}

TEST(LaunchFailure, BareLauncherImageShowsPayloadMissingBoxAndExits1) {
  test::TempDir dir;
  std::wstring path = dir.File(kLauncherName);
  ASSERT_TRUE(CopyFileW(test::kLauncherExe, path.c_str(), TRUE));
  ExpectBox(path, kExpectedCaption, kPayloadInvalid);
}

TEST(LaunchFailure, DamagedTrailerMagicShowsPayloadMissingBoxAndExits1) {
  test::TempDir dir;
  std::wstring path = dir.File(kLauncherName);
  test::LauncherFileParts parts;
  parts.image = test::LauncherImage();
  parts.payload = test::UniqueSamplePayload(test::FreshTag());
  parts.corruptMagic = true;
  test::BuiltLauncherFile built = test::WriteLauncherFile(path, parts);

  ExpectBox(path, kExpectedCaption, kPayloadInvalid);
  EXPECT_FALSE(test::FileExists(test::CacheFolderOf(built.payloadDigest)))
      << "a refused payload must not reach the cache";
}

// The cache stage's own failures, each from the step that raises it: the
// lock's name taken by another kind of object, and a payload whose bytes no
// longer match the trailer's digest, reported only once the lock is free.
TEST(LaunchFailure, EachCacheStepShowsItsOwnBox) {
  test::TempDir dir;
  {
    SCOPED_TRACE("the lock's name is an event's");
    test::CacheTestLauncher launcher(dir.Path());
    UniqueHandle squatter(CreateEventW(nullptr, TRUE, FALSE, launcher.LockName().c_str()));
    ASSERT_TRUE(squatter.IsValid());
    ExpectBox(launcher.Path(), L"Updater", kLockNotAcquired);
  }
  {
    SCOPED_TRACE("the payload does not match its digest");
    test::CacheTestLauncher launcher(dir.Path());
    test::Bytes damaged = launcher.Built().bytes;
    damaged[launcher.Built().payloadOffset + launcher.Built().payloadSize / 2] ^= 0x04;
    test::WriteFileBytes(launcher.Path(), damaged);
    ExpectBox(launcher.Path(), L"Updater", kNotExtracted,
              [&] { test::ExpectLockReleasedButOpen(launcher.LockName()); });
  }
}

// For this process only, HKEY_CURRENT_USER is a scratch key whose shell
// folders name `folder` as the local application-data folder: the cache
// root of a stage run here, without touching the cache other tests share.
class ScopedLocalAppData {
 public:
  explicit ScopedLocalAppData(const std::wstring& folder) {
    std::wstring shellFolders =
        name_ + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    overridden_ =
        RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders.c_str(), L"Local AppData", REG_SZ,
                        folder.c_str(), (folder.size() + 1) * sizeof(wchar_t)) == ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS &&
        RegOverridePredefKey(HKEY_CURRENT_USER, key_) == ERROR_SUCCESS;
  }
  ~ScopedLocalAppData() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
  }
  bool Overridden() const { return overridden_; }

 private:
  const std::wstring name_ = L"Software\\ZorTests\\" + std::to_wstring(GetCurrentProcessId());
  HKEY key_ = nullptr;
  bool overridden_ = false;
};

// For this process only, the user's temporary folder (what GetTempPathW
// gives) is `folder`.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::wstring& folder) {
    wchar_t previous[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(kVariable, previous, MAX_PATH);
    if (length > 0 && length < MAX_PATH) previous_ = previous;
    SetEnvironmentVariableW(kVariable, folder.c_str());
  }
  ~ScopedTempFolder() {
    SetEnvironmentVariableW(kVariable, previous_.empty() ? nullptr : previous_.c_str());
  }

 private:
  // The first variable GetTempPathW looks at.
  static constexpr wchar_t kVariable[] = L"TMP";
  std::wstring previous_;
};

// The cache's root is the local application-data folder or, when that
// cannot be had, the temporary folder. A file where a cache folder level
// goes below the root: the cache stage itself ends with F2, before it
// takes the lock, and names no folder.
TEST(LaunchFailure, CacheFoldersGoBelowTheirRootOrEndTheCacheStageWithF2) {
  struct Case {
    const wchar_t* blocked;  // null: nothing in the way
    bool appDataUnavailable;
  };
  const Case cases[] = {
      {L"ZOR", false}, {L"ZOR\\FirmwareUpdate", false}, {L"ZOR\\FirmwareUpdate\\Payloads", false},
      {nullptr, true}, {L"ZOR\\FirmwareUpdate", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.blocked != nullptr ? c.blocked : L"")) +
                 (c.appDataUnavailable ? " below the temporary folder" : ""));
    test::TempDir appData;
    test::TempDir temp;
    test::CacheTestLauncher launcher(appData.Path());
    const test::TempDir& root = c.appDataUnavailable ? temp : appData;
    if (c.blocked != nullptr) {
      std::filesystem::create_directories(
          std::filesystem::path(root.File(c.blocked)).parent_path());
      test::WriteFileBytes(root.File(c.blocked), test::PatternBytes(10, 5));
    }
    // A folder below a file can never be made.
    test::WriteFileBytes(appData.File(L"file"), test::PatternBytes(10, 6));
    ScopedLocalAppData appDataOverride(c.appDataUnavailable ? appData.File(L"file\\folder")
                                                            : appData.Path());
    ASSERT_TRUE(appDataOverride.Overridden());
    ScopedTempFolder tempOverride(temp.Path());
    LaunchContext context;
    context.launcherPath = WideString(launcher.Path().c_str());
    LaunchFailure failure = LaunchFailure::kToolNotStarted;
    ASSERT_TRUE(LocatePayloadStage(&context, &failure));
    bool done = CacheStage(&context, &failure);
    if (c.blocked == nullptr) {
      ASSERT_TRUE(done) << static_cast<int>(failure);
      const std::wstring folders = temp.File(L"ZOR\\FirmwareUpdate\\Payloads\\");
      EXPECT_EQ(std::wstring(context.cacheDirectory.Data()).rfind(folders, 0), 0u)
          << std::filesystem::path(context.cacheDirectory.Data()).string();
      EXPECT_TRUE(test::FileExists(context.cachedToolPath.Data()));
      continue;
    }
    EXPECT_FALSE(done);
    EXPECT_EQ(failure, LaunchFailure::kCacheNotCreated);
    EXPECT_FALSE(context.cacheLock.IsValid());
    EXPECT_TRUE(context.cacheDirectory.IsEmpty() && context.cachedToolPath.IsEmpty());
  }
}

}  // namespace
}  // namespace zor
