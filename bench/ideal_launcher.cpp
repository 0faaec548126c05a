// The ideal launcher the benchmark holds ours against: the least work that
// can still hand over a verified tool. It imports only kernel32 and bcrypt,
// has no window, lock or folder work, and takes its orders from the
// environment:
//   ZOR_BENCH_MODE    "warm": hash ZOR_BENCH_FILE and compare the digest;
//                     "cold": copy ZOR_BENCH_SIZE bytes of ZOR_BENCH_SOURCE
//                     from ZOR_BENCH_OFFSET to ZOR_BENCH_FILE through a
//                     temporary file, hashing them on the way, compare,
//                     flush and rename into place
//   ZOR_BENCH_DIGEST  the expected SHA-256, 64 hexadecimal digits
// Then it starts ZOR_BENCH_FILE, waits for it and exits with its exit code
// (1 when anything failed).
#include <windows.h>

#include <bcrypt.h>

#include "bench/bench_names.h"

namespace {

constexpr DWORD kChunk = 0x20000;
constexpr DWORD kPathCapacity = 1024;
constexpr DWORD kDigestSize = 32;

constexpr DWORD kHashObjectCapacity = 1024;

bool ReadVariable(const wchar_t* name, wchar_t* value) {
  DWORD length = GetEnvironmentVariableW(name, value, kPathCapacity);
  return length > 0 && length < kPathCapacity;
}

bool ReadNumber(const wchar_t* name, ULONGLONG* number) {
  wchar_t text[kPathCapacity];
  if (!ReadVariable(name, text)) return false;
  *number = 0;
  for (const wchar_t* c = text; *c != 0; ++c) {
    if (*c < L'0' || *c > L'9') return false;
    *number = *number * 10 + static_cast<ULONGLONG>(*c - L'0');
  }
  return true;
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

bool ReadDigest(unsigned char* digest) {
  wchar_t text[kPathCapacity];
  if (!ReadVariable(zor::bench::kDigestVariable, text)) return false;
  for (DWORD i = 0; i < kDigestSize; ++i) {
    int high = HexValue(text[2 * i]);
    int low = high < 0 ? -1 : HexValue(text[2 * i + 1]);
    if (low < 0) return false;
    digest[i] = static_cast<unsigned char>(high << 4 | low);
  }
  return true;
}

bool SameDigest(const unsigned char* a, const unsigned char* b) {
  for (DWORD i = 0; i < kDigestSize; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Hashes `size` bytes from the current position of `source`, copying them to
// `target` unless it is INVALID_HANDLE_VALUE.
bool HashAndCopy(HANDLE source, ULONGLONG size, HANDLE target, unsigned char* digest) {
  auto* buffer = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, kChunk));
  unsigned char hashObject[kHashObjectCapacity];
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = buffer != nullptr &&
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, hashObject, sizeof hashObject, nullptr, 0, 0) >= 0;
  while (ok && size > 0) {
    DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
    DWORD read = 0;
    DWORD written = 0;
    ok = ReadFile(source, buffer, chunk, &read, nullptr) && read > 0 &&
         BCryptHashData(hash, buffer, read, 0) >= 0 &&
         (target == INVALID_HANDLE_VALUE ||
          (WriteFile(target, buffer, read, &written, nullptr) && written == read));
    size -= read;
  }
  ok = ok && BCryptFinishHash(hash, digest, kDigestSize, 0) >= 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  if (buffer != nullptr) HeapFree(GetProcessHeap(), 0, buffer);
  return ok;
}

HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool VerifyWarm(const wchar_t* file, const unsigned char* expected) {
  HANDLE copy = OpenForReading(file);
  if (copy == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  unsigned char digest[kDigestSize];
  bool ok =
      GetFileSizeEx(copy, &size) &&
      HashAndCopy(copy, static_cast<ULONGLONG>(size.QuadPart), INVALID_HANDLE_VALUE, digest) &&
      SameDigest(digest, expected);
  CloseHandle(copy);
  return ok;
}

bool ExtractCold(const wchar_t* file, const unsigned char* expected) {
  wchar_t sourcePath[kPathCapacity];
  wchar_t temporary[kPathCapacity + 8];
  ULONGLONG offset = 0;
  ULONGLONG size = 0;
  if (!ReadVariable(zor::bench::kSourceVariable, sourcePath) ||
      !ReadNumber(zor::bench::kOffsetVariable, &offset) ||
      !ReadNumber(zor::bench::kSizeVariable, &size)) {
    return false;
  }
  lstrcpyW(temporary, file);
  lstrcatW(temporary, L".tmp");
  HANDLE source = OpenForReading(sourcePath);
  if (source == INVALID_HANDLE_VALUE) return false;
  HANDLE target = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER start;
  start.QuadPart = static_cast<LONGLONG>(offset);
  unsigned char digest[kDigestSize];
  bool ok = target != INVALID_HANDLE_VALUE &&
            SetFilePointerEx(source, start, nullptr, FILE_BEGIN) &&
            HashAndCopy(source, size, target, digest) && SameDigest(digest, expected) &&
            FlushFileBuffers(target);
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  CloseHandle(source);
  return ok && MoveFileExW(temporary, file, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

DWORD StartAndWait(wchar_t* file) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(file, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.hProcess, &exitCode)) {
    exitCode = 1;
  }
  CloseHandle(process.hProcess);
  return exitCode;
}

DWORD Run() {
  wchar_t mode[kPathCapacity];
  wchar_t file[kPathCapacity];
  unsigned char expected[kDigestSize];
  if (!ReadVariable(zor::bench::kModeVariable, mode) ||
      !ReadVariable(zor::bench::kFileVariable, file) || !ReadDigest(expected)) {
    return 1;
  }
  bool cold = lstrcmpW(mode, zor::bench::kColdMode) == 0;
  bool ready = cold ? ExtractCold(file, expected) : VerifyWarm(file, expected);
  return ready ? StartAndWait(file) : 1;
}

}  // namespace

extern "C" void __stdcall BenchEntry() {
  ExitProcess(Run());
}
