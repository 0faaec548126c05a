// The parts used by the tests that run under Wine only.
#include <windows.h>

#include "support/launcher_file.h"

namespace zor::test {

BuiltLauncherFile WriteLauncherFile(const std::wstring& path, const LauncherFileParts& parts) {
  BuiltLauncherFile built = BuildLauncherFile(parts);
  WriteFileBytes(path, built.bytes);
  return built;
}

Bytes UniqueSamplePayload(uint32_t tag, size_t extraBytes) {
  Bytes payload = SampleToolImage();
  Bytes extra = PatternBytes(extraBytes, tag);
  payload.insert(payload.end(), extra.begin(), extra.end());
  return payload;
}

uint32_t FreshTag() {
  static uint32_t counter = 0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint32_t>(now.QuadPart) ^ GetCurrentProcessId() << 16 ^
         ++counter * 0x9E3779B9u;
}

}  // namespace zor::test
