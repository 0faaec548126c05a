#include "support/temp_dir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "test_paths.h"

namespace zor::test {

namespace {

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text != '\0'; ++text) {
    char c = *text;
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    wide += plain ? static_cast<wchar_t>(c) : L'_';
  }
  return wide;
}

}  // namespace

TempDir::TempDir() {
  static unsigned counter = 0;
  std::wstring name = L"test";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    name = Widen(info->test_suite_name()) + L"." + Widen(info->name());
  }
  path_ = std::wstring(kWorkDir) + L"\\" + name + L"." + std::to_wstring(GetCurrentProcessId()) +
          L"." + std::to_wstring(++counter);
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  std::filesystem::create_directories(path_, error);
  if (error) ADD_FAILURE() << "cannot create " << std::filesystem::path(path_).string();
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::wstring TempDir::File(const std::wstring& name) const {
  return path_ + L"\\" + name;
}

}  // namespace zor::test
