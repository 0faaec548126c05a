#include "zorpack_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fuzz_failure.h"
#include "memfd_file.h"
#include "zorpack_command.h"

namespace zor::fuzz {

ScratchFolder::ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string parent = tmp != nullptr && *tmp != '\0'  ? tmp
                       : access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                       : "/tmp";
  folder_ = parent + "/zor-fuzz-XXXXXX";
  if (mkdtemp(&folder_[0]) == nullptr) std::abort();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = folder_ + "/" + name;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool written = fd >= 0 && write(fd, data, size) == static_cast<ssize_t>(size);
  if (fd < 0 || close(fd) != 0 || !written) std::abort();
  return path;
}

CommandResult RunZorpackChecked(const std::vector<std::string>& arguments) {
  static MemfdFile output;
  static MemfdFile errors;
  output.Fill(nullptr, 0);
  errors.Fill(nullptr, 0);
  CommandResult result = {pack::RunZorpack(arguments, output.Descriptor(), errors.Descriptor()),
                          output.Contents(), errors.Contents()};
  const std::string& err = result.errors;
  if (result.status != 0 && result.status != 1 && result.status != 2) {
    Failure("exit status other than 0, 1 or 2");
  }
  if (result.status == 0 ? !err.empty()
                         : err.rfind("zorpack: ", 0) != 0 || err.find('\n') != err.size() - 1) {
    Failure("stderr is not empty on success or not one zorpack: line on failure");
  }
  return result;
}

}  // namespace zor::fuzz
