// The cache operations one by one: where the cache lives and what its parts
// are called, the lock, the check of a cached copy, and the extraction that
// must never leave unverified bytes under the final name.
#include "payload/payload_cache.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "payload/payload_trailer.h"
#include "support/cache_folder.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/temp_dir.h"

namespace zor {
namespace {

using test::Bytes;

std::wstring Str(const WideString& text) {
  return std::wstring(text.Data(), text.Length());
}

Sha256Digest FreshDigest() {
  return test::Sha256Of(test::PatternBytes(16, test::FreshTag()));
}

// --- Cache root from the temporary folder -----------------------------------

struct TempPathCase {
  const char* name;
  std::wstring buffer;
  DWORD result;
  bool accepted;
  std::wstring root;
};

TEST(CacheRoot, TemporaryFolderIsUsedOnlyWhenItFitsAndLosesOneTrailingSeparator) {
  const std::wstring longest = L"C:\\" + std::wstring(256, L't');  // 259 units
  const TempPathCase cases[] = {
      {"backslash stripped", L"C:\\Temp\\", 8, true, L"C:\\Temp"},
      {"slash stripped", L"C:\\Temp/", 8, true, L"C:\\Temp"},
      {"only one separator stripped", L"C:\\Temp\\\\", 9, true, L"C:\\Temp\\"},
      {"no separator kept as is", L"C:\\Temp", 7, true, L"C:\\Temp"},
      {"the longest path that fits", longest, 259, true, longest},
      {"the query failed", L"", 0, false, L""},
      {"a buffer of 260 units was too small", L"", 260, false, L""},
      {"a much larger buffer was needed", L"", 1000, false, L""},
      // A root that is nothing but a separator would put the cache below the
      // drive's root.
      {"a lone separator", L"\\", 1, false, L""},
  };
  for (const TempPathCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<wchar_t> buffer(kCacheRootCapacity, L'\0');
    std::copy(c.buffer.begin(), c.buffer.end(), buffer.begin());
    WideString root(L"unchanged");
    EXPECT_EQ(CacheRootFromTempPath(buffer.data(), c.result, &root), c.accepted);
    EXPECT_EQ(Str(root), c.accepted ? c.root : L"unchanged");
  }
}

TEST(CacheRoot, LocalApplicationDataIsUsedWhenTheQueryGaveAPath) {
  struct Case {
    const char* name;
    HRESULT result;
    const wchar_t* buffer;
    bool accepted;
  };
  const Case cases[] = {
      {"success", S_OK, L"C:\\Users\\u\\AppData\\Local", true},
      {"success that says the folder was not there", S_FALSE, L"C:\\Local", true},
      {"a failure leaves it to the temporary folder", E_FAIL, L"C:\\Local", false},
      {"so does a failure of the access kind", E_ACCESSDENIED, L"", false},
      {"an empty path would be the drive's root", S_OK, L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WideString root(L"unchanged");
    EXPECT_EQ(CacheRootFromAppData(c.result, c.buffer, &root), c.accepted);
    EXPECT_EQ(Str(root), c.accepted ? c.buffer : L"unchanged");
  }
}

// --- Cache folders and names -------------------------------------------------

TEST(CacheDirectory, CreatesTheFourLevelsAndNamesTheCopyAfterTheLauncher) {
  struct Case {
    const wchar_t* launcherPath;
    const wchar_t* fileName;
  };
  const Case cases[] = {
      {L"C:\\Downloads\\Updater.exe", L"Updater.exe"},
      {L"Z:\\tools/mixed\\Some Tool.v2.exe", L"Some Tool.v2.exe"},
      {L"Z:/unix/style/tool", L"tool"},
  };
  const Sha256Digest digest = FreshDigest();
  const std::wstring root = test::LocalAppDataFolder();
  const std::wstring folder = test::CacheFolderOf(digest);
  ASSERT_FALSE(test::IsFolder(folder));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.launcherPath)));
    WideString cacheDirectory;
    WideString cachedToolPath;
    ASSERT_TRUE(PrepareCacheDirectory(WideString(c.launcherPath), digest, &cacheDirectory,
                                      &cachedToolPath));
    EXPECT_EQ(Str(cacheDirectory), folder);
    EXPECT_EQ(Str(cachedToolPath), folder + L"\\" + c.fileName);
  }
  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR"));
  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR\\FirmwareUpdate"));
  EXPECT_TRUE(test::IsFolder(root + L"\\ZOR\\FirmwareUpdate\\Payloads"));
  EXPECT_TRUE(test::IsFolder(folder));
  EXPECT_TRUE(test::FolderEntries(folder).empty()) << "only folders are made here";
  test::RemoveCacheFolder(digest);
}

TEST(CacheLock, NameIsTheSessionPrefixAndTheDigestInLowercaseHex) {
  Sha256Digest zeros = {};
  Sha256Digest mixed;
  for (size_t i = 0; i < kSha256DigestSize; ++i) {
    mixed.bytes[i] = static_cast<unsigned char>(i * 0x11 + 0x0A);
  }
  EXPECT_EQ(Str(CacheLockName(zeros)), L"Local\\ZOR.FirmwareUpdate." + std::wstring(64, L'0'));
  EXPECT_EQ(Str(CacheLockName(mixed)),
            L"Local\\ZOR.FirmwareUpdate."
            L"0a1b2c3d4e5f708192a3b4c5d6e7f8091a2b3c4d5e6f8091a2b3c4d5e6f70819");
}

// --- The lock ----------------------------------------------------------------

TEST(CacheLock, WaitsForTheOwnerAndTakesOverAnAbandonedLock) {
  const Sha256Digest digest = FreshDigest();
  const std::wstring name = test::CacheLockNameOf(digest);

  // Another thread owns it for a while, then releases it.
  UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread owner([&] {
    UniqueHandle held(CreateMutexW(nullptr, TRUE, name.c_str()));
    SetEvent(ready.Get());
    Sleep(400);
    ReleaseMutex(held.Get());
  });
  WaitForSingleObject(ready.Get(), INFINITE);
  auto start = std::chrono::steady_clock::now();
  UniqueHandle lock;
  EXPECT_TRUE(AcquireCacheLock(digest, &lock));
  auto waited = std::chrono::steady_clock::now() - start;
  owner.join();
  EXPECT_GE(waited, std::chrono::milliseconds(300)) << "did not wait for the owner";
  ASSERT_TRUE(lock.IsValid());
  ReleaseMutex(lock.Get());
  lock.Reset();

  // A thread that ends while owning it abandons it; the handle kept here
  // keeps the lock alive.
  HANDLE abandonedHandle = nullptr;
  std::thread dier([&] { abandonedHandle = CreateMutexW(nullptr, TRUE, name.c_str()); });
  dier.join();
  ASSERT_NE(abandonedHandle, nullptr);
  UniqueHandle takenOver;
  EXPECT_TRUE(AcquireCacheLock(digest, &takenOver));
  ReleaseMutex(takenOver.Get());
  CloseHandle(abandonedHandle);
}

// --- Names of the temporary file ---------------------------------------------

TEST(TemporaryPath, AppendsTheProcessIdInDecimalAndTmp) {
  struct Case {
    const wchar_t* cached;
    DWORD processId;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"C:\\c\\Updater.exe", 1234, L"C:\\c\\Updater.exe.1234.tmp"},
      {L"C:\\c\\Updater.exe", 0, L"C:\\c\\Updater.exe.0.tmp"},
      {L"C:\\c\\Updater.exe", 4294967295u, L"C:\\c\\Updater.exe.4294967295.tmp"},
      {L"C:\\c\\Some Tool.v2.exe", 100, L"C:\\c\\Some Tool.v2.exe.100.tmp"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Str(TemporaryPathFor(WideString(c.cached), c.processId)), c.expected);
  }
}

// --- Checking a cached copy --------------------------------------------------

TEST(VerifyCachedPayload, AcceptsOnlyAnExactCopy) {
  // Two chunks and a bit, so that damage in either chunk is seen.
  const Bytes payload = test::PatternBytes(300000, test::FreshTag());
  PayloadLocation location = {4096, payload.size(), test::Sha256Of(payload)};

  struct Case {
    const char* name;
    bool present;
    Bytes bytes;
    bool valid;
  };
  auto changed = [&](size_t at) {
    Bytes bytes = payload;
    bytes[at] ^= 0x01;
    return bytes;
  };
  Bytes longer = payload;
  longer.push_back(0);
  const Case cases[] = {
      {"exact copy", true, payload, true},
      {"missing", false, {}, false},
      {"empty", true, {}, false},
      {"truncated by one byte", true, test::Slice(payload, 0, payload.size() - 1), false},
      {"one byte longer", true, longer, false},
      {"first byte changed", true, changed(0), false},
      {"byte in the second chunk changed", true, changed(200000), false},
      {"last byte changed", true, changed(payload.size() - 1), false},
  };
  test::TempDir dir;
  const std::wstring path = dir.File(L"Updater.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(path.c_str());
    if (c.present) test::WriteFileBytes(path, c.bytes);
    EXPECT_EQ(VerifyCachedPayload(WideString(path.c_str()), location), c.valid);
    if (c.present) {
      EXPECT_EQ(test::ReadFileBytes(path), c.bytes) << "the check wrote";
    }
  }
}

TEST(VerifyCachedPayload, AcceptsACopyThatIsInUse) {
  const Bytes payload = test::PatternBytes(1000, test::FreshTag());
  PayloadLocation location = {0, payload.size(), test::Sha256Of(payload)};
  test::TempDir dir;
  const std::wstring path = dir.File(L"Updater.exe");
  test::WriteFileBytes(path, payload);
  // A running tool's image is open for reading, with no write or delete sharing.
  UniqueHandle inUse = test::OpenExisting(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(inUse.IsValid());
  EXPECT_TRUE(VerifyCachedPayload(WideString(path.c_str()), location));
}

// --- Extraction --------------------------------------------------------------

class ExtractPayloadTest : public testing::Test {
 protected:
  void SetUp() override {
    payload_ = test::PatternBytes(300000, test::FreshTag());
    test::LauncherFileParts parts;
    parts.image = test::MinimalPeImage();
    parts.payload = payload_;
    test::BuiltLauncherFile built = test::BuildLauncherFile(parts);
    location_ = {built.payloadOffset, built.payloadSize, built.payloadDigest};
    launcherPath_ = dir_.File(L"launcher.exe");
    test::WriteFileBytes(launcherPath_, built.bytes);
    cacheFolder_ = dir_.File(L"cache");
    CreateDirectoryW(cacheFolder_.c_str(), nullptr);
    cachedPath_ = cacheFolder_ + L"\\Updater.exe";
    tempPath_ = cachedPath_ + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  }

  bool Extract(const PayloadLocation& location) {
    return ExtractPayload(WideString(launcherPath_.c_str()), WideString(cachedPath_.c_str()),
                          location);
  }

  test::TempDir dir_;
  Bytes payload_;
  PayloadLocation location_ = {};
  std::wstring launcherPath_;
  std::wstring cacheFolder_;
  std::wstring cachedPath_;
  std::wstring tempPath_;
};

TEST_F(ExtractPayloadTest, WritesAVerifiedCopyAndLeavesNoTemporaryFile) {
  const Bytes stale = test::PatternBytes(5000, 1);
  enum class Left { kNothing, kStaleCopy, kOwnTemporaryFile };
  for (Left left : {Left::kNothing, Left::kStaleCopy, Left::kOwnTemporaryFile}) {
    SCOPED_TRACE(static_cast<int>(left));
    DeleteFileW(cachedPath_.c_str());
    if (left == Left::kStaleCopy) test::WriteFileBytes(cachedPath_, stale);
    // What an earlier, killed process with this process's id left, longer
    // than the payload: made afresh, not refused, not written over in place.
    if (left == Left::kOwnTemporaryFile) {
      test::WriteFileBytes(tempPath_, test::PatternBytes(payload_.size() + 100, 1));
    }
    ASSERT_TRUE(Extract(location_));
    EXPECT_EQ(test::ReadFileBytes(cachedPath_), payload_);
    EXPECT_EQ(test::FolderEntries(cacheFolder_), std::vector<std::wstring>{L"Updater.exe"});
  }
}

// However it fails, no temporary file stays and the final name keeps what
// it had: nothing, or the obstacle that made the rename fail.
TEST_F(ExtractPayloadTest, FailsWithoutLeavingUnverifiedBytes) {
  enum class FinalName { kAbsent, kFolder, kOpenWithoutDeleteSharing };
  struct Case {
    const char* name;
    PayloadLocation location;
    bool launcherMissing;
    FinalName finalName;
  };
  PayloadLocation wrongDigest = location_;
  wrongDigest.digest.bytes[31] ^= 0x80;
  PayloadLocation pastTheEnd = location_;
  pastTheEnd.size += kTrailerSize + 1;
  const Case cases[] = {
      {"digest mismatch", wrongDigest, false, FinalName::kAbsent},
      {"range past the end of the launcher", pastTheEnd, false, FinalName::kAbsent},
      {"launcher file missing", location_, true, FinalName::kAbsent},
      {"a folder under the final name", location_, false, FinalName::kFolder},
      {"final name open without delete sharing", location_, false,
       FinalName::kOpenWithoutDeleteSharing},
  };
  const Bytes inUseBytes = test::PatternBytes(700, 2);
  const Bytes launcherBytes = test::ReadFileBytes(launcherPath_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFileBytes(launcherPath_, launcherBytes);
    if (c.launcherMissing) DeleteFileW(launcherPath_.c_str());
    if (c.finalName == FinalName::kFolder) CreateDirectoryW(cachedPath_.c_str(), nullptr);
    if (c.finalName == FinalName::kOpenWithoutDeleteSharing) {
      test::WriteFileBytes(cachedPath_, inUseBytes);
    }
    {
      // Holds the in-use copy open the way a running tool does; for the
      // other cases there is no file to open and this holds nothing.
      UniqueHandle holder = test::OpenExisting(cachedPath_, GENERIC_READ, FILE_SHARE_READ);
      EXPECT_FALSE(Extract(c.location));
      EXPECT_FALSE(test::FileExists(tempPath_));
    }
    switch (c.finalName) {
      case FinalName::kAbsent:
        EXPECT_FALSE(test::FileExists(cachedPath_));
        break;
      case FinalName::kFolder:
        EXPECT_TRUE(test::IsFolder(cachedPath_));
        RemoveDirectoryW(cachedPath_.c_str());
        break;
      case FinalName::kOpenWithoutDeleteSharing:
        EXPECT_EQ(test::ReadFileBytes(cachedPath_), inUseBytes);
        DeleteFileW(cachedPath_.c_str());
        break;
    }
    EXPECT_TRUE(test::FolderEntries(cacheFolder_).empty());
  }
}

// When the temporary file cannot be made, nothing is deleted: neither the
// file that blocks the name (it may be another extraction's) nor a copy
// under the final name.
TEST_F(ExtractPayloadTest, DeletesNothingWhenTheTemporaryFileCannotBeCreated) {
  const Bytes blocker = test::PatternBytes(600, 3);
  const Bytes stale = test::PatternBytes(900, 4);
  test::WriteFileBytes(tempPath_, blocker);
  test::WriteFileBytes(cachedPath_, stale);
  {
    // Sharing delete only: a wrong DeleteFileW would succeed and take the
    // file away once this handle closes.
    UniqueHandle holder = test::OpenExisting(tempPath_, GENERIC_READ, FILE_SHARE_DELETE);
    ASSERT_TRUE(holder.IsValid());
    EXPECT_FALSE(Extract(location_));
  }
  EXPECT_EQ(test::ReadFileBytes(tempPath_), blocker);
  EXPECT_EQ(test::ReadFileBytes(cachedPath_), stale);

  // A cache folder that does not exist: nothing is created either.
  const std::wstring missingFolder = dir_.File(L"missing");
  EXPECT_FALSE(ExtractPayload(WideString(launcherPath_.c_str()),
                              WideString((missingFolder + L"\\Updater.exe").c_str()), location_));
  EXPECT_FALSE(test::FileExists(missingFolder));
}

}  // namespace
}  // namespace zor
