// The name and hexadecimal helpers that the cache folder, the lock name and
// the display title are built from.
#include <gtest/gtest.h>

#include <string>

#include "common/file_name.h"
#include "common/hex_lower.h"

namespace zor {
namespace {

std::wstring Units(const WideString& text) {
  return std::wstring(text.Data(), text.Length());
}

TEST(FileNameOf, TakesWhatFollowsTheLastSeparatorOfEitherKind) {
  struct Case {
    const wchar_t* path;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"Updater.exe", L"Updater.exe"},
      {L"", L""},
      {L"C:\\Downloads\\Updater.exe", L"Updater.exe"},
      {L"C:/Downloads/Updater.exe", L"Updater.exe"},
      {L"C:\\Down.loads/sub\\Tool.v2.exe", L"Tool.v2.exe"},
      {L"C:/Downloads\\sub/Tool", L"Tool"},
      {L"\\\\server\\share\\Updater.exe", L"Updater.exe"},
      {L"C:\\Downloads\\", L""},
      {L"C:\\Downloads/", L""},
      {L"\\", L""},
      {L"/x", L"x"},
  };
  for (const Case& c : cases) {
    WideString name = FileNameOf(WideString(c.path));
    EXPECT_EQ(Units(name), c.expected) << "path: " << testing::PrintToString(std::wstring(c.path));
    EXPECT_EQ(name.Data()[name.Length()], L'\0');
  }
}

TEST(HexLower, WritesTwoLowercaseDigitsPerByteHighNibbleFirst) {
  const unsigned char mixed[] = {0x00, 0x0F, 0xF0, 0xAB, 0x5C, 0xFF};
  EXPECT_EQ(Units(HexLower(mixed, sizeof mixed)), L"000ff0ab5cff");
  EXPECT_EQ(Units(HexLower(mixed, 0)), L"");

  unsigned char digest[32];
  for (unsigned i = 0; i < sizeof digest; ++i) digest[i] = static_cast<unsigned char>(i * 17 + 1);
  WideString hex = HexLower(digest, sizeof digest);
  ASSERT_EQ(hex.Length(), 64u);
  EXPECT_EQ(Units(hex),
            L"0112233445566778899aabbccddeef00"
            L"112233445566778899aabbccddeeff10");
  EXPECT_EQ(hex.Data()[64], L'\0');
}

}  // namespace
}  // namespace zor
