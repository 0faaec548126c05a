// The zorpack command line: parses the arguments, runs one command and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "runtime/file.h"

namespace zor::pack {

constexpr int kExitSuccess = 0;
// inspect or extract: the payload does not match the digest in its trailer.
constexpr int kExitDigestMismatch = 1;
// verify: the product differs from the released launcher or its layout.
constexpr int kExitProductDiffers = 1;
// Bad usage, or a file that cannot be read, written or used as asked.
constexpr int kExitFailure = 2;

// Options that more than one command takes: --json asks for one JSON object,
// and "--" ends the options, so that files named "-h" or "--json" can be
// given.
constexpr char kJsonOption[] = "--json";
constexpr char kEndOfOptions[] = "--";
// As extract's OUTPUT: standard output (./- names a file called "-").
constexpr char kStandardOutputName[] = "-";

// `arguments` (UTF-8) exclude the program name. Usage, help and reports go
// to `out`; errors (one line each, starting with "zorpack: ") to `err`.
int RunZorpack(const std::vector<std::string>& arguments, FileHandle out, FileHandle err);

}  // namespace zor::pack
