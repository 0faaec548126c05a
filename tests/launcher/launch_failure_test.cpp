// The built launcher started for real on files that carry no usable payload:
// it must show its error box under its own title, wait for the user, and exit
// with status 1 once the box is dismissed, having touched no cache.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/message_box.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor {
namespace {

constexpr wchar_t kLauncherName[] = L"Some Tool.v2.exe";
constexpr wchar_t kExpectedCaption[] = L"Some Tool.v2";
constexpr wchar_t kExpectedText[] =
    L"Unable to start the firmware update tool.\r\n\r\n"
    L"The embedded payload is missing or invalid.";
constexpr DWORD kExitAfterDismissMs = 5000;
// How long the box must stay up, with the launcher waiting behind it.
constexpr DWORD kUserThinkingMs = 300;

std::wstring CacheFolderOf(const Sha256Digest& digest) {
  wchar_t localData[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localData) !=
      S_OK) {
    ADD_FAILURE() << "no local application-data folder";
    return L"";
  }
  std::string hex = test::HexOf(digest);
  return std::wstring(localData) + L"\\ZOR\\FirmwareUpdate\\Payloads\\" +
         std::wstring(hex.begin(), hex.end());
}

// Starts the launcher at `path`, checks its box while it waits, dismisses the
// box and checks the exit status. The child is killed on any early return.
void ExpectPayloadMissingBox(const std::wstring& path) {
  test::ChildProcess launcher;
  ASSERT_TRUE(launcher.Start(path)) << "cannot start the launcher, error " << GetLastError();

  HWND box = test::WaitForMessageBox(launcher.Id());
  ASSERT_NE(box, nullptr) << "no error box appeared";
  Sleep(kUserThinkingMs);
  EXPECT_EQ(WaitForSingleObject(launcher.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the launcher must wait for the user while its box shows";
  EXPECT_TRUE(test::HasMessageBox(launcher.Id()));

  test::MessageBoxContents contents = test::ReadMessageBox(box);
  test::PressFirstButton(box);
  DWORD exitCode = 0;
  ASSERT_TRUE(launcher.Wait(kExitAfterDismissMs, &exitCode))
      << "the launcher did not exit after its box was dismissed";

  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(contents.caption, kExpectedCaption);
  EXPECT_EQ(contents.text, kExpectedText);
  EXPECT_TRUE(contents.hasIcon);
  EXPECT_EQ(contents.buttonCount, 1);
  EXPECT_EQ(contents.buttonText, L"OK");
}

TEST(LaunchFailure, BareLauncherImageShowsPayloadMissingBoxAndExits1) {
  test::TempDir dir;
  std::wstring path = dir.File(kLauncherName);
  ASSERT_TRUE(CopyFileW(test::kLauncherExe, path.c_str(), TRUE));
  ExpectPayloadMissingBox(path);
}

TEST(LaunchFailure, DamagedTrailerMagicShowsPayloadMissingBoxAndExits1) {
  test::TempDir dir;
  std::wstring path = dir.File(kLauncherName);
  test::LauncherFileParts parts;
  parts.image = test::LauncherImage();
  parts.payload = test::UniqueSamplePayload(test::FreshTag());
  parts.corruptMagic = true;
  test::BuiltLauncherFile built = test::WriteLauncherFile(path, parts);

  ExpectPayloadMissingBox(path);
  EXPECT_FALSE(test::FileExists(CacheFolderOf(built.payloadDigest)))
      << "a refused payload must not reach the cache";
}

}  // namespace
}  // namespace zor
