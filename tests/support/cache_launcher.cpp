#include "support/cache_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace zor::test {

CacheTestLauncher::CacheTestLauncher(const std::wstring& folder, size_t extraPayloadBytes)
    : CacheTestLauncher(folder, UniqueSamplePayload(FreshTag(), extraPayloadBytes),
                        kLauncherFileName) {}

CacheTestLauncher::CacheTestLauncher(const std::wstring& folder, Bytes payload,
                                     const std::wstring& fileName)
    : folder_(folder), fileName_(fileName), path_(File(fileName)) {
  LauncherFileParts parts;
  parts.image = LauncherImage();
  parts.payload = std::move(payload);
  built_ = WriteLauncherFile(path_, parts);
  payload_ = std::move(parts.payload);
  cacheFolder_ = CacheFolderOf(Digest());
  EXPECT_FALSE(IsFolder(cacheFolder_)) << "the payload is not unique";
}

CacheTestLauncher::~CacheTestLauncher() {
  RemoveCacheFolder(Digest());
}

std::wstring CacheTestLauncher::CopyAs(const std::wstring& fileName) const {
  std::wstring copy = File(fileName);
  if (!CopyFileW(path_.c_str(), copy.c_str(), FALSE)) ADD_FAILURE() << "cannot copy the launcher";
  return copy;
}

std::wstring CacheTestLauncher::CachedCopy(const std::wstring& fileName) const {
  return cacheFolder_ + L"\\" + (fileName.empty() ? fileName_ : fileName);
}

}  // namespace zor::test
