// Measures what the launcher costs, inside one Wine (or Windows) session,
// and prints one tab-separated line per measurement for bench/report.py:
//   time  <series> <payload bytes> <subject> <seconds>
//   memory <payload bytes> <peak working set bytes>
// Series: "warm" (a valid cached copy exists) and "cold" (the digest folder
// was removed, untimed, before each run) of the launcher against the ideal
// launcher; "overhead" of the launcher (warm, smallest payload) against the
// stand-in. Subjects run as alternating pairs, so that a drift of the
// machine's speed falls on both.
//
//   bench_driver.exe LAUNCHER_IMAGE TOOL IDEAL STAND_IN WORK_FOLDER PAIRS SIZE...
// SIZE is a payload size in bytes (at least the tool's size): the tool
// followed by pattern bytes, so that the payload still runs and exits 0.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_names.h"
#include "common/hex_lower.h"
#include "payload/payload_cache.h"
#include "pack_platform.h"
#include "packer.h"
#include "runtime/unique_handle.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kRunLimitMs = 600000;
constexpr DWORD kPollMs = 5;
constexpr int kOverheadPairsFactor = 3;
constexpr wchar_t kLauncherName[] = L"Updater.exe";
constexpr wchar_t kSampleReport[] = L"ZOR_SAMPLE_REPORT";
constexpr wchar_t kSampleWaitFor[] = L"ZOR_SAMPLE_WAIT_FOR";

using Bytes = std::vector<unsigned char>;

struct Programs {
  std::wstring ideal;
  std::wstring standIn;
};

struct PackedLauncher {
  std::wstring path;
  zor::PayloadLocation payload = {};
  std::wstring cacheFolder;
  std::wstring cachedCopy;
  std::wstring idealCopy;
};

double Now() {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

Bytes ReadWhole(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring StandardWide(const zor::WideString& text) {
  return std::wstring(text.Data(), text.Length());
}

void SetVariable(const wchar_t* name, const std::wstring& value) {
  SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

// Packs the launcher image with a payload of `payloadSize` bytes (the tool
// followed by pattern bytes) the way a release is packed: with zorpack's
// library.
bool WritePackedLauncher(const std::wstring& image, const Bytes& tool, uint64_t payloadSize,
                         const std::wstring& path, PackedLauncher* packed) {
  const std::wstring payloadPath = path + L".payload";
  {
    std::ofstream out(fs::path(payloadPath), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(tool.data()), std::streamsize(tool.size()));
    std::vector<char> pattern(1 << 20);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 2654435761u) >> 13);
    for (uint64_t left = payloadSize - tool.size(); left > 0;) {
      size_t piece = size_t(std::min<uint64_t>(left, pattern.size()));
      out.write(pattern.data(), std::streamsize(piece));
      left -= piece;
    }
    if (!out) return false;
  }
  zor::pack::PackedFile file;
  std::string error;
  bool packedOk = zor::pack::PackLauncherFile(zor::pack::Utf8FromNative(image),
                                              zor::pack::Utf8FromNative(payloadPath),
                                              zor::pack::Utf8FromNative(path), &file, &error);
  DeleteFileW(payloadPath.c_str());
  if (!packedOk) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return false;
  }
  packed->path = path;
  packed->payload = file.payload;

  zor::WideString folder;
  zor::WideString copy;
  zor::WideString launcherPath(path.c_str());
  if (!zor::PrepareCacheDirectory(launcherPath, packed->payload.digest, &folder, &copy))
    return false;
  packed->cacheFolder = StandardWide(folder);
  packed->cachedCopy = StandardWide(copy);
  packed->idealCopy = fs::path(path).parent_path().wstring() + L"\\ideal\\" + kLauncherName;
  fs::create_directories(fs::path(packed->idealCopy).parent_path());
  return true;
}

struct Run {
  bool ok = false;
  double seconds = 0;
  SIZE_T peakWorkingSet = 0;
};

// Starts `exe`, waits for it and times it from just before the start to
// just after its end. With `releaseFile`, the tool has been told to report
// and then wait for that file: the peak working set of `exe` is read while
// the tool waits (an ended process's counters read as zero under Wine).
Run TimeProcess(const std::wstring& exe, const std::wstring& reportFile = L"",
                const std::wstring& releaseFile = L"") {
  Run run;
  std::wstring line = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  double start = Now();
  if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return run;
  }
  zor::UniqueHandle process(info.hProcess);
  zor::UniqueHandle thread(info.hThread);
  if (!releaseFile.empty()) {
    for (DWORD waited = 0; waited < kRunLimitMs && !fs::exists(reportFile); waited += kPollMs) {
      if (WaitForSingleObject(process.Get(), kPollMs) == WAIT_OBJECT_0) break;
    }
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (K32GetProcessMemoryInfo(process.Get(), &counters, sizeof counters)) {
      run.peakWorkingSet = counters.PeakWorkingSetSize;
    }
    std::ofstream(fs::path(releaseFile)).put('\n');
  }
  DWORD waitResult = WaitForSingleObject(process.Get(), kRunLimitMs);
  run.seconds = Now() - start;
  DWORD exitCode = 1;
  if (waitResult != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), INFINITE);
  }
  run.ok =
      waitResult == WAIT_OBJECT_0 && GetExitCodeProcess(process.Get(), &exitCode) && exitCode == 0;
  return run;
}

void RemoveCacheFolder(const PackedLauncher& packed) {
  std::error_code ignored;
  fs::remove_all(packed.cacheFolder, ignored);
}

void SetIdealOrders(const PackedLauncher& packed, const wchar_t* mode) {
  SetVariable(zor::bench::kModeVariable, mode);
  SetVariable(zor::bench::kFileVariable, packed.idealCopy);
  SetVariable(zor::bench::kSourceVariable, packed.path);
  SetVariable(zor::bench::kOffsetVariable, std::to_wstring(packed.payload.offset));
  SetVariable(zor::bench::kSizeVariable, std::to_wstring(packed.payload.size));
  zor::WideString digest = zor::HexLower(packed.payload.digest.bytes, zor::kSha256DigestSize);
  SetVariable(zor::bench::kDigestVariable, StandardWide(digest));
}

bool gAllOk = true;

void Report(const char* series, const PackedLauncher& packed, const char* subject, const Run& run) {
  if (!run.ok) {
    std::fprintf(stderr, "bench: a %s run of the %s failed\n", series, subject);
    gAllOk = false;
    return;
  }
  std::printf("time\t%s\t%llu\t%s\t%.6f\n", series,
              static_cast<unsigned long long>(packed.payload.size), subject, run.seconds);
  std::fflush(stdout);
}

// Each pair runs both subjects, in turns of order.
template <typename First, typename Second>
void RunPairs(int pairs, First first, Second second) {
  for (int i = 0; i < pairs; ++i) {
    if (i % 2 == 0) {
      first();
      second();
    } else {
      second();
      first();
    }
  }
}

void MeasureWarm(const PackedLauncher& packed, const Programs& programs, int pairs) {
  // Untimed: a valid cached copy for the launcher, and one for the ideal.
  TimeProcess(packed.path);
  SetIdealOrders(packed, zor::bench::kColdMode);
  TimeProcess(programs.ideal);
  SetIdealOrders(packed, zor::bench::kWarmMode);
  RunPairs(
      pairs, [&] { Report("warm", packed, "launcher", TimeProcess(packed.path)); },
      [&] { Report("warm", packed, "ideal", TimeProcess(programs.ideal)); });
}

void MeasureCold(const PackedLauncher& packed, const Programs& programs, int pairs) {
  SetIdealOrders(packed, zor::bench::kColdMode);
  RunPairs(
      pairs,
      [&] {
        RemoveCacheFolder(packed);
        Report("cold", packed, "launcher", TimeProcess(packed.path));
      },
      [&] {
        DeleteFileW(packed.idealCopy.c_str());
        Report("cold", packed, "ideal", TimeProcess(programs.ideal));
      });
}

void MeasureOverhead(const PackedLauncher& packed, const Programs& programs, int pairs) {
  TimeProcess(packed.path);
  SetVariable(zor::bench::kFileVariable, packed.cachedCopy);
  SetVariable(zor::bench::kFolderVariable, packed.cacheFolder);
  RunPairs(
      pairs, [&] { Report("overhead", packed, "launcher", TimeProcess(packed.path)); },
      [&] { Report("overhead", packed, "stand-in", TimeProcess(programs.standIn)); });
}

// The launcher's peak working set over a cold and a warm run, read while
// its tool is still running.
void MeasureMemory(const PackedLauncher& packed, const std::wstring& work) {
  const std::wstring report = work + L"\\memory.report";
  const std::wstring release = work + L"\\memory.release";
  SetVariable(kSampleReport, report);
  SetVariable(kSampleWaitFor, release);
  SIZE_T peak = 0;
  for (bool cold : {true, false}) {
    if (cold) RemoveCacheFolder(packed);
    DeleteFileW(report.c_str());
    DeleteFileW(release.c_str());
    Run run = TimeProcess(packed.path, report, release);
    if (!run.ok || run.peakWorkingSet == 0) {
      std::fprintf(stderr, "bench: the memory run failed\n");
      gAllOk = false;
    }
    peak = std::max(peak, run.peakWorkingSet);
  }
  SetVariable(kSampleReport, L"");
  SetVariable(kSampleWaitFor, L"");
  DeleteFileW(report.c_str());
  DeleteFileW(release.c_str());
  std::printf("memory\t%llu\t%lu\n", static_cast<unsigned long long>(packed.payload.size),
              static_cast<unsigned long>(peak));
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 8) {
    std::fprintf(stderr,
                 "usage: bench_driver LAUNCHER TOOL IDEAL STAND_IN WORK_FOLDER PAIRS SIZE...\n");
    return 2;
  }
  const std::wstring image = argv[1];
  const Bytes tool = ReadWhole(argv[2]);
  const Programs programs = {argv[3], argv[4]};
  const std::wstring work = argv[5];
  const int pairs = std::max(1, _wtoi(argv[6]));
  for (const wchar_t* name : {kSampleReport, kSampleWaitFor, L"ZOR_SAMPLE_EXIT_CODE"}) {
    SetVariable(name, L"");
  }

  std::vector<PackedLauncher> launchers;
  for (int i = 7; i < argc; ++i) {
    uint64_t size = std::wcstoull(argv[i], nullptr, 10);
    std::wstring folder = work + L"\\" + std::to_wstring(size);
    fs::create_directories(folder);
    PackedLauncher packed;
    if (tool.empty() || size < tool.size() ||
        !WritePackedLauncher(image, tool, size, folder + L"\\" + kLauncherName, &packed)) {
      std::fprintf(stderr, "bench: cannot write the launcher with a %llu-byte payload\n",
                   static_cast<unsigned long long>(size));
      return 1;
    }
    launchers.push_back(packed);
  }

  for (const PackedLauncher& packed : launchers) {
    MeasureWarm(packed, programs, pairs);
    MeasureCold(packed, programs, pairs);
  }
  // The overhead is a difference of some 10 ms in 150: it takes more pairs
  // than the payload series to stand out of the noise.
  MeasureOverhead(launchers.front(), programs, kOverheadPairsFactor * pairs);
  MeasureMemory(launchers.front(), work);
  if (launchers.size() > 1) MeasureMemory(launchers.back(), work);

  for (const PackedLauncher& packed : launchers) RemoveCacheFolder(packed);
  return gAllOk ? 0 : 1;
}
