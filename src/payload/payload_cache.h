// The per-user cache that the tool runs from:
//   <root>\ZOR\FirmwareUpdate\Payloads\<64 hex digits of the digest>\<launcher file name>
// where <root> is the local application-data folder, or the temporary folder
// when that cannot be obtained. A named lock per digest serialises every
// check, delete and write of the copy among one session's launchers.
#pragma once

#include <windows.h>

#include "common/payload_location.h"
#include "runtime/unique_handle.h"
#include "runtime/wide_string.h"

namespace zor {

constexpr wchar_t kCacheLockPrefix[] = L"Local\\ZOR.FirmwareUpdate.";
constexpr wchar_t kTempFileSuffix[] = L".tmp";
constexpr DWORD kCacheRootCapacity = MAX_PATH;

// The user's local application-data folder as the cache root, from what
// SHGetFolderPathW gave: false when the query failed or gave no path, and
// the temporary folder is to be used instead.
inline bool CacheRootFromAppData(HRESULT result, const wchar_t* buffer, WideString* root) {
  // An empty answer would put the cache below the drive's root.
  if (FAILED(result) || buffer[0] == L'\0') return false;
  *root = WideString(buffer);
  return true;
}

// The user's temporary folder as a cache root, from what GetTempPathW(
// kCacheRootCapacity, buffer) gave: false when it failed or needed a larger
// buffer (then there is no real folder to write below); one trailing
// separator is removed.
bool CacheRootFromTempPath(const wchar_t* buffer, DWORD result, WideString* root);

// Creates the cache folders as needed and names the digest folder and the
// copy in it. On false both outputs are unchanged.
bool PrepareCacheDirectory(const WideString& launcherPath, const Sha256Digest& digest,
                           WideString* cacheDirectory, WideString* cachedToolPath);

WideString CacheLockName(const Sha256Digest& digest);

// Creates the payload's lock and waits until this process owns it (an
// abandoned lock counts as owned). Whatever handle was created is left in
// `lock`, also on false, for the caller to close.
bool AcquireCacheLock(const Sha256Digest& digest, UniqueHandle* lock);

// True when the copy exists, has the payload's size and hashes to its digest.
// Only reads the copy.
bool VerifyCachedPayload(const WideString& cachedToolPath, const PayloadLocation& payload);

// "<cachedToolPath>.<process id>.tmp": where the copy is written before it is
// renamed into place.
WideString TemporaryPathFor(const WideString& cachedToolPath, DWORD processId);

// Copies the payload out of the launcher file into a temporary file, checks
// its digest, flushes it and renames it over `cachedToolPath`. True when a
// verified copy now stands there; on false no temporary file is left and the
// final name has received nothing.
bool ExtractPayload(const WideString& launcherPath, const WideString& cachedToolPath,
                    const PayloadLocation& payload);

}  // namespace zor
