// zorpack: packs a payload behind the launcher image, and inspects or
// unpacks launcher files. See zorpack_command.cpp for the usage.
#include <windows.h>

#include <string>
#include <vector>

#include "zorpack_command.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return zor::pack::RunZorpack(arguments, GetStdHandle(STD_OUTPUT_HANDLE),
                               GetStdHandle(STD_ERROR_HANDLE));
}
