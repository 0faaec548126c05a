// `zorpack inspect --json` end to end on arbitrary files: the exit status is
// 0, 1 or 2; an error is one line on stderr starting with "zorpack: "; a
// report is one JSON object, and there is one whenever the status is not 2
// (with 2 there may be one: a payload in front of a foreign image).
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_failure.h"
#include "support/json_check.h"
#include "memfd_file.h"
#include "zorpack_command.h"

namespace {

using zor::fuzz::Failure;

// The file under inspection, in a folder of its own (in memory when the
// system has /dev/shm) that goes at exit.
struct Scratch {
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string parent = tmp != nullptr && *tmp != '\0'  ? tmp
                         : access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                         : "/tmp";
    folder = parent + "/zor-inspect-XXXXXX";
    if (mkdtemp(&folder[0]) == nullptr) std::abort();
    path = folder + "/input.exe";
  }
  ~Scratch() {
    unlink(path.c_str());
    rmdir(folder.c_str());
  }
  void Write(const uint8_t* data, size_t size) const {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = fd >= 0 && write(fd, data, size) == static_cast<ssize_t>(size);
    if (fd < 0 || close(fd) != 0 || !written) std::abort();
  }
  std::string folder;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  static zor::fuzz::MemfdFile output;
  static zor::fuzz::MemfdFile errors;
  scratch.Write(data, size);
  output.Fill(nullptr, 0);
  errors.Fill(nullptr, 0);
  int status = zor::pack::RunZorpack({"inspect", "--json", scratch.path}, output.Descriptor(),
                                     errors.Descriptor());
  std::string json = output.Contents();
  std::string err = errors.Contents();
  if (status != 0 && status != 1 && status != 2) Failure("exit status other than 0, 1 or 2");
  if (status == 0 ? !err.empty()
                  : err.rfind("zorpack: ", 0) != 0 || err.find('\n') != err.size() - 1) {
    Failure("stderr is not empty on success or not one zorpack: line on failure");
  }
  if (json.empty() ? status != 2 : !zor::test::ParseJsonObject(json, nullptr)) {
    Failure("no JSON object where a report is due");
  }
  return 0;
}
