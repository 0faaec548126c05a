// `zorpack inspect --json` end to end on arbitrary files: the exit status is
// 0, 1 or 2; an error is one line on stderr starting with "zorpack: "; a
// report is one JSON object, and there is one whenever the status is not 2
// (with 2 there may be one: a payload in front of a foreign image).
#include "fuzz_failure.h"
#include "support/json_check.h"
#include "zorpack_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zor::fuzz::ScratchFolder scratch;
  std::string path = scratch.Write("input.exe", data, size);
  zor::fuzz::CommandResult result = zor::fuzz::RunZorpackChecked({"inspect", "--json", path});
  if (result.output.empty() ? result.status != 2
                            : !zor::test::ParseJsonObject(result.output, nullptr)) {
    zor::fuzz::Failure("no JSON object where a report is due");
  }
  return 0;
}
