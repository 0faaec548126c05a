#include "runtime/file.h"

namespace zor {

namespace {

int64_t Combined(DWORD high, DWORD low) {
  return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
}

}  // namespace

bool QueryFileIdentity(FileHandle file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION facts;
  if (!GetFileInformationByHandle(file, &facts)) return false;
  identity->device = facts.dwVolumeSerialNumber;
  identity->index = static_cast<uint64_t>(Combined(facts.nFileIndexHigh, facts.nFileIndexLow));
  identity->size = Combined(facts.nFileSizeHigh, facts.nFileSizeLow);
  identity->modified =
      Combined(facts.ftLastWriteTime.dwHighDateTime, facts.ftLastWriteTime.dwLowDateTime);
  identity->changed =
      Combined(facts.ftCreationTime.dwHighDateTime, facts.ftCreationTime.dwLowDateTime);
  // Pipes, consoles and devices are not FILE_TYPE_DISK; a folder is, but
  // says so in its attributes.
  identity->regular = GetFileType(file) == FILE_TYPE_DISK &&
                      (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return true;
}

bool QueryPathIdentity(const PathChar* path, FileIdentity* identity) {
  // No access rights are needed to read a file's identity, and sharing
  // everything keeps this from failing on a file someone holds open; backup
  // semantics let it name a folder too.
  HANDLE opened = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  UniqueFile other(opened);
  return QueryFileIdentity(other.Get(), identity);
}

}  // namespace zor
