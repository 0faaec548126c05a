// Real launcher files run under the platform: the tool starts from its
// cached copy in the cache folder, its exit code becomes the launcher's, the
// identity window lives exactly as long as the tool, and a tool that cannot
// be started ends in the error box.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "process/identity_window.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/cache_launcher.h"
#include "support/launcher_run.h"
#include "support/message_box.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::ScopedEnvironment;

constexpr wchar_t kLauncherName[] = L"Firmware Update.exe";
constexpr wchar_t kDisplayTitle[] = L"Firmware Update";
constexpr wchar_t kToolNotStartedText[] =
    L"Unable to start the firmware update tool.\r\n\r\n"
    L"Windows could not create the firmware update process.";
constexpr LONG kSystemAddedStyles = WS_CLIPSIBLINGS | WS_VISIBLE;

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

TEST(LauncherRun, StartsTheCachedCopyInTheCacheFolderWhereverTheLauncherIsStartedFrom) {
  test::TempDir dir;
  test::CacheTestLauncher launcher(dir.Path(), test::UniqueSamplePayload(test::FreshTag()),
                                   kLauncherName);
  ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", launcher.File(L"report"));
  test::TempDir elsewhere;

  test::ChildProcess child;
  ASSERT_TRUE(child.Start(launcher.Path(), test::Quoted(launcher.Path()) + L" --device COM3",
                          elsewhere.Path()));
  test::LauncherRun run = test::FinishLauncher(&child);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.boxes.empty());

  test::SampleToolReport received;
  ASSERT_TRUE(test::ReadSampleToolReport(launcher.File(L"report"), &received));
  EXPECT_EQ(received.workingDirectory, launcher.CacheFolder());
  EXPECT_EQ(received.modulePath, launcher.CachedCopy());
  std::vector<std::wstring> expected = {launcher.CachedCopy(), L"--device", L"COM3"};
  EXPECT_EQ(received.platformArgs, expected) << Narrow(received.commandLine);
  EXPECT_EQ(received.crtArgs, expected) << Narrow(received.commandLine);
}

TEST(LauncherRun, ExitsWithTheToolsExitCodeWithoutABox) {
  test::TempDir dir;
  test::CacheTestLauncher launcher(dir.Path(), test::UniqueSamplePayload(test::FreshTag()),
                                   kLauncherName);
  struct Case {
    const wchar_t* setting;
    DWORD expected;
  };
  const Case cases[] = {
      {L"0", 0},
      {L"3", 3},
      {L"5", 5},
      {L"255", 255},
      // What a failed start would be as a signed result, yet the tool ran
      // and finished: its code passes through like any other.
      {L"0xFFFFFFFF", 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    ScopedEnvironment code(L"ZOR_SAMPLE_EXIT_CODE", c.setting);
    test::LauncherRun run = test::RunLauncherToEnd(launcher.Path());
    ASSERT_TRUE(run.exited) << Narrow(c.setting);
    EXPECT_EQ(run.exitCode, c.expected) << Narrow(c.setting);
    EXPECT_TRUE(run.boxes.empty())
        << Narrow(c.setting) << ": " << (run.boxes.empty() ? "" : Narrow(run.boxes[0].text));
  }
}

TEST(LauncherRun, WhileTheToolRunsKeepsAnAnsweringOffScreenWindowItsOwnFileAndTheLock) {
  test::TempDir dir;
  test::CacheTestLauncher launcher(dir.Path(), test::UniqueSamplePayload(test::FreshTag()),
                                   kLauncherName);
  ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", launcher.File(L"report"));
  ScopedEnvironment waitFor(L"ZOR_SAMPLE_WAIT_FOR", launcher.File(L"release"));
  ScopedEnvironment code(L"ZOR_SAMPLE_EXIT_CODE", L"4");
  test::ReleaseOnExit release(launcher.File(L"release"));

  test::ChildProcess child;
  ASSERT_TRUE(child.Start(launcher.Path()));
  test::SampleToolReport received;
  ASSERT_TRUE(test::WaitForSampleToolReport(launcher.File(L"report"), &received));

  std::vector<HWND> windows = test::WindowsOfProcess(child.Id(), kIdentityWindowClass);
  ASSERT_EQ(windows.size(), 1u);
  HWND window = windows[0];
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  EXPECT_EQ(std::wstring(title), kDisplayTitle);
  RECT rect = {};
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_EQ(rect.left, -32000);
  EXPECT_EQ(rect.top, -32000);
  EXPECT_EQ(rect.right - rect.left, 1);
  EXPECT_EQ(rect.bottom - rect.top, 1);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)),
            static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE) & ~kSystemAddedStyles),
            static_cast<DWORD>(WS_POPUP));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetParent(window), nullptr);
  // The launcher's thread is waiting for the tool, yet it answers.
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
  EXPECT_FALSE(test::HasMessageBox(child.Id()));
  test::ExpectLauncherFileHeld(launcher.Path());
  test::ExpectLockReleasedButOpen(launcher.LockName());

  test::WriteFileBytes(launcher.File(L"release"), {});
  test::LauncherRun run = test::FinishLauncher(&child);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exitCode, 4u);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_FALSE(IsWindow(window));
}

// Payloads that are files like any other but no program the platform can
// start: each is cached and verified, and then its start fails.
test::Bytes Tagged(test::Bytes payload) {
  test::Bytes tag = test::PatternBytes(64, test::FreshTag());
  payload.insert(payload.end(), tag.begin(), tag.end());
  return payload;
}

test::Bytes TextPayload() {
  std::string text = "This is not a program.\r\n";
  return Tagged(test::Bytes(text.begin(), text.end()));
}

// Headers that name a program, with nothing behind them that could run.
test::Bytes HeadersOnlyPayload() {
  return Tagged(test::MinimalPeImage());
}

TEST(LauncherRun, ShowsTheProcessBoxAndExitsWithOneWhenTheToolCannotStart) {
  const test::Bytes payloads[] = {TextPayload(), HeadersOnlyPayload()};
  for (const test::Bytes& payload : payloads) {
    test::TempDir dir;
    test::CacheTestLauncher launcher(dir.Path(), payload, kLauncherName);
    test::ChildProcess child;
    ASSERT_TRUE(child.Start(launcher.Path(), test::Quoted(launcher.Path()) + L" --device COM3"));
    HWND box = test::WaitForMessageBox(child.Id());
    ASSERT_NE(box, nullptr) << "no box appeared";
    Sleep(100);
    test::MessageBoxContents contents = test::ReadMessageBox(box);
    EXPECT_TRUE(test::WindowsOfProcess(child.Id(), kIdentityWindowClass).empty())
        << "the identity window must be gone before the box shows";
    test::PressFirstButton(box);

    test::LauncherRun run = test::FinishLauncher(&child);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(run.boxes.empty()) << "a second box showed";
    EXPECT_EQ(contents.caption, kDisplayTitle);
    EXPECT_EQ(contents.text, kToolNotStartedText);
    // The cache did its part: the failure is the start's.
    EXPECT_TRUE(test::FileExists(launcher.CachedCopy()));
  }
}

}  // namespace
}  // namespace zor
