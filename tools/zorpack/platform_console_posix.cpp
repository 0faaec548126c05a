#include <fcntl.h>
#include <unistd.h>

#include "platform_console.h"

namespace zor::pack {

bool IsWritableStream(FileHandle stream) {
  int flags = fcntl(stream, F_GETFL);
  if (flags == -1) return false;
#ifdef O_PATH
  if ((flags & O_PATH) != 0) return false;
#endif
  return (flags & O_ACCMODE) != O_RDONLY;
}

bool IsTerminal(FileHandle stream) {
  return isatty(stream) == 1;
}

bool WriteText(FileHandle stream, const std::string& text) {
  return WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
