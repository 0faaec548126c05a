#include "tools/zorpack_process.h"

#include <gtest/gtest.h>

#include "process/command_line.h"
#include "runtime/unique_handle.h"
#include "support/file_bytes.h"
#include "support/process_runner.h"
#include "support/temp_dir.h"
#include "test_paths.h"

namespace zor::test {

namespace {

constexpr DWORD kProgramWaitMs = 60000;

UniqueHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string TextOf(const std::wstring& path) {
  Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string Utf8Of(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

ProgramRun RunZorpackProgram(const std::vector<std::wstring>& arguments) {
  ProgramRun run;
  TempDir capture;
  std::wstring outPath = capture.File(L"stdout.txt");
  std::wstring errPath = capture.File(L"stderr.txt");
  {
    UniqueHandle in = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    UniqueHandle out = OpenInheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    UniqueHandle err = OpenInheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    if (!out.IsValid() || !err.IsValid()) {
      ADD_FAILURE() << "cannot create the capture files";
      return run;
    }
    std::wstring line = Quoted(kZorpackExe);
    for (const std::wstring& argument : arguments) {
      WideString quoted = QuoteArgument(WideString(argument.c_str(), argument.size()));
      line += L" ";
      line.append(quoted.Data(), quoted.Length());
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.Get();
    startup.hStdOutput = out.Get();
    startup.hStdError = err.Get();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(kZorpackExe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start zorpack.exe";
      return run;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), kProgramWaitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.Get(), 0xDEAD);
      WaitForSingleObject(process.Get(), kProgramWaitMs);
      ADD_FAILURE() << "zorpack.exe did not finish in time";
    } else {
      run.finished = GetExitCodeProcess(process.Get(), &run.exitCode) != FALSE;
    }
  }
  run.out = TextOf(outPath);
  run.err = TextOf(errPath);
  return run;
}

}  // namespace zor::test
