// The quoting fuzz target's kept corpus and regression inputs, replayed
// against the real parsers: every vector goes through the launcher's own
// command-line builder, and CommandLineToArgvW, the C runtime's split of a
// started program's argv, and the independent splitter the fuzz target
// trusts must all give it back. So the splitter is checked on exactly the
// lines that the fuzzer judged by it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "argument_bytes.h"
#include "support/argument_vectors.h"
#include "support/file_bytes.h"
#include "support/process_runner.h"
#include "support/sample_report.h"
#include "support/temp_dir.h"
#include "test_paths.h"
#include "windows_split.h"

namespace zor {
namespace {

using test::ArgumentVector;
using test::Describe;

constexpr wchar_t kProgramName[] = L"prog";
constexpr wchar_t kLauncherName[] = L"C:\\launcher.exe";
constexpr const wchar_t* kInputFolders[] = {L"\\tests\\fuzz\\quoting\\corpus",
                                            L"\\tests\\fuzz\\quoting\\regressions"};
// Children started at once; each only writes its report and exits.
constexpr size_t kBatch = 16;

std::vector<std::wstring> InputFiles() {
  std::vector<std::wstring> files;
  for (const wchar_t* folder : kInputFolders) {
    std::wstring path = std::wstring(test::kSourceDir) + folder;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        files.push_back(path + L"\\" + found.cFileName);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return files;
}

struct Replay {
  std::wstring input;
  ArgumentVector expected;  // program name first
  std::wstring line;
  test::ChildProcess child;
  std::wstring report;
};

TEST(QuotingCorpus, EveryKeptVectorSurvivesTheRealParsers) {
  std::vector<std::wstring> files = InputFiles();
  ASSERT_FALSE(files.empty()) << "no corpus under " << Describe(test::kSourceDir);
  test::TempDir dir;
  for (size_t first = 0; first < files.size(); first += kBatch) {
    std::vector<std::unique_ptr<Replay>> batch;
    for (size_t i = first; i < files.size() && i < first + kBatch; ++i) {
      auto replay = std::make_unique<Replay>();
      replay->input = files[i];
      test::Bytes bytes = test::ReadFileBytes(files[i]);
      ArgumentVector arguments;
      for (const std::u16string& argument : fuzz::ArgumentsOf(bytes.data(), bytes.size())) {
        arguments.emplace_back(argument.begin(), argument.end());
      }
      replay->line =
          BuildToolCommandLineFrom(WideString(kProgramName),
                                   test::CommandLineQuotingAll(kLauncherName, arguments).c_str())
              .Data();
      replay->expected = arguments;
      replay->expected.insert(replay->expected.begin(), kProgramName);
      replay->report = dir.File(L"report." + std::to_wstring(i));
      test::ScopedEnvironment report(L"ZOR_SAMPLE_REPORT", replay->report);
      ASSERT_TRUE(replay->child.Start(test::kSampleToolExe, replay->line));
      batch.push_back(std::move(replay));
    }
    for (const auto& replay : batch) {
      std::string where =
          "input " + Describe(replay->input) + "\n  line <" + Describe(replay->line) + ">";
      EXPECT_EQ(test::SplitCommandLine(replay->line), replay->expected)
          << "CommandLineToArgvW, " << where;

      std::u16string line(replay->line.begin(), replay->line.end());
      size_t name = std::char_traits<wchar_t>::length(kProgramName);
      std::u16string rest = line.size() > name ? line.substr(name + 1) : std::u16string();
      ArgumentVector split;
      for (const std::u16string& argument : fuzz::SplitArguments(rest)) {
        split.emplace_back(argument.begin(), argument.end());
      }
      EXPECT_EQ(split, ArgumentVector(replay->expected.begin() + 1, replay->expected.end()))
          << "independent splitter, " << where;

      DWORD exitCode = 0;
      ASSERT_TRUE(replay->child.Wait(test::kDefaultWaitMs, &exitCode)) << where;
      test::SampleToolReport received;
      ASSERT_TRUE(test::ReadSampleToolReport(replay->report, &received)) << where;
      EXPECT_EQ(received.crtArgs, replay->expected) << "C runtime, " << where;
    }
  }
}

}  // namespace
}  // namespace zor
