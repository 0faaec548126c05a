#include "support/cache_folder.h"

#include <windows.h>

#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/file_bytes.h"

namespace zor::test {

namespace {

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

std::wstring LocalAppDataFolder() {
  wchar_t buffer[MAX_PATH] = {};
  HRESULT result = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                    SHGFP_TYPE_CURRENT, buffer);
  if (FAILED(result)) ADD_FAILURE() << "no local application-data folder";
  return buffer;
}

std::wstring CacheFolderOf(const Sha256Digest& digest) {
  return LocalAppDataFolder() + L"\\ZOR\\FirmwareUpdate\\Payloads\\" + Widen(HexOf(digest));
}

std::wstring CacheLockNameOf(const Sha256Digest& digest) {
  return L"Local\\ZOR.FirmwareUpdate." + Widen(HexOf(digest));
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

UniqueHandle OpenExisting(const std::wstring& path, DWORD access, DWORD share) {
  return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

void RemoveCacheFolder(const Sha256Digest& digest) {
  std::wstring folder = CacheFolderOf(digest);
  for (const std::wstring& name : FolderEntries(folder)) {
    std::wstring path = folder + L"\\" + name;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (IsFolder(path)) {
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(folder.c_str());
}

bool IdentityOf(const std::wstring& path, FileIdentity* identity) {
  UniqueHandle file = OpenExisting(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!file.IsValid()) {
    ADD_FAILURE() << "cannot open " << std::filesystem::path(path).string();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.Get(), &info)) {
    ADD_FAILURE() << "cannot query " << std::filesystem::path(path).string();
    return false;
  }
  identity->volumeSerial = info.dwVolumeSerialNumber;
  identity->fileIndex = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  identity->lastWriteTime =
      uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 | info.ftLastWriteTime.dwLowDateTime;
  identity->size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  return true;
}

}  // namespace zor::test
