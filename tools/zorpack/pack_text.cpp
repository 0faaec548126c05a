#include "pack_text.h"

#include "common/hex_lower.h"
#include "pack_platform.h"

namespace zor::pack {

std::string Escaped(const std::string& text, const char* prefix) {
  // A line break would split the one-line message, and an escape sequence
  // would reach the terminal.
  std::string escaped;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      escaped += prefix + HexText(&byte, 1);
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Quoted(const std::string& path) {
  return "'" + Escaped(path, "\\x") + "'";
}

std::string DescribeFailure(const std::string& path) {
  std::string reason = LastFailureText();
  return reason.empty() ? Quoted(path) : Quoted(path) + ": " + reason;
}

std::string FolderOf(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  if (end == 0) return std::string();
  // "/name" lies in the root folder, which the separator alone names.
  size_t folderEnd = end - 1;
  while (folderEnd > 0 && IsPathSeparator(path[folderEnd - 1])) --folderEnd;
  return folderEnd == 0 ? path.substr(0, 1) : path.substr(0, folderEnd);
}

std::string HexText(const unsigned char* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += HexDigit(bytes[i] >> 4);
    text += HexDigit(bytes[i]);
  }
  return text;
}

std::string DigestText(const Sha256Digest& digest) {
  return HexText(digest.bytes, sizeof digest.bytes);
}

}  // namespace zor::pack
