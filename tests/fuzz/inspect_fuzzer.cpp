// `zorpack inspect` end to end on arbitrary files, with and without --json:
// the exit status is 0, 1 or 2; an error is one line on stderr starting
// with "zorpack: "; every report --json prints is one JSON object; and the
// two modes agree on the status.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_failure.h"
#include "json_check.h"
#include "memory_file.h"
#include "zorpack_command.h"

namespace {

using zor::fuzz::Failure;

// The file under inspection, in a folder of its own that goes at exit.
struct Scratch {
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    folder = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zor-inspect-XXXXXX";
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

int Inspect(const std::vector<std::string>& arguments, std::string* out) {
  zor::fuzz::MemoryFile output;
  zor::fuzz::MemoryFile errors;
  int status = zor::pack::RunZorpack(arguments, output.Descriptor(), errors.Descriptor());
  *out = output.Contents();
  std::string err = errors.Contents();
  if (status != 0 && status != 1 && status != 2) Failure("exit status other than 0, 1 or 2");
  if (status == 0 ? !err.empty()
                  : err.rfind("zorpack: ", 0) != 0 || err.find('\n') != err.size() - 1) {
    Failure("stderr is not empty on success or not one zorpack: line on failure");
  }
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  scratch.Write(data, size);
  std::string json;
  std::string text;
  int jsonStatus = Inspect({"inspect", "--json", scratch.path}, &json);
  int textStatus = Inspect({"inspect", scratch.path}, &text);
  if (jsonStatus != textStatus) Failure("--json changes the exit status");
  // A report is printed whenever a payload was found, even when the image
  // in front is not the launcher (exit 2).
  if (!json.empty() && !zor::fuzz::IsJsonObject(json)) Failure("--json printed no JSON object");
  if (json.empty() != text.empty() || (jsonStatus != 2 && json.empty())) {
    Failure("a report is missing");
  }
  return 0;
}
