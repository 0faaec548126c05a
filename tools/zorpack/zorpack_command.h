// The zorpack command line: parses the arguments, runs one command and
// returns the process exit status.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zor::pack {

constexpr int kExitSuccess = 0;
// inspect or extract: the payload does not match the digest in its trailer.
constexpr int kExitDigestMismatch = 1;
// Bad usage, or a file that cannot be read, written or used as asked.
constexpr int kExitFailure = 2;

// `arguments` excludes the program name. Reports go to `out`, errors (one
// line each, starting with "zorpack: ") to `err`.
int RunZorpack(const std::vector<std::wstring>& arguments, HANDLE out, HANDLE err);

}  // namespace zor::pack
