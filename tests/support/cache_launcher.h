// A launcher file for the cache tests: the built launcher image with a
// payload of its own (so that no two tests share a digest folder or a lock),
// written into a test folder. The digest folder that its runs fill in the
// shared cache is removed again when the object goes.
#pragma once

#include <string>

#include "support/cache_folder.h"
#include "support/launcher_file.h"

namespace zor::test {

constexpr wchar_t kLauncherFileName[] = L"Updater.exe";

class CacheTestLauncher {
 public:
  // `extraPayloadBytes` pattern bytes follow the sample tool in the payload.
  CacheTestLauncher(const std::wstring& folder, size_t extraPayloadBytes = 64);
  // `payload` as it is, in a launcher file named `fileName`.
  CacheTestLauncher(const std::wstring& folder, Bytes payload, const std::wstring& fileName);
  ~CacheTestLauncher();
  CacheTestLauncher(const CacheTestLauncher&) = delete;
  CacheTestLauncher& operator=(const CacheTestLauncher&) = delete;

  // The launcher file, named kLauncherFileName unless given another name.
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return folder_ + L"\\" + name; }
  // The same launcher under another name in the same folder (copied now).
  std::wstring CopyAs(const std::wstring& fileName) const;
  const BuiltLauncherFile& Built() const { return built_; }
  const Bytes& Payload() const { return payload_; }
  const Sha256Digest& Digest() const { return built_.payloadDigest; }

  const std::wstring& CacheFolder() const { return cacheFolder_; }
  // The cached copy for a launcher of this name (empty: this launcher's).
  std::wstring CachedCopy(const std::wstring& fileName = L"") const;
  std::wstring LockName() const { return CacheLockNameOf(Digest()); }

 private:
  std::wstring folder_;
  std::wstring fileName_;
  std::wstring path_;
  Bytes payload_;
  BuiltLauncherFile built_;
  std::wstring cacheFolder_;
};

}  // namespace zor::test
