#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tools/pack_files.h"

namespace zor::test {

const char* const kNoFifosHere = nullptr;
const char* const kNoWritesToOpenInputs = nullptr;

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
