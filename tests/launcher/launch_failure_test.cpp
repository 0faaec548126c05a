// The built launcher started for real on files that carry no usable payload:
// it must show its error box under its own title, wait for the user, and exit
// with status 1 once the box is dismissed, having touched no cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "launcher/launcher_main.h"
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

}  // namespace
}  // namespace zor
