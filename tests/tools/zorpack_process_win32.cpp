#include <windows.h>

#include <gtest/gtest.h>

#include "process/command_line.h"
#include "runtime/unique_handle.h"
#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

namespace {

constexpr DWORD kProgramWaitMs = 60000;
// The host's /dev/full as Wine shows it to Windows programs.
constexpr wchar_t kFullDevice[] = L"Z:\\dev\\full";

std::wstring Wide(const std::string& utf8) {
  int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

UniqueHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring Quoted(const std::string& argument) {
  std::wstring wide = Wide(argument);
  WideString quoted = QuoteArgument(WideString(wide.c_str(), wide.size()));
  return std::wstring(quoted.Data(), quoted.Length());
}

}  // namespace

ProgramRun RunZorpackProgram(const std::vector<std::string>& arguments, StandardOutput output) {
  ProgramRun run;
  PackDir capture;
  std::string outPath = capture.File("stdout.txt");
  std::string errPath = capture.File("stderr.txt");
  std::string working = capture.File("working");
  MakeFolder(working);
  {
    UniqueHandle in = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    UniqueHandle out;
    if (output == StandardOutput::kCaptured) {
      out = OpenInheritable(Wide(outPath), GENERIC_WRITE, CREATE_ALWAYS);
    } else if (output == StandardOutput::kFull) {
      out = OpenInheritable(kFullDevice, GENERIC_WRITE, OPEN_EXISTING);
    }
    UniqueHandle err = OpenInheritable(Wide(errPath), GENERIC_WRITE, CREATE_ALWAYS);
    if ((output != StandardOutput::kClosed && !out.IsValid()) || !err.IsValid()) {
      ADD_FAILURE() << "cannot create the capture files or open the full device";
      return run;
    }
    std::wstring program = Wide(ZorpackProgramPath());
    std::wstring line = Quoted(ZorpackProgramPath());
    for (const std::string& argument : arguments) line += L" " + Quoted(argument);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.Get();
    startup.hStdOutput = out.Get();
    startup.hStdError = err.Get();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        Wide(working).c_str(), &startup, &info)) {
      ADD_FAILURE() << "cannot start " << ZorpackProgramPath();
      return run;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), kProgramWaitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.Get(), 0xDEAD);
      WaitForSingleObject(process.Get(), kProgramWaitMs);
      ADD_FAILURE() << "zorpack.exe did not finish in time";
    } else {
      DWORD code = 0;
      run.finished = GetExitCodeProcess(process.Get(), &code) != FALSE;
      run.exitCode = static_cast<int>(code);
    }
  }
  if (output == StandardOutput::kCaptured) run.out = ReadText(outPath);
  run.err = ReadText(errPath);
  run.leftInWorkingFolder = Entries(working);
  return run;
}

}  // namespace zor::test
