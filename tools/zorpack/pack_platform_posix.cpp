#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack_platform.h"

namespace zor::pack {

std::string NativePath(const std::string& path) {
  return path;
}

std::string Utf8FromNative(const std::string& text) {
  return text;
}

PathKind KindOfPath(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return PathKind::kMissing;
  return S_ISDIR(facts.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

bool IsPathSeparator(char c) {
  return c == '/';
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
  unlink(path.c_str());
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

std::string LastFailureText() {
  return errno == 0 ? std::string() : std::string(strerror(errno));
}

void WriteText(FileHandle stream, const std::string& text) {
  if (!text.empty()) WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
