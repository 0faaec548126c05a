#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform_posix.h"

namespace zor::pack {

void FillClosedStandardDescriptors() {
  for (int descriptor = 0; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    int filler = open("/", kLookupOnly | O_DIRECTORY);
    // The lowest free number is this one, unless something is badly wrong.
    if (filler != descriptor && filler >= 0) close(filler);
  }
}

}  // namespace zor::pack
