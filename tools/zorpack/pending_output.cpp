#include "pending_output.h"

namespace zor::pack {

namespace {

constexpr wchar_t kTemporarySuffix[] = L".zorpack-tmp";

}  // namespace

PendingOutput::~PendingOutput() {
  if (!file_.IsValid()) return;
  file_.Reset();
  DeleteFileW(temporaryPath_.c_str());
}

bool PendingOutput::Create(const std::wstring& finalPath, std::wstring* error) {
  finalPath_ = finalPath;
  // The process id keeps two packers writing the same output apart.
  temporaryPath_ = finalPath + L"." + std::to_wstring(GetCurrentProcessId()) + kTemporarySuffix;
  file_.Reset(CreateFileW(temporaryPath_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file_.IsValid()) return true;
  *error = L"cannot create " + DescribeFailure(temporaryPath_, GetLastError());
  return false;
}

bool PendingOutput::Commit(std::wstring* error) {
  if (!FlushFileBuffers(file_.Get())) {
    *error = L"cannot write " + DescribeFailure(temporaryPath_, GetLastError());
    return false;
  }
  file_.Reset();
  if (MoveFileExW(temporaryPath_.c_str(), finalPath_.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *error = L"cannot replace " + DescribeFailure(finalPath_, GetLastError());
  DeleteFileW(temporaryPath_.c_str());
  return false;
}

bool IsSameFile(HANDLE file, const std::wstring& path) {
  // No access rights are needed to read a file's identity, and sharing
  // everything keeps this from failing on a file someone holds open.
  UniqueHandle other(CreateFileW(path.c_str(), 0,
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

std::wstring DescribeFailure(const std::wstring& path, DWORD errorCode) {
  std::wstring text = L"'" + path + L"'";
  // Some failures (a hash that could not be set up) leave no error code.
  if (errorCode == ERROR_SUCCESS) return text;
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
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
  if (reason.empty()) reason = L"error " + std::to_wstring(errorCode);
  return text + L": " + reason;
}

}  // namespace zor::pack
