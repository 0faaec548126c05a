#include <windows.h>

#include <bcrypt.h>

#include "pack_platform.h"
#include "runtime/unique_handle.h"

namespace zor::pack {

namespace {

// The file a console control event removes (see CreateRemovedOnInterrupt).
// The handler runs on a thread of its own, so the name sits behind a lock.
CRITICAL_SECTION interruptLock;
std::wstring* interruptPath = nullptr;

BOOL WINAPI RemoveOnControlEvent(DWORD) {
  EnterCriticalSection(&interruptLock);
  // Best effort: the file is still open (CreateExclusively lets it be
  // deleted), so this marks it, and it goes when the process ends.
  if (interruptPath != nullptr && !interruptPath->empty()) DeleteFileW(interruptPath->c_str());
  LeaveCriticalSection(&interruptLock);
  // Let the default handler end the process.
  return FALSE;
}

std::wstring Wide(const std::string& utf8) {
  int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  }
  return wide;
}

std::string Utf8(const wchar_t* text, size_t count) {
  int length =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), &utf8[0], length, nullptr,
                        nullptr);
  }
  return utf8;
}

}  // namespace

std::wstring NativePath(const std::string& path) {
  return Wide(path);
}

std::string Utf8FromNative(const std::wstring& text) {
  return Utf8(text.data(), text.size());
}

PathKind KindOfPath(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kFile;
}

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void RemoveFile(const std::string& path) {
  DeleteFileW(Wide(path).c_str());
}

bool RandomBits(uint64_t* bits) {
  return BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bits), sizeof *bits,
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

bool LastFailureWasNameTaken() {
  DWORD code = GetLastError();
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

void KeepPermissions(FileHandle, const std::string&) {}

void InstallInterruptCleanup() {
  InitializeCriticalSection(&interruptLock);
  interruptPath = new std::wstring();
  SetConsoleCtrlHandler(RemoveOnControlEvent, TRUE);
}

FileHandle CreateRemovedOnInterrupt(const std::string& path) {
  std::wstring wide = Wide(path);
  if (interruptPath == nullptr) return CreateExclusively(wide.c_str());
  // The handler waits for the lock, so it sees either no file or this one.
  EnterCriticalSection(&interruptLock);
  FileHandle file = CreateExclusively(wide.c_str());
  DWORD failure = GetLastError();
  if (IsOpenFile(file)) interruptPath->swap(wide);
  LeaveCriticalSection(&interruptLock);
  SetLastError(failure);
  return file;
}

void StopRemovingOnInterrupt() {
  if (interruptPath == nullptr) return;
  EnterCriticalSection(&interruptLock);
  interruptPath->clear();
  LeaveCriticalSection(&interruptLock);
}

void ForgetLastFailure() {
  SetLastError(ERROR_SUCCESS);
}

std::string LastFailureText() {
  DWORD code = GetLastError();
  // Some failures (a hash that could not be set up) leave no error code.
  if (code == ERROR_SUCCESS) return std::string();
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring reason(message != nullptr ? message : L"", length);
  LocalFree(message);
  // The system's texts end in a line break (and often a full stop); the
  // message must stay on one line.
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                             reason.back() == L' ' || reason.back() == L'.')) {
    reason.pop_back();
  }
  for (wchar_t& unit : reason) {
    if (unit == L'\r' || unit == L'\n') unit = L' ';
  }
  if (reason.empty()) return "error " + std::to_string(code);
  return Utf8FromNative(reason);
}

bool WriteText(FileHandle stream, const std::string& text) {
  // A missing standard handle is null or INVALID_HANDLE_VALUE.
  if (!IsValidHandle(stream)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD mode = 0;
  // A console shows UTF-16; a pipe or a file gets the UTF-8 bytes.
  if (GetConsoleMode(stream, &mode)) {
    std::wstring wide = Wide(text);
    DWORD written = 0;
    return WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
  }
  return WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
