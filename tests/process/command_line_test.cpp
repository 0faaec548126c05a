// Quoting and composing the tool's command line, checked against the
// platform's own parser: whatever the launcher was given, the tool must get
// back exactly, behind the cached copy's path.
#include "process/command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/argument_vectors.h"

namespace zor {
namespace {

using test::ArgumentVector;
using test::Describe;
using test::SplitCommandLine;

constexpr wchar_t kBareToolPath[] = L"C:\\Cache\\0123abcd\\Updater.exe";
constexpr wchar_t kSpacedToolPath[] = L"C:\\Users\\Jo Smith\\AppData\\Local\\Updater.exe";
constexpr uint32_t kRoundTripCount = 4000;

std::wstring Quote(const std::wstring& argument) {
  return QuoteArgument(WideString(argument.c_str(), argument.size())).Data();
}

std::wstring Compose(const wchar_t* toolPath, const std::wstring& launcherLine) {
  return BuildToolCommandLineFrom(WideString(toolPath), launcherLine.c_str()).Data();
}

TEST(QuoteArgument, QuotesOnlyWhatTheParserWouldSplitOrStrip) {
  struct Case {
    const wchar_t* argument;
    const wchar_t* quoted;
  };
  const Case cases[] = {
      {L"abc", L"abc"},
      {L"a b", L"\"a b\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"C:\\my dir\\", L"\"C:\\my dir\\\\\""},
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"trailing\\", L"trailing\\"},
      {L"", L"\"\""},
      {L"a\rb", L"a\rb"},
      {L"a\tb", L"\"a\tb\""},
      {L"a\nb", L"\"a\nb\""},
      {L"a\vb", L"\"a\vb\""},
      {L"\"", L"\"\\\"\""},
      {L"\\\"", L"\"\\\\\\\"\""},
      {L" \\\\", L"\" \\\\\\\\\""},
      {L"\u00e9\U0001F600", L"\u00e9\U0001F600"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Quote(c.argument), c.quoted) << "argument <" << Describe(c.argument) << ">";
  }
}

TEST(BuildToolCommandLine, PutsTheToolPathFirstAndNeverReusesTheLauncherName) {
  struct Case {
    const wchar_t* toolPath;
    const wchar_t* launcherLine;
    const wchar_t* expected;
  };
  const Case cases[] = {
      // No arguments: the path alone, no trailing space.
      {kBareToolPath, L"launcher.exe", L"C:\\Cache\\0123abcd\\Updater.exe"},
      {kSpacedToolPath, L"\"C:\\Down loads\\Updater.exe\"",
       L"\"C:\\Users\\Jo Smith\\AppData\\Local\\Updater.exe\""},
      // An empty command line stands for the program alone.
      {kBareToolPath, L"", L"C:\\Cache\\0123abcd\\Updater.exe"},
      // Arguments are re-quoted one by one, each after one space.
      {kSpacedToolPath, L"C:\\launcher.exe  --port\tCOM3 \"a b\" \"\" x\\\"y",
       L"\"C:\\Users\\Jo Smith\\AppData\\Local\\Updater.exe\" --port COM3 \"a b\" \"\" \"x\\\"y\""},
      {kBareToolPath, L"\"C:\\launcher.exe\" \"C:\\my dir\\\\\"",
       L"C:\\Cache\\0123abcd\\Updater.exe \"C:\\my dir\\\\\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compose(c.toolPath, c.launcherLine), c.expected)
        << "launcher line <" << Describe(c.launcherLine) << ">";
  }
}

TEST(BuildToolCommandLine, OwnCommandLineGivesThisProcessesArgumentsBehindTheToolPath) {
  ArgumentVector own = SplitCommandLine(GetCommandLineW());
  ASSERT_FALSE(own.empty());
  ArgumentVector expected = own;
  expected[0] = kSpacedToolPath;
  std::wstring line = BuildToolCommandLine(WideString(kSpacedToolPath)).Data();
  EXPECT_EQ(SplitCommandLine(line), expected) << Describe(line);
}

// Both the launcher's own command line (written here with every argument
// quoted) and the tool's must split back into the very same vector.
TEST(BuildToolCommandLine, RandomArgumentVectorsSurviveTheRoundTrip) {
  for (uint32_t seed = 0; seed < kRoundTripCount; ++seed) {
    ArgumentVector arguments = test::RandomArgumentVector(seed);
    const wchar_t* toolPath = seed % 2 == 0 ? kBareToolPath : kSpacedToolPath;

    std::wstring launcherLine = test::CommandLineQuotingAll(L"C:\\launcher.exe", arguments);
    ArgumentVector launcherSplit = SplitCommandLine(launcherLine);
    ASSERT_EQ(ArgumentVector(launcherSplit.begin() + 1, launcherSplit.end()), arguments)
        << "the test's own quoting is wrong; seed " << seed;

    ArgumentVector expected = arguments;
    expected.insert(expected.begin(), toolPath);
    std::wstring toolLine = Compose(toolPath, launcherLine);
    ArgumentVector toolSplit = SplitCommandLine(toolLine);
    ASSERT_EQ(toolSplit, expected)
        << "seed " << seed << "\n  sent " << Describe(arguments) << "\n  got  "
        << Describe(toolSplit) << "\n  line <" << Describe(toolLine) << ">";

    std::wstring joined = Quote(toolPath);
    for (const std::wstring& argument : arguments) joined += L" " + Quote(argument);
    ASSERT_EQ(SplitCommandLine(joined), expected) << "seed " << seed;
  }
}

}  // namespace
}  // namespace zor
