#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tools/pack_files.h"

namespace zor::test {

const char* const kNoFifosHere = nullptr;
const char* const kNoWritesToOpenInputs = nullptr;

namespace {

volatile unsigned char* quietMapping = nullptr;
size_t quietSize = 0;

}  // namespace

bool StartQuietRewrite(const std::string& path, size_t size) {
  int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (file < 0) return false;
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
  close(file);
  if (mapping == MAP_FAILED) return false;
  quietMapping = static_cast<volatile unsigned char*>(mapping);
  quietSize = size;
  quietMapping[0] = quietMapping[0];
  return true;
}

bool QuietRewrite(size_t offset) {
  if (quietMapping == nullptr || offset >= quietSize) return false;
  quietMapping[offset] = quietMapping[offset] ^ 0x55;
  return true;
}

void EndQuietRewrite() {
  if (quietMapping != nullptr) munmap(const_cast<unsigned char*>(quietMapping), quietSize);
  quietMapping = nullptr;
}

bool MakeFifo(const std::string& path) {
  return mkfifo(path.c_str(), 0600) == 0;
}

bool MakeLink(const std::string& path, const std::string& target) {
  return symlink(target.c_str(), path.c_str()) == 0;
}

std::string NameNoFolderTakes() {
  return std::string(NAME_MAX + 1, 'o');
}

bool SetDriveCFolder(const std::string&) {
  return false;
}

void PlantLinkOrFile(const std::string& path, const std::string& target) {
  std::error_code error;
  std::filesystem::create_symlink(std::filesystem::u8path(target), std::filesystem::u8path(path),
                                  error);
  EXPECT_FALSE(error) << error.message();
}

}  // namespace zor::test
