// What the POSIX implementations of the platform headers share among
// themselves; nothing outside them includes this.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

namespace zor::pack {

// Folders are opened to look names up in, never to list or write through:
// a write-only drop folder opens too.
#ifdef O_PATH
constexpr int kLookupOnly = O_PATH;
#elif defined(O_SEARCH)
constexpr int kLookupOnly = O_SEARCH;
#else
constexpr int kLookupOnly = O_RDONLY;
#endif

// The permission bits of a mode: never set-user-ID and the like.
constexpr mode_t kPermissionBits = 0777;

// While one lives, every signal that would end the process waits (see
// InstallInterruptCleanup); it is delivered when the last one goes. The
// failure of the last call (errno) passes through unchanged.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Descriptors 0 to 2 that are closed get one that refers to the root
// folder for lookups only: reading or writing it fails. Opened for nothing
// else, it keeps an input, the output's folder or its temporary file from
// becoming "standard output" or "standard error".
void FillClosedStandardDescriptors();

}  // namespace zor::pack
