#include "tools/pack_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "payload/payload_locator.h"
#include "runtime/unique_handle.h"
#include "support/launcher_file.h"

namespace zor::test {

Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus) {
  Bytes image = MinimalPeImage(pe32Plus);
  Bytes tail = PatternBytes(extraBytes, seed);
  image.insert(image.end(), tail.begin(), tail.end());
  return image;
}

bool LocateIn(const std::wstring& path, PayloadLocation* location) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    ADD_FAILURE() << "cannot open the packed file";
    return false;
  }
  return ReadPayloadLocation(file.Get(), location);
}

std::set<std::wstring> FolderEntries(const std::wstring& path) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.insert(name);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return names;
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
