// The launcher's per-user payload cache as the tests see it from outside:
// where a payload's digest folder is, what the lock is called, what lies in
// the folder, and whether a file was rewritten between two looks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/sha256_digest.h"
#include "runtime/unique_handle.h"

namespace zor::test {

// The local application-data folder of this Wine prefix's user.
std::wstring LocalAppDataFolder();

// <local app data>\ZOR\FirmwareUpdate\Payloads\<64 lowercase hex digits>,
// built here independently of the launcher's own code.
std::wstring CacheFolderOf(const Sha256Digest& digest);

// "Local\ZOR.FirmwareUpdate." + the 64 lowercase hex digits.
std::wstring CacheLockNameOf(const Sha256Digest& digest);

// The names in `folder`, sorted, without "." and ".."; empty when the folder
// does not exist.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

bool IsFolder(const std::wstring& path);

// `path` opened as it is, with `access` and `share`; not valid when that failed.
UniqueHandle OpenExisting(const std::wstring& path, DWORD access, DWORD share);

// Deletes the files in a digest folder and the folder itself, so that the
// tests leave the shared cache as they found it.
void RemoveCacheFolder(const Sha256Digest& digest);

// Removes the payload's digest folder when it goes.
class ScopedCacheFolder {
 public:
  explicit ScopedCacheFolder(const Sha256Digest& digest)
      : digest_(digest), folder_(CacheFolderOf(digest)) {}
  ~ScopedCacheFolder() { RemoveCacheFolder(digest_); }
  ScopedCacheFolder(const ScopedCacheFolder&) = delete;
  ScopedCacheFolder& operator=(const ScopedCacheFolder&) = delete;

  const std::wstring& Folder() const { return folder_; }

 private:
  Sha256Digest digest_;
  std::wstring folder_;
};

// What tells a rewritten file from an untouched one: the same volume and file
// index mean the same file (a rename-into-place gives a new index), and the
// same last-write time means no write reached it.
struct FileIdentity {
  DWORD volumeSerial = 0;
  uint64_t fileIndex = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
  bool operator==(const FileIdentity& other) const {
    return volumeSerial == other.volumeSerial && fileIndex == other.fileIndex &&
           lastWriteTime == other.lastWriteTime && size == other.size;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// False (and a test failure) when the file cannot be opened or queried.
bool IdentityOf(const std::wstring& path, FileIdentity* identity);

}  // namespace zor::test
