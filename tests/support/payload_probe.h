// Runs the launcher's payload locator on a file on disk, opened the way the
// launcher opens its own file.
#pragma once

#include <filesystem>

#include "common/payload_location.h"

namespace zor::test {

// True when the locator finds a payload in the file at `path`. Fails the
// current test when the file cannot be opened at all.
bool LocatePayloadInFile(const std::filesystem::path& path, PayloadLocation* location);

}  // namespace zor::test
