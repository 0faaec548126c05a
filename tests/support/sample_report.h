// Reads the file the sample tool writes: UTF-16 fields, each ended by a
// zero unit. An argument vector is its name, its count, then its arguments;
// a single value is its name, then the value.
#pragma once

#include <string>
#include <utility>
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

// Writes the file that a sample tool told to wait for it (ZOR_SAMPLE_WAIT_FOR)
// waits for, however the test ends: a tool left waiting would outlive the
// test and hold its output open.
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(std::wstring path) : path_(std::move(path)) {}
  ~ReleaseOnExit();
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

 private:
  std::wstring path_;
};

}  // namespace zor::test
