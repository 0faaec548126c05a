#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/test_process.h"

namespace zor::test {

namespace {

namespace fs = std::filesystem;

// Letters and digits of a test's name; anything else becomes "_".
std::string Plain(const char* text) {
  std::string plain;
  for (; *text != '\0'; ++text) {
    char c = *text;
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    plain += keep ? c : '_';
  }
  return plain;
}

}  // namespace

fs::path CreateTestFolder() {
  static unsigned counter = 0;
  std::string name = "test";
  if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    name = Plain(info->test_suite_name()) + "." + Plain(info->name());
  }
  // The process id keeps test programs that run side by side apart.
  fs::path folder = fs::u8path(ZOR_TEST_WORK_DIR) / (name + "." + std::to_string(TestProcessId()) +
                                                     "." + std::to_string(++counter));
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  if (error) ADD_FAILURE() << "cannot create " << folder.u8string() << ": " << error.message();
  return folder;
}

#ifndef _WIN32
std::wstring WideFromUtf8(const std::string& text) {
  std::wstring wide;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    wchar_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    wide += code;
    i += length;
  }
  return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
  std::string utf8;
  for (wchar_t c : text) {
    const auto code = static_cast<uint32_t>(c);
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
      continue;
    }
    const size_t length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    utf8 += static_cast<char>((0xF00 >> length) | (code >> (6 * (length - 1))));
    for (size_t k = length - 1; k > 0; --k) {
      utf8 += static_cast<char>(0x80 | ((code >> (6 * (k - 1))) & 0x3F));
    }
  }
  return utf8;
}
#endif

void RemoveTestFolder(const fs::path& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace zor::test
