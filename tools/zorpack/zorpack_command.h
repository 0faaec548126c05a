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

// `arguments` (UTF-8) exclude the program name. Usage, help and reports go
// to `out`; errors (one line each, starting with "zorpack: ") to `err`. A
// report that cannot be written to `out` is an error too.
int RunZorpack(const std::vector<std::string>& arguments, FileHandle out, FileHandle err);

}  // namespace zor::pack
