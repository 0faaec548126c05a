#pragma once

#include <string>

namespace zor::test {

// A fresh folder below the build's test work folder, named after the running
// test, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& Path() const { return path_; }
  // Path() + "\" + name.
  std::wstring File(const std::wstring& name) const;

 private:
  std::wstring path_;
};

}  // namespace zor::test
