#include "console_text.h"

#include <string>

#include "runtime/unique_handle.h"

namespace zor::pack {

void WriteText(HANDLE stream, const std::wstring& text) {
  if (!IsValidHandle(stream) || text.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(stream, &mode)) {
    DWORD written = 0;
    WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  if (length <= 0) return;
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace zor::pack
