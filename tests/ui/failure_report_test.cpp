// The error box, shown for real and driven from the test: the box runs on a
// second thread of this process while the test finds, reads and dismisses it.
#include "ui/failure_report.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "support/message_box.h"

namespace zor {
namespace {

TEST(FailureReport, EachStageHasItsOwnDetailTextAfterTheLeadAndAnEmptyLine) {
  const std::pair<LaunchFailure, std::wstring> texts[] = {
      {LaunchFailure::kPayloadInvalid, L"The embedded payload is missing or invalid."},
      {LaunchFailure::kCacheNotCreated, L"The local payload cache could not be created."},
      {LaunchFailure::kCacheLockNotAcquired, L"The payload cache lock could not be acquired."},
      {LaunchFailure::kPayloadNotExtracted,
       L"The embedded payload could not be extracted or verified."},
      {LaunchFailure::kToolNotStarted, L"Windows could not create the firmware update process."},
  };
  for (const auto& [failure, text] : texts) EXPECT_EQ(DetailTextOf(failure), text);
  WideString text = ComposeFailureText(WideString(L"Detail."));
  EXPECT_EQ(std::wstring(text.Data()), L"Unable to start the firmware update tool.\r\n\r\nDetail.");
}

TEST(FailureReport, ShowsOneErrorBoxWithCaptionLeadAndDetailUntilDismissed) {
  bool returned = false;
  std::thread shower([&] {
    ReportLaunchFailure(WideString(L"Some Tool.v2"),
                        WideString(DetailTextOf(LaunchFailure::kPayloadInvalid)));
    returned = true;
  });

  HWND box = test::WaitForMessageBox(GetCurrentProcessId());
  ASSERT_NE(box, nullptr) << "no message box appeared";
  Sleep(100);
  EXPECT_FALSE(returned) << "the report must wait for the user";
  test::MessageBoxContents contents = test::ReadMessageBox(box);
  test::PressFirstButton(box);
  shower.join();

  EXPECT_TRUE(returned);
  EXPECT_EQ(contents.caption, L"Some Tool.v2");
  EXPECT_EQ(contents.text,
            L"Unable to start the firmware update tool.\r\n\r\n"
            L"The embedded payload is missing or invalid.");
  EXPECT_EQ(contents.buttonCount, 1);
  EXPECT_EQ(contents.buttonText, L"OK");
  EXPECT_TRUE(contents.hasIcon);
  EXPECT_FALSE(test::HasMessageBox(GetCurrentProcessId()));
}

}  // namespace
}  // namespace zor
