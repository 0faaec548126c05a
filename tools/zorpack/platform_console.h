// Standard output and error. One implementation per platform.
#pragma once

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// `stream` is open for writing: not closed, nor opened for reading only.
bool IsWritableStream(FileHandle stream);

// `stream` is a terminal (a console on Windows), where raw bytes would be
// taken as commands.
bool IsTerminal(FileHandle stream);

// Writes UTF-8 `text` to `stream` (standard output or error); false, with
// the reason as the last failure, when not all of it was written.
bool WriteText(FileHandle stream, const std::string& text);

}  // namespace zor::pack
