#include "support/payload_probe.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "payload/payload_locator.h"

namespace zor::test {

bool LocatePayloadInFile(const std::wstring& path, PayloadLocation* location) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open " << std::filesystem::path(path).string();
    return false;
  }
  *location = {};
  bool located = ReadPayloadLocation(file, location);
  CloseHandle(file);
  return located;
}

}  // namespace zor::test
