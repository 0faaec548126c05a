// Short random names for files made in folders that others may write to:
// hard to guess, created exclusively, and another tried when one is taken.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "runtime/file.h"

namespace zor::pack {

// How many random names are tried before giving up: a clash means someone
// else holds the name, and a few in a row mean someone plants them.
constexpr int kTemporaryNameAttempts = 8;

// The name for the random `bits`, whatever the length of the final name.
std::string TemporaryNameFor(uint64_t bits);

// For tests only: from now on, attempt i takes `seed` + i as its random bits
// (0 returns to the system's generator), so that a test can plant files at
// every name the next output tries.
void FixTemporaryNamesForTesting(uint64_t seed);

enum class RandomNameResult { kCreated, kFailed, kAllTaken };

// Calls `create` with fresh random names until it gives an open file, fails
// for a reason other than a taken name (LastFailureWasNameTaken), or
// kTemporaryNameAttempts names were taken. On kCreated `*file` is the open
// file and `*name` its name (the caller closes and removes it); on kFailed
// the failure is the last one; `*name` is the last name tried.
RandomNameResult CreateUnderRandomName(const std::function<FileHandle(const std::string&)>& create,
                                       FileHandle* file, std::string* name);

}  // namespace zor::pack
