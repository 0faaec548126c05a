// A stand-in for the firmware update tool, for the tests and the demo. A GUI
// program (no console window) steered by environment variables, which reach
// it through the launcher:
//   ZOR_SAMPLE_REPORT     write what it received to this file: its arguments
//                         as CommandLineToArgvW and as the C runtime split
//                         them, the raw command line, its module path and
//                         its working directory (format: sample_report.h)
//   ZOR_SAMPLE_WAIT_FOR   then wait until this file exists (at most 5 min)
//   ZOR_SAMPLE_EXIT_CODE  exit with this code (decimal or 0x-hexadecimal)
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kWaitPollMs = 20;
constexpr DWORD kWaitLimitMs = 300000;

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[32768];
  DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

void AddField(std::wstring* report, const std::wstring& value) {
  report->append(value);
  report->push_back(L'\0');
}

void AddVector(std::wstring* report, const wchar_t* name, int count, wchar_t** values) {
  AddField(report, name);
  AddField(report, std::to_wstring(count));
  for (int i = 0; i < count; ++i) AddField(report, values[i]);
}

std::wstring ComposeReport() {
  std::wstring report;
  int platformCount = 0;
  wchar_t** platformArgs = CommandLineToArgvW(GetCommandLineW(), &platformCount);
  AddVector(&report, L"platform-args", platformArgs ? platformCount : 0, platformArgs);
  LocalFree(platformArgs);
  AddVector(&report, L"crt-args", __argc, __wargv);
  AddField(&report, L"command-line");
  AddField(&report, GetCommandLineW());
  wchar_t module[32768] = {};
  GetModuleFileNameW(nullptr, module, 32768);
  AddField(&report, L"module");
  AddField(&report, module);
  wchar_t directory[32768] = {};
  GetCurrentDirectoryW(32768, directory);
  AddField(&report, L"directory");
  AddField(&report, directory);
  return report;
}

// Written under a temporary name and renamed, so a reader never sees half.
void WriteReport(const std::wstring& path) {
  std::wstring report = ComposeReport();
  std::wstring temp = path + L".part";
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
  MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void WaitForFile(const std::wstring& path) {
  for (DWORD waited = 0; waited < kWaitLimitMs; waited += kWaitPollMs) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    Sleep(kWaitPollMs);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring report = Environment(L"ZOR_SAMPLE_REPORT");
  if (!report.empty()) WriteReport(report);
  std::wstring waitFor = Environment(L"ZOR_SAMPLE_WAIT_FOR");
  if (!waitFor.empty()) WaitForFile(waitFor);
  std::wstring code = Environment(L"ZOR_SAMPLE_EXIT_CODE");
  return code.empty() ? 0 : static_cast<int>(std::wcstoul(code.c_str(), nullptr, 0));
}
