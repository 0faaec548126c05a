#include <errno.h>
#include <fcntl.h>

#include "pipelined_copy.h"

namespace zor::pack {

void StartWriteBack(FileHandle file) {
  // Offset 0 and length 0: the whole file. Pages already on their way to the
  // disk are passed over, not waited for. A failure costs only time: the
  // flush before the output is published still writes everything; nor does
  // it become the failure that a message would report.
  int lastFailure = errno;
  sync_file_range(file, 0, 0, SYNC_FILE_RANGE_WRITE);
  errno = lastFailure;
}

}  // namespace zor::pack
