// The file interface of the file format code (runtime/file.h), served
// from one buffer in memory instead of the system's files: linked into the
// locator and launcher-checks targets in place of the POSIX implementation,
// so that an execution costs no system call and every read the product
// makes is a copy out of an exactly sized heap block, which
// AddressSanitizer watches. Any other handle is a fault of the harness.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/file.h"

namespace zor::fuzz {

constexpr FileHandle kServedFile = 3;

// Serves a copy of `data` as kServedFile, its position at 0.
void ServeFile(const uint8_t* data, size_t size);

}  // namespace zor::fuzz
