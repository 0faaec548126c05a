// The zorpack command line: parses the arguments, runs one command and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "common/sha256_digest.h"
#include "payload/file_io.h"

namespace zor::pack {

constexpr int kExitSuccess = 0;
// inspect or extract: the payload does not match the digest in its trailer.
constexpr int kExitDigestMismatch = 1;
// verify: the product differs from the released launcher or its layout.
constexpr int kExitProductDiffers = 1;
// Bad usage, or a file that cannot be read, written or used as asked.
constexpr int kExitFailure = 2;

// `arguments` (UTF-8) exclude the program name. Usage, help and reports go
// to `out`; errors (one line each, starting with "zorpack: ") to `err`.
int RunZorpack(const std::vector<std::string>& arguments, FileHandle out, FileHandle err);

// Bytes as the reports show them: two lowercase hexadecimal digits each.
std::string HexText(const unsigned char* bytes, size_t count);
// A digest: 64 digits.
std::string DigestText(const Sha256Digest& digest);

}  // namespace zor::pack
