#include "support/process_runner.h"

#include <utility>
#include <vector>

namespace zor::test {

ChildProcess::~ChildProcess() {
  Kill();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::move(other.process_)), id_(other.id_) {
  other.id_ = 0;
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& commandLine,
                         const std::wstring& workingDirectory) {
  std::wstring line = commandLine.empty() ? Quoted(exe) : commandLine;
  std::vector<wchar_t> mutableLine(line.begin(), line.end());
  mutableLine.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                      &info)) {
    return false;
  }
  UniqueHandle thread(info.hThread);
  process_.Reset(info.hProcess);
  id_ = info.dwProcessId;
  return true;
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_.IsValid()) return false;
  if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_.Get(), exitCode) != FALSE;
}

void ChildProcess::Kill() {
  if (!process_.IsValid()) return;
  if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.Get(), 0xDEAD);
    WaitForSingleObject(process_.Get(), 10000);
  }
  process_.Reset();
}

std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

ScopedEnvironment::ScopedEnvironment(const std::wstring& name, const std::wstring& value)
    : name_(name) {
  wchar_t buffer[32768];
  DWORD length = GetEnvironmentVariableW(name.c_str(), buffer, 32768);
  hadPrevious_ = length > 0 && length < 32768;
  if (hadPrevious_) previous_.assign(buffer, length);
  SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableW(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
}

}  // namespace zor::test
