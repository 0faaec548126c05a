// Text output that works both on a console and into a pipe or file.
#pragma once

#include <windows.h>

#include <string>

namespace zor::pack {

// Writes `text` to `stream`: as UTF-16 to a console, as UTF-8 otherwise (a
// pipe or a file). A missing stream (null or invalid handle) is skipped.
void WriteText(HANDLE stream, const std::wstring& text);

}  // namespace zor::pack
