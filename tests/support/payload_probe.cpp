#include "support/payload_probe.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "payload/payload_locator.h"
#include "runtime/unique_handle.h"

namespace zor::test {

bool LocatePayloadInFile(const std::wstring& path, PayloadLocation* location) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    ADD_FAILURE() << "cannot open " << std::filesystem::path(path).string();
    return false;
  }
  *location = {};
  return ReadPayloadLocation(file.Get(), location);
}

}  // namespace zor::test
