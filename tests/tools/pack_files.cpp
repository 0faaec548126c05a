#include "tools/pack_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "runtime/unique_handle.h"
#include "support/launcher_file.h"

namespace zor::test {

Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus) {
  Bytes image = MinimalPeImage(pe32Plus);
  Bytes tail = PatternBytes(extraBytes, seed);
  image.insert(image.end(), tail.begin(), tail.end());
  return image;
}

Bytes Slice(const Bytes& bytes, uint64_t offset, uint64_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) return {};
  return Bytes(bytes.begin() + offset, bytes.begin() + offset + size);
}

void WriteSparseFile(const std::wstring& path, const Bytes& head, uint64_t size) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.IsValid());
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(file.Get(), head.data(), static_cast<DWORD>(head.size()), &written, nullptr));
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file.Get()));
}

}  // namespace zor::test
