#include <windows.h>

#include "pack_platform.h"

namespace zor::pack {

namespace {

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

std::string Utf8FromWide(const std::wstring& text) {
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

bool IsOpenFile(FileHandle file) {
  return IsValidHandle(file);
}

void CloseFile(FileHandle file) {
  CloseHandle(file);
}

FileHandle OpenForReading(const std::string& path) {
  // Inputs may be read by others meanwhile, but not changed.
  return CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

FileHandle CreateForWriting(const std::string& path) {
  return CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FlushFile(FileHandle file) {
  return FlushFileBuffers(file) != FALSE;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void RemoveFile(const std::string& path) {
  DeleteFileW(Wide(path).c_str());
}

bool IsSameFile(FileHandle file, const std::string& path) {
  // No access rights are needed to read a file's identity, and sharing
  // everything keeps this from failing on a file someone holds open.
  UniqueHandle other(CreateFileW(Wide(path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!other.IsValid()) return false;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  if (!GetFileInformationByHandle(file, &a) || !GetFileInformationByHandle(other.Get(), &b)) {
    return false;
  }
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
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
  return Utf8FromWide(reason);
}

void WriteText(FileHandle stream, const std::string& text) {
  if (!IsValidHandle(stream) || text.empty()) return;
  DWORD mode = 0;
  // A console shows UTF-16; a pipe or a file gets the UTF-8 bytes.
  if (GetConsoleMode(stream, &mode)) {
    std::wstring wide = Wide(text);
    DWORD written = 0;
    WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
