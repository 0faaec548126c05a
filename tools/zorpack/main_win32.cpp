// zorpack.exe: packs a payload behind the launcher image, and inspects or
// unpacks launcher files. See zorpack_command.cpp for the usage.
#include <windows.h>

#include <string>
#include <vector>

#include "pack_platform.h"
#include "zorpack_command.h"

int wmain(int argc, wchar_t** argv) {
  zor::pack::InstallInterruptCleanup();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(zor::pack::Utf8FromNative(argv[i]));
  return zor::pack::RunZorpack(arguments, GetStdHandle(STD_OUTPUT_HANDLE),
                               GetStdHandle(STD_ERROR_HANDLE));
}
