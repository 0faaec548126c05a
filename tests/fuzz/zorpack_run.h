// What the targets that run a zorpack command end to end share: a folder
// for the files they hand it by name, and the command run in this process
// with its output and errors captured and held to the rule for both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor::fuzz {

// A folder of its own (in memory when the system has /dev/shm); it goes at
// exit with what was written into it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Writes `name` in the folder afresh and gives its path; aborts when that
  // fails, as a broken test bench must not pass for a quiet product.
  std::string Write(const std::string& name, const uint8_t* data, size_t size);

 private:
  std::string folder_;
};

struct CommandResult {
  int status;
  std::string output;
  std::string errors;
};

// zorpack with `arguments` (the program name left out), its standard output
// and error in memory files. Fails unless the status is 0, 1 or 2, and the
// error stream is empty on success and one line starting with "zorpack: "
// otherwise.
CommandResult RunZorpackChecked(const std::vector<std::string>& arguments);

}  // namespace zor::fuzz
