// The launcher's argument quoting on arbitrary argument vectors (any UTF-16
// units but 0: unpaired surrogates, quotes, backslashes, every kind of white
// space, empty and long arguments), each quoted and put behind one space as
// the launcher builds the tool's command line, then split again by the
// independent splitter: the vector must come back unchanged.
#include "argument_bytes.h"
#include "fuzz_failure.h"
#include "windows_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::u16string> arguments = zor::fuzz::ArgumentsOf(data, size);
  std::u16string line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += u' ';
    line += zor::fuzz::Quoted(arguments[i]);
  }
  if (zor::fuzz::SplitArguments(line) != arguments) {
    zor::fuzz::Failure("the quoted arguments split into another vector");
  }
  return 0;
}
