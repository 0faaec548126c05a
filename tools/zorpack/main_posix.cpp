// The native zorpack: the same commands as zorpack.exe. Arguments are the
// user's bytes, taken as UTF-8 without any locale conversion.
#include <unistd.h>

#include <string>
#include <vector>

#include "pack_platform.h"
#include "zorpack_command.h"

int main(int argc, char** argv) {
  zor::pack::InstallInterruptCleanup();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return zor::pack::RunZorpack(arguments, STDOUT_FILENO, STDERR_FILENO);
}
