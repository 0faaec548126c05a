#include "tools/pack_files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "payload/payload_trailer.h"

namespace zor::test {

namespace fs = std::filesystem;

#ifdef _WIN32
const char kPathSeparator[] = "\\";
#else
const char kPathSeparator[] = "/";
#endif

namespace {

fs::path Native(const std::string& utf8) {
  return fs::u8path(utf8);
}

uint32_t ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<uint32_t>(getpid());
#endif
}

}  // namespace

std::string LauncherExePath() {
  return std::string(ZOR_PACK_TEST_BIN_DIR) + kPathSeparator + "launcher.exe";
}

std::string SampleToolExePath() {
  return std::string(ZOR_PACK_TEST_BIN_DIR) + kPathSeparator + "sample_tool.exe";
}

std::string ZorpackProgramPath() {
  return ZOR_PACK_TEST_ZORPACK;
}

PackDir::PackDir() {
  static int counter = 0;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                     : std::string("pack");
  path_ = std::string(ZOR_PACK_TEST_WORK_DIR) + kPathSeparator + name + "." +
          std::to_string(ProcessId()) + "." + std::to_string(++counter);
  std::error_code ignored;
  fs::remove_all(Native(path_), ignored);
  MakeFolder(path_);
}

PackDir::~PackDir() {
  std::error_code ignored;
  fs::remove_all(Native(path_), ignored);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(Native(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(Native(path), ignored);
}

void MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(Native(path), error);
  if (error) ADD_FAILURE() << "cannot create " << path << ": " << error.message();
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(Native(folder))) {
    names.push_back(entry.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus) {
  Bytes image = MinimalPeImage(pe32Plus);
  Bytes tail = PatternBytes(extraBytes, seed);
  image.insert(image.end(), tail.begin(), tail.end());
  return image;
}

Bytes LauncherImageWithTail(size_t extraBytes, uint32_t seed) {
  Bytes image = ReadBytes(LauncherExePath());
  Bytes tail = PatternBytes(extraBytes, seed);
  image.insert(image.end(), tail.begin(), tail.end());
  return image;
}

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) return {};
  return Bytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

Bytes WithStore16(Bytes bytes, size_t at, uint16_t value) {
  Store16(bytes, at, value);
  return bytes;
}

Bytes WithStore32(Bytes bytes, size_t at, uint32_t value) {
  Store32(bytes, at, value);
  return bytes;
}

void WriteSparseFile(const std::string& path, const Bytes& head, uint64_t size) {
  WriteBytes(path, head);
  std::error_code error;
  fs::resize_file(Native(path), size, error);
  ASSERT_FALSE(error) << error.message();
}

bool MakeFifo(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return mkfifo(path.c_str(), 0600) == 0;
#endif
}

void PlantLinkOrFile(const std::string& path, const std::string& target) {
#ifdef _WIN32
  (void)target;
  WriteBytes(path, Bytes(1, 'p'));
#else
  std::error_code error;
  fs::create_symlink(Native(target), Native(path), error);
  EXPECT_FALSE(error) << error.message();
#endif
}

void WriteSparseFileWithTrailer(const std::string& path, const Bytes& head, uint64_t trailerAt,
                                uint64_t payloadSize) {
  WriteSparseFile(path, head, trailerAt);
  unsigned char trailer[kTrailerSize];
  EncodeTrailer(PayloadTrailer{payloadSize, Sha256Digest{}}, trailer);
  std::fstream out(Native(path), std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(trailerAt));
  out.write(reinterpret_cast<const char*>(trailer), sizeof trailer);
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

size_t PeakMemoryBytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
#else
  struct rusage usage = {};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<size_t>(usage.ru_maxrss) * 1024;  // reported in KiB
#endif
}

}  // namespace zor::test
