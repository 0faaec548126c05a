#include "pipelined_copy.h"

namespace zor::pack {

// Windows has no call that starts writing a file's cached data without
// waiting for it; the flush before the output is published does it all.
void StartWriteBack(FileHandle) {}

}  // namespace zor::pack
