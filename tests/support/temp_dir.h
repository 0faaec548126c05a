// A fresh folder below the build's test work folder, named after the running
// test, removed with everything in it when the object goes. One
// implementation; the paths it hands out come in the caller's spelling:
// UTF-16 for the tests that call Windows directly (TempDir), UTF-8 for the
// packer's tests, whose paths are UTF-8 on every platform (PackDir).
#pragma once

#include <filesystem>
#include <string>

namespace zor::test {

// Creates the folder (failing the current test when it cannot) and returns
// its path; RemoveTestFolder removes it and everything in it.
std::filesystem::path CreateTestFolder();
void RemoveTestFolder(const std::filesystem::path& folder);

#ifdef _WIN32
inline std::wstring PathText(const std::filesystem::path& path, const std::wstring*) {
  return path.wstring();
}
inline std::filesystem::path PathFromWide(const std::wstring& path) {
  return path;
}
#else
// The standard library converts between POSIX paths and wide strings in the
// "C" locale, which fails for a folder named with a non-ASCII letter; the
// path's bytes are UTF-8, so they are taken as such.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
inline std::wstring PathText(const std::filesystem::path& path, const std::wstring*) {
  return WideFromUtf8(path.u8string());
}
inline std::filesystem::path PathFromWide(const std::wstring& path) {
  return std::filesystem::u8path(Utf8FromWide(path));
}
#endif
inline std::string PathText(const std::filesystem::path& path, const std::string*) {
  return path.u8string();
}

template <typename Text>
class BasicTempDir {
 public:
  BasicTempDir() : folder_(CreateTestFolder()), path_(PathText(folder_, &path_)) {}
  ~BasicTempDir() { RemoveTestFolder(folder_); }
  BasicTempDir(const BasicTempDir&) = delete;
  BasicTempDir& operator=(const BasicTempDir&) = delete;

  const Text& Path() const { return path_; }
  // Path(), the platform's separator, then `name`.
  Text File(const Text& name) const { return PathText(folder_ / PathOf(name), &path_); }
  // The same as a path, for the file interface and the standard library.
  std::filesystem::path FilePath(const Text& name) const { return folder_ / PathOf(name); }

 private:
  static std::filesystem::path PathOf(const std::wstring& name) { return PathFromWide(name); }
  static std::filesystem::path PathOf(const std::string& name) {
    return std::filesystem::u8path(name);
  }

  std::filesystem::path folder_;
  Text path_;
};

using TempDir = BasicTempDir<std::wstring>;
using PackDir = BasicTempDir<std::string>;

}  // namespace zor::test
