#include "ui/display_title.h"

#include <gtest/gtest.h>

#include <string>

#include "common/file_name.h"

namespace zor {
namespace {

std::wstring TitleOfPath(const wchar_t* path) {
  WideString title = DeriveDisplayTitle(FileNameOf(WideString(path)));
  return std::wstring(title.Data(), title.Length());
}

TEST(DisplayTitle, DropsOnlyTheLastExtensionOfTheFileName) {
  struct Case {
    const wchar_t* path;
    const wchar_t* title;
  } cases[] = {
      {LR"(C:\Downloads\Updater.exe)", L"Updater"},
      {L"Setup", L"Setup"},
      {LR"(C:\x\Tool.1.2.3.exe)", L"Tool.1.2.3"},
      {LR"(C:\x\.exe)", L""},
      {LR"(C:\x\Updater_2.1.exe)", L"Updater_2.1"},
      {LR"(C:\x\Some Tool.v2.exe)", L"Some Tool.v2"},
      {LR"(C:\dotted.folder\Setup)", L"Setup"},
      {L"C:/mixed\\sep/Tool.exe", L"Tool"},
      {LR"(C:\ends\with\)", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(TitleOfPath(c.path), c.title) << c.path;
}

}  // namespace
}  // namespace zor
