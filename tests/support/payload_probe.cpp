#include "support/payload_probe.h"

#include <gtest/gtest.h>

#include "payload/payload_locator.h"
#include "runtime/file.h"

namespace zor::test {

bool LocatePayloadInFile(const std::filesystem::path& path, PayloadLocation* location) {
  UniqueFile file(OpenForReading(path.c_str(), ReadSharing::kLetOthersRemove));
  if (!file.IsValid()) {
    ADD_FAILURE() << "cannot open " << path.u8string();
    return false;
  }
  *location = {};
  return ReadPayloadLocation(file.Get(), location);
}

}  // namespace zor::test
