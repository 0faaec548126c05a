// Runs the built zorpack.exe as a child process with its output captured,
// so that the tests see its real exit status and texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zor::test {

struct ProgramRun {
  bool finished = false;  // within the time limit; otherwise it was killed
  DWORD exitCode = 0;
  std::string out;  // UTF-8, as written
  std::string err;
};

ProgramRun RunZorpackProgram(const std::vector<std::wstring>& arguments);

// UTF-8 for comparing paths with the program's output.
std::string Utf8Of(const std::wstring& text);

}  // namespace zor::test
