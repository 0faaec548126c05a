#include "support/cache_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace zor::test {

CacheTestLauncher::CacheTestLauncher(const std::wstring& folder, size_t extraPayloadBytes)
    : folder_(folder), path_(folder + L"\\" + kLauncherFileName) {
  LauncherFileParts parts;
  parts.image = LauncherImage();
  parts.payload = UniqueSamplePayload(FreshTag(), extraPayloadBytes);
  built_ = WriteLauncherFile(path_, parts);
  payload_ = std::move(parts.payload);
  cacheFolder_ = CacheFolderOf(Digest());
  EXPECT_FALSE(IsFolder(cacheFolder_)) << "the payload is not unique";
}

CacheTestLauncher::~CacheTestLauncher() {
  RemoveCacheFolder(Digest());
}

std::wstring CacheTestLauncher::CopyAs(const std::wstring& fileName) const {
  std::wstring copy = folder_ + L"\\" + fileName;
  if (!CopyFileW(path_.c_str(), copy.c_str(), FALSE)) ADD_FAILURE() << "cannot copy the launcher";
  return copy;
}

std::wstring CacheTestLauncher::CachedCopy(const std::wstring& fileName) const {
  return cacheFolder_ + L"\\" + fileName;
}

}  // namespace zor::test
