// Running the sample tool in this process: arguments, folder, exit code, the
// identity window's end, and the message pump while the tool runs.
#include "process/tool_runner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "process/identity_window.h"
#include "support/argument_vectors.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor {
namespace {

using test::ScopedEnvironment;

constexpr DWORD kSignalWaitMs = 20000;

WideString Wide(const std::wstring& text) {
  return WideString(text.c_str(), text.size());
}

UniqueWindow NewIdentityWindow() {
  return UniqueWindow(CreateIdentityWindow(GetModuleHandleW(nullptr), WideString(L"Updater")));
}

TEST(RunTool, StartsTheToolWithItsPathAndOurArgumentsInTheFolderAndDestroysTheWindow) {
  test::TempDir dir;
  std::wstring toolFolder = dir.File(L"tool folder");
  std::wstring workFolder = dir.File(L"work folder");
  std::filesystem::create_directories(toolFolder);
  std::filesystem::create_directories(workFolder);
  std::wstring toolPath = toolFolder + L"\\sample tool.exe";
  test::WriteFileBytes(toolPath, test::SampleToolImage());
  ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", dir.File(L"report"));
  ScopedEnvironment code(L"ZOR_SAMPLE_EXIT_CODE", L"3");

  UniqueWindow window = NewIdentityWindow();
  HWND raw = window.Get();
  ASSERT_NE(raw, nullptr);
  ToolOutcome outcome = RunTool(Wide(toolPath), Wide(workFolder), &window);

  EXPECT_TRUE(outcome.finished);
  EXPECT_EQ(outcome.exitCode, 3u);
  EXPECT_EQ(window.Get(), nullptr);
  EXPECT_FALSE(IsWindow(raw)) << "the identity window must be gone once the tool has exited";

  test::SampleToolReport received;
  ASSERT_TRUE(test::ReadSampleToolReport(dir.File(L"report"), &received));
  test::ArgumentVector expected = test::SplitCommandLine(GetCommandLineW());
  ASSERT_FALSE(expected.empty());
  expected[0] = toolPath;
  EXPECT_EQ(received.platformArgs, expected) << test::Describe(received.commandLine);
  EXPECT_EQ(received.crtArgs, expected) << test::Describe(received.commandLine);
  EXPECT_EQ(received.modulePath, toolPath);
  EXPECT_EQ(received.workingDirectory, workFolder);
}

TEST(RunTool, ReturnsEveryExitCodeOfTheToolAsItsOwn) {
  struct Case {
    const wchar_t* setting;
    DWORD expected;
    bool withWindow;
  };
  const Case cases[] = {
      {L"0", 0, true},
      {L"255", 255, false},
      {L"0x80000000", 0x80000000u, true},
      // The value a failed start would have in a signed result: the tool
      // still ran and finished, so it is the tool's code.
      {L"0xFFFFFFFF", 0xFFFFFFFFu, true},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    ScopedEnvironment code(L"ZOR_SAMPLE_EXIT_CODE", c.setting);
    UniqueWindow window = c.withWindow ? NewIdentityWindow() : UniqueWindow();
    ToolOutcome outcome = RunTool(WideString(test::kSampleToolExe), Wide(dir.Path()), &window);
    EXPECT_TRUE(outcome.finished) << test::Describe(c.setting);
    EXPECT_EQ(outcome.exitCode, c.expected) << test::Describe(c.setting);
    EXPECT_EQ(window.Get(), nullptr);
  }
}

TEST(RunTool, LeavesTheWindowToTheCallerWhenTheToolCannotBeStarted) {
  test::TempDir dir;
  std::wstring notAProgram = dir.File(L"text.exe");
  test::WriteFileBytes(notAProgram, test::Bytes(4096, 'x'));
  struct Case {
    std::wstring toolPath;
    std::wstring workingDirectory;
  };
  const Case cases[] = {
      {dir.File(L"missing.exe"), dir.Path()},
      {test::kSampleToolExe, dir.File(L"missing folder")},
      {notAProgram, dir.Path()},
  };
  for (const Case& c : cases) {
    UniqueWindow window = NewIdentityWindow();
    HWND raw = window.Get();
    ToolOutcome outcome = RunTool(Wide(c.toolPath), Wide(c.workingDirectory), &window);
    EXPECT_FALSE(outcome.finished) << test::Describe(c.toolPath);
    EXPECT_EQ(window.Get(), raw);
    EXPECT_TRUE(IsWindow(raw));
  }
}

// What the identity window received through its procedure while the tool ran.
std::atomic<int> probesSeen{0};
std::atomic<int> sentProbesSeen{0};
std::atomic<int> timerTicks{0};
WNDPROC defaultProcedure = nullptr;
constexpr UINT kProbe = WM_APP + 17;
constexpr UINT kSentProbe = WM_APP + 18;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe) ++probesSeen;
  if (message == kSentProbe) {
    ++sentProbesSeen;
    return 42;
  }
  return CallWindowProcW(defaultProcedure, window, message, wParam, lParam);
}

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
  ++timerTicks;
}

TEST(RunTool, DispatchesMessagesWhileTheToolRunsAndKeepsWaitingAfterAQuitMessage) {
  test::TempDir dir;
  std::wstring started = dir.File(L"started");
  std::wstring release = dir.File(L"release");
  ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", started);
  ScopedEnvironment waitFor(L"ZOR_SAMPLE_WAIT_FOR", release);
  ScopedEnvironment code(L"ZOR_SAMPLE_EXIT_CODE", L"9");

  UniqueWindow window = NewIdentityWindow();
  ASSERT_NE(window.Get(), nullptr);
  HWND raw = window.Get();
  defaultProcedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(raw, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProcedure)));
  probesSeen = 0;
  sentProbesSeen = 0;
  timerTicks = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
  DWORD runnerThread = GetCurrentThreadId();

  std::atomic<bool> returned{false};
  bool toolStarted = false;
  bool quitPosted = false;
  bool probeDispatched = false;
  LRESULT sentResult = 0;
  bool waitingAfterQuit = false;
  std::thread driver([&] {
    test::SampleToolReport unused;
    toolStarted = test::WaitForSampleToolReport(started, &unused, kSignalWaitMs);
    // The quit message comes first, so the probe behind it shows it was
    // taken off the queue without ending the wait.
    quitPosted = PostThreadMessageW(runnerThread, WM_QUIT, 0, 0) != FALSE;
    PostMessageW(raw, kProbe, 0, 0);
    for (DWORD waited = 0; probesSeen == 0 && waited < kSignalWaitMs; waited += 10) Sleep(10);
    probeDispatched = probesSeen > 0;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(raw, kSentProbe, 0, 0, SMTO_NORMAL, kSignalWaitMs, &answer)) {
      sentResult = static_cast<LRESULT>(answer);
    }
    Sleep(200);
    waitingAfterQuit = !returned;
    test::WriteFileBytes(release, {});
  });

  ToolOutcome outcome = RunTool(WideString(test::kSampleToolExe), Wide(dir.Path()), &window);
  returned = true;
  driver.join();
  KillTimer(nullptr, timer);

  EXPECT_TRUE(toolStarted);
  EXPECT_TRUE(quitPosted);
  EXPECT_TRUE(probeDispatched) << "a posted message was not dispatched while the tool ran";
  EXPECT_EQ(sentResult, 42) << "a sent message was not answered while the tool ran";
  EXPECT_GT(timerTicks.load(), 0) << "timer messages were not dispatched while the tool ran";
  EXPECT_TRUE(waitingAfterQuit) << "the wait ended before the tool did";
  EXPECT_TRUE(outcome.finished);
  EXPECT_EQ(outcome.exitCode, 9u);
  EXPECT_FALSE(IsWindow(raw));
}

}  // namespace
}  // namespace zor
