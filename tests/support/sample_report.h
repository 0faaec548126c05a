// Reads the file the sample tool writes: UTF-16 fields, each ended by a
// zero unit. An argument vector is its name, its count, then its arguments;
// a single value is its name, then the value.
#pragma once

#include <string>
#include <vector>

namespace zor::test {

struct SampleToolReport {
  std::vector<std::wstring> platformArgs;
  std::vector<std::wstring> crtArgs;
  std::wstring commandLine;
  std::wstring modulePath;
  std::wstring workingDirectory;
};

// False when the file is missing or malformed.
bool ReadSampleToolReport(const std::wstring& path, SampleToolReport* report);

// Waits up to `timeoutMs` for the report to appear, then reads it.
bool WaitForSampleToolReport(const std::wstring& path, SampleToolReport* report,
                             unsigned timeoutMs = 60000);

}  // namespace zor::test
