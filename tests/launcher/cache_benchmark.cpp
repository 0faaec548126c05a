// Times the launcher's cache work on a large payload against a plain loop
// that only hashes the same bytes with the platform's SHA-256 in 128 KiB
// chunks, and watches the launcher's memory. Not a test; run it by hand:
//   build/wine-run.sh build/bin/cache_benchmark.exe [payload MiB, default 256]
//
// Each launcher run is timed from its start to its exit (the sample tool
// exits at once). A launcher with a tiny payload gives the fixed cost of
// starting the launcher and the tool, which is taken off to estimate the
// cache stage alone. The big files and the cache folders are removed at the
// end.
#include <windows.h>

#include <bcrypt.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/payload_trailer.h"
#include "payload/range_digest.h"
#include "support/cache_folder.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "test_paths.h"

namespace {

using zor::test::Bytes;

constexpr size_t kDefaultPayloadMiB = 256;
constexpr int kRepeats = 3;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// Incremental SHA-256 over the platform's provider.
class Hasher {
 public:
  Hasher() {
    BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
  }
  ~Hasher() {
    BCryptDestroyHash(hash_);
    BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  void Add(const void* bytes, ULONG count) {
    BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(bytes)), count, 0);
  }
  zor::Sha256Digest Finish() {
    zor::Sha256Digest digest = {};
    BCryptFinishHash(hash_, digest.bytes, sizeof digest.bytes, 0);
    return digest;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

struct BigLauncher {
  std::wstring path;
  uint64_t payloadOffset = 0;
  uint64_t payloadSize = 0;
  zor::Sha256Digest digest = {};
};

bool WriteAll(HANDLE file, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

// Launcher image, then the sample tool followed by `extraBytes` pattern
// bytes of a fresh seed (so that every payload has a digest folder of its
// own), then the trailer; written in pieces so that the payload never has to
// fit in memory.
bool WriteBigLauncher(const std::wstring& path, size_t extraBytes, BigLauncher* out) {
  Bytes image = zor::test::LauncherImage();
  Bytes tool = zor::test::SampleToolImage();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || image.empty() || tool.empty()) return false;
  Hasher hasher;
  bool ok = WriteAll(file, image.data(), DWORD(image.size())) &&
            WriteAll(file, tool.data(), DWORD(tool.size()));
  hasher.Add(tool.data(), ULONG(tool.size()));
  size_t remaining = extraBytes;
  uint32_t seed = zor::test::FreshTag();
  while (ok && remaining > 0) {
    size_t piece = std::min<size_t>(remaining, 4 << 20);
    Bytes pattern = zor::test::PatternBytes(piece, seed++);
    hasher.Add(pattern.data(), ULONG(piece));
    ok = WriteAll(file, pattern.data(), DWORD(piece));
    remaining -= piece;
  }
  out->path = path;
  out->payloadOffset = image.size();
  out->payloadSize = tool.size() + extraBytes;
  out->digest = hasher.Finish();
  zor::PayloadTrailer trailer = {out->payloadSize, out->digest};
  unsigned char encoded[zor::kTrailerSize];
  zor::EncodeTrailer(trailer, encoded);
  ok = ok && WriteAll(file, encoded, sizeof encoded);
  CloseHandle(file);
  return ok;
}

// The plain loop: read 128 KiB, hash it, until the range is done.
double TimePlainHash(const BigLauncher& launcher, bool* matches) {
  HANDLE file = CreateFileW(launcher.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<unsigned char> buffer(zor::kTransferChunkSize);
  LARGE_INTEGER start = Now();
  LARGE_INTEGER offset;
  offset.QuadPart = int64_t(launcher.payloadOffset);
  SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
  Hasher hasher;
  uint64_t remaining = launcher.payloadSize;
  while (remaining > 0) {
    DWORD chunk = DWORD(std::min<uint64_t>(remaining, buffer.size()));
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), chunk, &read, nullptr) || read == 0) break;
    hasher.Add(buffer.data(), read);
    remaining -= read;
  }
  zor::Sha256Digest digest = hasher.Finish();
  LARGE_INTEGER end = Now();
  CloseHandle(file);
  *matches = remaining == 0 && zor::DigestsEqual(digest, launcher.digest);
  return Seconds(start, end);
}

struct RunResult {
  bool ok = false;
  DWORD exitCode = 0;
  double seconds = 0;
  SIZE_T peakWorkingSet = 0;
  SIZE_T peakPrivate = 0;
};

void SampleMemory(HANDLE process, RunResult* result) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (K32GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    result->peakWorkingSet = std::max(result->peakWorkingSet, counters.PeakWorkingSetSize);
    result->peakPrivate = std::max(result->peakPrivate, counters.PeakPagefileUsage);
  }
}

RunResult RunOnce(const std::wstring& path) {
  RunResult result;
  std::wstring line = L"\"" + path + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  LARGE_INTEGER start = Now();
  if (!CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return result;
  }
  CloseHandle(info.hThread);
  DWORD waited = 0;
  while (WaitForSingleObject(info.hProcess, 5) == WAIT_TIMEOUT) {
    SampleMemory(info.hProcess, &result);
    if ((waited += 5) > 600000) {
      TerminateProcess(info.hProcess, 1);
      WaitForSingleObject(info.hProcess, INFINITE);
      break;
    }
  }
  LARGE_INTEGER end = Now();
  SampleMemory(info.hProcess, &result);
  GetExitCodeProcess(info.hProcess, &result.exitCode);
  CloseHandle(info.hProcess);
  result.seconds = Seconds(start, end);
  result.ok = result.exitCode == 0;
  return result;
}

// Cold: the copy is deleted before each run, so each run extracts it.
// Warm: the copy stays, so each run only verifies it.
struct Series {
  std::vector<RunResult> cold;
  std::vector<RunResult> warm;
};

Series Measure(const std::wstring& launcherPath, const zor::Sha256Digest& digest) {
  Series series;
  const std::wstring copy = zor::test::CacheFolderOf(digest) + L"\\Updater.exe";
  for (int i = 0; i < kRepeats; ++i) {
    DeleteFileW(copy.c_str());
    series.cold.push_back(RunOnce(launcherPath));
  }
  for (int i = 0; i < kRepeats; ++i) series.warm.push_back(RunOnce(launcherPath));
  return series;
}

double Best(const std::vector<RunResult>& runs) {
  double best = 1e9;
  for (const RunResult& run : runs) best = std::min(best, run.seconds);
  return best;
}

SIZE_T PeakOf(const std::vector<RunResult>& runs, bool workingSet) {
  SIZE_T peak = 0;
  for (const RunResult& run : runs) {
    peak = std::max(peak, workingSet ? run.peakWorkingSet : run.peakPrivate);
  }
  return peak;
}

bool AllOk(const std::vector<RunResult>& runs) {
  for (const RunResult& run : runs) {
    if (!run.ok) return false;
  }
  return true;
}

void PrintSeries(const char* name, const std::vector<RunResult>& runs) {
  std::printf("  %-22s", name);
  for (const RunResult& run : runs) std::printf(" %7.3f s", run.seconds);
  std::printf("   peak working set %6.1f MiB, peak private %6.1f MiB%s\n",
              PeakOf(runs, true) / 1048576.0, PeakOf(runs, false) / 1048576.0,
              AllOk(runs) ? "" : "   (A RUN FAILED)");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  size_t payloadMiB = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : kDefaultPayloadMiB;
  SetEnvironmentVariableW(L"ZOR_SAMPLE_EXIT_CODE", nullptr);
  SetEnvironmentVariableW(L"ZOR_SAMPLE_WAIT_FOR", nullptr);
  SetEnvironmentVariableW(L"ZOR_SAMPLE_REPORT", nullptr);

  const std::wstring folder = std::wstring(zor::test::kWorkDir) + L"\\cache_benchmark." +
                              std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring bigFolder = folder + L"\\big";
  const std::wstring smallFolder = folder + L"\\small";
  CreateDirectoryW(bigFolder.c_str(), nullptr);
  CreateDirectoryW(smallFolder.c_str(), nullptr);

  BigLauncher big;
  BigLauncher small;
  std::printf("writing a launcher with a %zu MiB payload...\n", payloadMiB);
  bool written = WriteBigLauncher(bigFolder + L"\\Updater.exe", payloadMiB << 20, &big) &&
                 WriteBigLauncher(smallFolder + L"\\Updater.exe", 64, &small);
  int status = 1;
  if (written) {
    bool matches = false;
    std::vector<double> hashTimes;
    for (int i = 0; i < kRepeats; ++i) hashTimes.push_back(TimePlainHash(big, &matches));
    double hash = *std::min_element(hashTimes.begin(), hashTimes.end());

    Series fixed = Measure(small.path, small.digest);
    Series cache = Measure(big.path, big.digest);

    double fixedCold = Best(fixed.cold);
    double fixedWarm = Best(fixed.warm);
    double cold = Best(cache.cold) - fixedCold;
    double warm = Best(cache.warm) - fixedWarm;
    double mib = double(big.payloadSize) / 1048576.0;
    std::printf("payload %.1f MiB; times of %d runs each:\n", mib, kRepeats);
    std::printf("  %-22s", "plain hash loop");
    for (double t : hashTimes) std::printf(" %7.3f s", t);
    std::printf("   %.0f MiB/s%s\n", mib / hash, matches ? "" : "   (DIGEST MISMATCH)");
    PrintSeries("tiny payload, cold", fixed.cold);
    PrintSeries("tiny payload, warm", fixed.warm);
    PrintSeries("big payload, cold", cache.cold);
    PrintSeries("big payload, warm", cache.warm);
    std::printf("cache stage alone (best big run - best tiny run):\n");
    std::printf("  cold (extract + verify digest): %.3f s = %.2f x the plain hash loop\n", cold,
                cold / hash);
    std::printf("  warm (verify the copy):         %.3f s = %.2f x the plain hash loop\n", warm,
                warm / hash);
    std::printf("whole runs against the plain hash loop: cold %.2f x, warm %.2f x\n",
                Best(cache.cold) / hash, Best(cache.warm) / hash);
    std::printf(
        "memory growth with the payload: working set %+.1f MiB, private %+.1f MiB\n",
        (double(PeakOf(cache.cold, true)) - double(PeakOf(fixed.cold, true))) / 1048576.0,
        (double(PeakOf(cache.cold, false)) - double(PeakOf(fixed.cold, false))) / 1048576.0);
    status =
        matches && AllOk(fixed.cold) && AllOk(fixed.warm) && AllOk(cache.cold) && AllOk(cache.warm)
            ? 0
            : 1;
  } else {
    std::printf("could not write the launcher files\n");
  }

  zor::test::RemoveCacheFolder(big.digest);
  zor::test::RemoveCacheFolder(small.digest);
  DeleteFileW(big.path.c_str());
  DeleteFileW(small.path.c_str());
  RemoveDirectoryW(bigFolder.c_str());
  RemoveDirectoryW(smallFolder.c_str());
  RemoveDirectoryW(folder.c_str());
  return status;
}
