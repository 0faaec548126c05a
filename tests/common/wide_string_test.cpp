// The launcher's own string: growth, bounds, ownership and the terminating
// zero that platform calls rely on.
#include "runtime/wide_string.h"

#include <gtest/gtest.h>

#include <string>

namespace zor {
namespace {

std::wstring Units(const WideString& text) {
  return std::wstring(text.Data(), text.Length());
}

// Data() must be zero-terminated right after the last unit.
void ExpectTerminated(const WideString& text) {
  EXPECT_EQ(text.Data()[text.Length()], L'\0');
  EXPECT_EQ(ZeroTerminatedLength(text.Data()), text.Length());
}

TEST(WideString, GrowsThroughManyAppendsKeepingEveryUnitAndTheTerminator) {
  WideString text;
  std::wstring expected;
  ExpectTerminated(text);
  for (int i = 0; i < 700; ++i) {
    wchar_t unit = static_cast<wchar_t>(L'A' + i % 26);
    if (i % 3 == 0) {
      text.Append(unit);
      expected += unit;
    } else {
      const wchar_t chunk[] = {unit, L'-', unit};
      text.Append(chunk, i % 3 == 1 ? 2 : 3);
      expected.append(chunk, i % 3 == 1 ? 2 : 3);
    }
    ASSERT_EQ(text.Length(), expected.size());
    ASSERT_EQ(text.Data()[text.Length()], L'\0') << "after append " << i;
  }
  EXPECT_EQ(Units(text), expected);

  text.AppendRepeated(L'x', 5);
  text.Append(L"");
  text.Append(nullptr, 0);
  EXPECT_EQ(Units(text), expected + L"xxxxx");
  ExpectTerminated(text);
}

TEST(WideString, AppendsItselfAndItsOwnTailWhileGrowing) {
  WideString text(L"abcdefgh");
  text.Append(text);
  EXPECT_EQ(Units(text), L"abcdefghabcdefgh");
  ExpectTerminated(text);

  WideString tail(L"0123456789");
  tail.Append(tail.Data() + 6, 4);
  EXPECT_EQ(Units(tail), L"01234567896789");
  ExpectTerminated(tail);

  WideString roomy;
  roomy.Reserve(64);
  roomy.Append(L"xyz");
  roomy.Append(roomy);
  EXPECT_EQ(Units(roomy), L"xyzxyz");
  ExpectTerminated(roomy);
}

TEST(WideString, SubstringClampsToTheString) {
  const WideString text(L"Updater.exe");
  struct Case {
    size_t start;
    size_t length;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {0, 7, L"Updater"},
      {8, 3, L"exe"},
      {8, 100, L"exe"},
      {0, 11, L"Updater.exe"},
      {0, ~size_t{0}, L"Updater.exe"},
      {11, 0, L""},
      {11, 5, L""},
      {12, 1, L""},
      {~size_t{0}, ~size_t{0}, L""},
      {3, 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << ", length " << c.length);
    WideString part = text.Substring(c.start, c.length);
    EXPECT_EQ(Units(part), c.expected);
    ExpectTerminated(part);
  }
}

TEST(WideString, EqualityComparesLengthAndEveryUnit) {
  const wchar_t withZero[] = {L'a', L'\0', L'b'};
  const wchar_t otherAfterZero[] = {L'a', L'\0', L'c'};
  WideString roomy;
  roomy.Reserve(100);
  roomy.Append(L"abc");

  EXPECT_TRUE(WideString(L"abc") == roomy);
  EXPECT_FALSE(WideString(L"abc") != roomy);
  EXPECT_TRUE(WideString() == WideString(L""));
  EXPECT_TRUE(WideString(withZero, 3) == WideString(withZero, 3));
  EXPECT_FALSE(WideString(withZero, 3) == WideString(otherAfterZero, 3));
  EXPECT_FALSE(WideString(withZero, 3) == WideString(L"a"));
  EXPECT_FALSE(WideString(L"abc") == WideString(L"ab"));
  EXPECT_FALSE(WideString(L"ab") == WideString(L"abc"));
  EXPECT_FALSE(WideString(L"abc") == WideString(L"abd"));
  EXPECT_TRUE(WideString(L"abc") != WideString(L"Abc"));
}

TEST(WideString, CopiesAreIndependentAndMovesLeaveAnEmptySource) {
  WideString original(L"C:\\Downloads\\Updater.exe");
  WideString copy(original);
  copy.Append(L".tmp");
  EXPECT_EQ(Units(original), L"C:\\Downloads\\Updater.exe");
  EXPECT_EQ(Units(copy), L"C:\\Downloads\\Updater.exe.tmp");

  WideString assigned(L"old contents");
  assigned = original;
  original.Append(L'!');
  EXPECT_EQ(Units(assigned), L"C:\\Downloads\\Updater.exe");

  const WideString& alias = assigned;
  assigned = alias;
  EXPECT_EQ(Units(assigned), L"C:\\Downloads\\Updater.exe");

  WideString moved(static_cast<WideString&&>(assigned));
  EXPECT_EQ(Units(moved), L"C:\\Downloads\\Updater.exe");
  EXPECT_TRUE(assigned.IsEmpty());
  ExpectTerminated(assigned);

  WideString target(L"replaced");
  target = static_cast<WideString&&>(moved);
  EXPECT_EQ(Units(target), L"C:\\Downloads\\Updater.exe");
  EXPECT_TRUE(moved.IsEmpty());
  EXPECT_STREQ(moved.Data(), L"");

  WideString& self = target;
  target = static_cast<WideString&&>(self);
  EXPECT_EQ(Units(target), L"C:\\Downloads\\Updater.exe");

  // A moved-from string is usable again.
  moved.Append(L"again");
  EXPECT_EQ(Units(moved), L"again");
  ExpectTerminated(moved);
}

TEST(WideString, DecimalOfHasNoLeadingZerosAndCoversTheFullRange) {
  struct Case {
    unsigned long value;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {0, L"0"}, {7, L"7"}, {10, L"10"}, {1000000, L"1000000"}, {4294967295ul, L"4294967295"}};
  for (const Case& c : cases) {
    WideString text = DecimalOf(c.value);
    EXPECT_EQ(Units(text), c.expected);
    ExpectTerminated(text);
  }
}

}  // namespace
}  // namespace zor
