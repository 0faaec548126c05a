// A DLL that someone could drop beside a launcher. The tests copy it under
// the names of system DLLs; when it is loaded, its DllMain appends a line
// (UTF-16: its own path, a tab, the process's program path, a line feed) to
// the file named by ZOR_PLANTED_DLL_LOG. It exports what the launcher imports
// from bcrypt and what the system's libraries import from version, so that a
// loader that binds imports before running DllMain takes it rather than
// refusing it: where it is loaded, its DllMain runs and is seen. The exports
// only report failure. Freestanding: it imports kernel32 alone.
#include <windows.h>

namespace {

constexpr wchar_t kLogVariable[] = L"ZOR_PLANTED_DLL_LOG";
constexpr DWORD kPathCapacity = 32768;
constexpr LONG kStatusNotSupported = static_cast<LONG>(0xC00000BB);

wchar_t logPath[kPathCapacity];
wchar_t line[2 * kPathCapacity + 2];

void RecordLoad(HINSTANCE self) {
  DWORD logLength = GetEnvironmentVariableW(kLogVariable, logPath, kPathCapacity);
  if (logLength == 0 || logLength >= kPathCapacity) return;
  DWORD at = GetModuleFileNameW(self, line, kPathCapacity);
  line[at++] = L'\t';
  at += GetModuleFileNameW(nullptr, line + at, kPathCapacity);
  line[at++] = L'\n';
  HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line, at * sizeof(wchar_t), &written, nullptr);
  CloseHandle(log);
}

}  // namespace

extern "C" BOOL WINAPI PlantedDllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad(self);
  return TRUE;
}

extern "C" {

__declspec(dllexport) LONG WINAPI
    BCryptOpenAlgorithmProvider(void*, const wchar_t*, const wchar_t*, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI
    BCryptGetProperty(void*, const wchar_t*, void*, ULONG, ULONG*, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI
    BCryptCreateHash(void*, void*, void*, ULONG, void*, ULONG, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI BCryptHashData(void*, void*, ULONG, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI BCryptFinishHash(void*, void*, ULONG, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI BCryptDestroyHash(void*) {
  return kStatusNotSupported;
}
__declspec(dllexport) LONG WINAPI BCryptCloseAlgorithmProvider(void*, ULONG) {
  return kStatusNotSupported;
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(const wchar_t*, DWORD*) {
  return 0;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(const wchar_t*, DWORD, DWORD, void*) {
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(const void*, const wchar_t*, void**, UINT*) {
  return FALSE;
}

}  // extern "C"
