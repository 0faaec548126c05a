// Starting the programs under test and waiting for them, with time limits so
// that a hung launcher fails a test instead of the whole run.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/unique_handle.h"

namespace zor::test {

constexpr DWORD kDefaultWaitMs = 60000;

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills a child still running
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `exe` with `commandLine` (the whole line, argument 0 included;
  // empty means the quoted exe path alone) in `workingDirectory` (empty: this
  // process's).
  bool Start(const std::wstring& exe, const std::wstring& commandLine = L"",
             const std::wstring& workingDirectory = L"");
  // True when it exited within `timeoutMs`; then `exitCode` holds its code.
  bool Wait(DWORD timeoutMs, DWORD* exitCode);
  void Kill();

  HANDLE Handle() const { return process_.Get(); }
  DWORD Id() const { return id_; }

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Quotes a path for the start of a command line (paths hold no quotes).
std::wstring Quoted(const std::wstring& path);

// Sets or clears (empty value) an environment variable of this process for
// the lifetime of the object; children started meanwhile inherit it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::wstring& name, const std::wstring& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::wstring previous_;
  bool hadPrevious_;
};

}  // namespace zor::test
