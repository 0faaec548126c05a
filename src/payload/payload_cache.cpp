#include "payload/payload_cache.h"

// windows.h comes first: shlobj.h depends on its types.
#include <windows.h>

#include <shlobj.h>

#include "common/file_name.h"
#include "common/hex_lower.h"
#include "runtime/file.h"
#include "payload/range_digest.h"

namespace zor {

namespace {

constexpr const wchar_t* kCacheFolders[] = {L"ZOR", L"FirmwareUpdate", L"Payloads"};
constexpr wchar_t kSeparator = L'\\';

bool IsSeparator(wchar_t unit) {
  return unit == L'\\' || unit == L'/';
}

bool FindCacheRoot(WideString* root) {
  wchar_t buffer[kCacheRootCapacity] = {};
  HRESULT result = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                    SHGFP_TYPE_CURRENT, buffer);
  if (CacheRootFromAppData(result, buffer, root)) return true;
  wchar_t tempBuffer[kCacheRootCapacity] = {};
  DWORD length = GetTempPathW(kCacheRootCapacity, tempBuffer);
  return CacheRootFromTempPath(tempBuffer, length, root);
}

// Creates `path` unless it exists already.
bool EnsureFolder(const WideString& path) {
  return CreateDirectoryW(path.Data(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool AppendAndCreateFolder(WideString* path, const WideString& name) {
  path->Append(kSeparator);
  path->Append(name);
  return EnsureFolder(*path);
}

}  // namespace

bool CacheRootFromTempPath(const wchar_t* buffer, DWORD result, WideString* root) {
  // A result at or above the capacity is the length the path would need.
  if (result == 0 || result >= kCacheRootCapacity) return false;
  WideString path(buffer, result);
  size_t length = path.Length();
  if (length > 0 && IsSeparator(path[length - 1])) --length;
  if (length == 0) return false;
  *root = path.Substring(0, length);
  return true;
}

bool PrepareCacheDirectory(const WideString& launcherPath, const Sha256Digest& digest,
                           WideString* cacheDirectory, WideString* cachedToolPath) {
  WideString path;
  if (!FindCacheRoot(&path)) return false;
  for (const wchar_t* folder : kCacheFolders) {
    if (!AppendAndCreateFolder(&path, WideString(folder))) return false;
  }
  if (!AppendAndCreateFolder(&path, HexLower(digest.bytes, kSha256DigestSize))) return false;

  WideString toolPath(path);
  toolPath.Append(kSeparator);
  toolPath.Append(FileNameOf(launcherPath));
  *cacheDirectory = static_cast<WideString&&>(path);
  *cachedToolPath = static_cast<WideString&&>(toolPath);
  return true;
}

WideString CacheLockName(const Sha256Digest& digest) {
  WideString name(kCacheLockPrefix);
  name.Append(HexLower(digest.bytes, kSha256DigestSize));
  return name;
}

bool AcquireCacheLock(const Sha256Digest& digest, UniqueHandle* lock) {
  WideString name = CacheLockName(digest);
  lock->Reset(CreateMutexW(nullptr, FALSE, name.Data()));
  if (!lock->IsValid()) return false;
  DWORD wait = WaitForSingleObject(lock->Get(), INFINITE);
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

bool VerifyCachedPayload(const WideString& cachedToolPath, const PayloadLocation& payload) {
  UniqueFile copy(OpenForReading(cachedToolPath.Data(), ReadSharing::kLetOthersRemove));
  if (!copy.IsValid()) return false;
  int64_t size = 0;
  if (!QueryFileSize(copy.Get(), &size) || static_cast<uint64_t>(size) != payload.size)
    return false;
  Sha256Digest computed;
  return DigestRange(copy.Get(), 0, payload.size, &computed, NoFile()) &&
         DigestsEqual(computed, payload.digest);
}

WideString TemporaryPathFor(const WideString& cachedToolPath, DWORD processId) {
  WideString path(cachedToolPath);
  path.Append(L'.');
  path.Append(DecimalOf(processId));
  path.Append(kTempFileSuffix);
  return path;
}

namespace {

// Writes the payload into the open temporary file and makes it durable.
bool WriteVerifiedCopy(FileHandle source, FileHandle temp, const PayloadLocation& payload) {
  Sha256Digest computed;
  return DigestRange(source, payload.offset, payload.size, &computed, temp) &&
         DigestsEqual(computed, payload.digest) && FlushFile(temp);
}

}  // namespace

bool ExtractPayload(const WideString& launcherPath, const WideString& cachedToolPath,
                    const PayloadLocation& payload) {
  UniqueFile source(OpenForReading(launcherPath.Data(), ReadSharing::kLetOthersRemove));
  if (!source.IsValid()) return false;

  WideString tempPath = TemporaryPathFor(cachedToolPath, GetCurrentProcessId());
  // The name holds this process's id: a file left there by an earlier
  // process with the same id is replaced.
  UniqueFile temp(CreateReplacingWriteOnly(tempPath.Data()));
  if (!temp.IsValid()) return false;

  bool verified = WriteVerifiedCopy(source.Get(), temp.Get(), payload);
  // The temporary file is open without sharing: it must be closed before it
  // can be renamed or deleted.
  temp.Reset();
  if (verified && MoveFileExW(tempPath.Data(), cachedToolPath.Data(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(tempPath.Data());
  return false;
}

}  // namespace zor
