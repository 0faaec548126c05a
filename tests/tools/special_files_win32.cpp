// Windows keeps no FIFOs in folders, and a test program may not make links
// without a privilege: a plain file takes a name just the same.
#include <windows.h>

#include "tools/pack_files.h"

namespace zor::test {

const char* const kNoFifosHere = "Windows keeps no FIFOs in folders";
const char* const kNoWritesToOpenInputs =
    "Windows lets nobody write a file that the packer holds open for reading";

bool StartQuietRewrite(const std::string&, size_t) {
  return false;
}

bool QuietRewrite(size_t) {
  return false;
}

void EndQuietRewrite() {}

bool MakeFifo(const std::string&) {
  return false;
}

bool MakeLink(const std::string&, const std::string&) {
  return false;
}

std::string NameNoFolderTakes() {
  return "out<.exe";
}

bool SetDriveCFolder(const std::string& folder) {
  // The variable that keeps a drive's current folder.
  return SetEnvironmentVariableA("=C:", folder.c_str()) != 0;
}

void PlantLinkOrFile(const std::string& path, const std::string&) {
  WriteBytes(path, Bytes(1, 'p'));
}

}  // namespace zor::test
