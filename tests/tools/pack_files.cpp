#include "tools/pack_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "payload/payload_trailer.h"

namespace zor::test {

namespace fs = std::filesystem;

const char kPathSeparator[] = {static_cast<char>(fs::path::preferred_separator), '\0'};

namespace {

fs::path Native(const std::string& utf8) {
  return fs::u8path(utf8);
}

}  // namespace

namespace {

// The running test's own copies of the built programs it packs: a packer
// that writes to an input damages that test's copy, never the build's file
// that every later test reads. Made on first use in each test and removed
// with the next test's, or when the program ends.
class InputCopies {
 public:
  ~InputCopies() { Drop(); }

  std::string PathOf(const std::string& name) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (folder_.empty() || test != test_) {
      Drop();
      folder_ = CreateTestFolder();
      test_ = test;
    }
    const fs::path copy = folder_ / name;
    std::error_code error;
    if (!fs::exists(copy, error)) {
      fs::copy_file(Native(ZOR_PACK_TEST_BIN_DIR) / name, copy, error);
      if (error) ADD_FAILURE() << "cannot copy " << name << ": " << error.message();
    }
    return copy.u8string();
  }

 private:
  void Drop() {
    if (!folder_.empty()) RemoveTestFolder(folder_);
    folder_.clear();
  }

  fs::path folder_;
  const ::testing::TestInfo* test_ = nullptr;
};

InputCopies inputCopies;

}  // namespace

std::string LauncherExePath() {
  return inputCopies.PathOf("launcher.exe");
}

std::string SampleToolExePath() {
  return inputCopies.PathOf("sample_tool.exe");
}

std::string ZorpackProgramPath() {
  return ZOR_PACK_TEST_ZORPACK;
}

Bytes ReadBytes(const std::string& path) {
  return ReadFileBytes(Native(path));
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  WriteFileBytes(Native(path), bytes);
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

void WriteSparseFile(const std::string& path, const Bytes& head, uint64_t size) {
  WriteBytes(path, head);
  std::error_code error;
  fs::resize_file(Native(path), size, error);
  ASSERT_FALSE(error) << error.message();
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

}  // namespace zor::test
