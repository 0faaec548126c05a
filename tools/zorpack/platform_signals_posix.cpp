#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform_posix.h"
#include "platform_signals.h"

namespace zor::pack {

namespace {

// What a temporary output is created with: its owner's alone until it is
// complete, so that nobody else can open it and keep the descriptor.
constexpr mode_t kPrivateFileMode = 0600;

// The file an interrupt removes: a name in an open folder. A signal handler
// may only read them, so the name is a fixed buffer and a flag is set after
// both are complete; a name too long for the buffer would be too long to
// create as well.
int interruptFolder = -1;
char interruptName[NAME_MAX + 1];
volatile sig_atomic_t interruptNameSet = 0;

// Every signal whose default action ends the process and that another
// process (or the terminal, a closed pipe, a timer, a CPU limit) can send.
// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP mean a fault in zorpack itself:
// their default keeps the core dump (and a sanitizer's report) intact.
// SIGXFSZ is ignored instead (see InstallInterruptCleanup).
constexpr int kFixedInterruptSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGABRT,   SIGUSR1, SIGUSR2, SIGPIPE,
    SIGALRM,   SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// The fixed signals, then the real-time ones, whose default also ends the
// process.
sigset_t InterruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int number : kFixedInterruptSignals) sigaddset(&signals, number);
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) sigaddset(&signals, number);
  return signals;
}

// The ACL of the open file `file` into `*acl`: empty when it has none or

void RemoveAndDie(int signalNumber) {
  if (interruptNameSet) unlinkat(interruptFolder, interruptName, 0);
  // Die of the same signal, so that the caller sees what happened.
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

}  // namespace

InterruptsHeld::InterruptsHeld() {
  sigset_t interrupts = InterruptSignals();
  sigprocmask(SIG_BLOCK, &interrupts, &previous_);
}

InterruptsHeld::~InterruptsHeld() {
  int failure = errno;
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
  errno = failure;
}

void InstallInterruptCleanup() {
  FillClosedStandardDescriptors();
  struct sigaction action = {};
  action.sa_handler = RemoveAndDie;
  action.sa_mask = InterruptSignals();
  for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
    if (sigismember(&action.sa_mask, signalNumber) != 1) continue;
    // What the caller ignored (nohup's SIGHUP, a background job's SIGINT)
    // stays ignored, as it would for any other program.
    struct sigaction previous;
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signalNumber, &action, nullptr);
  }
  // Past `ulimit -f`, write() then fails with EFBIG like any other error.
  signal(SIGXFSZ, SIG_IGN);
}

FileHandle CreateRemovedOnInterrupt(FileHandle folder, const std::string& name) {
  if (name.size() >= sizeof interruptName) {
    errno = ENAMETOOLONG;
    return NoFile();
  }
  // An interrupt that comes meanwhile is delivered when `held` goes, and
  // finds the name.
  InterruptsHeld held;
  // O_EXCL fails on any existing name, and with O_NOFOLLOW a dangling link
  // is not followed either.
  FileHandle file =
      openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
             kPrivateFileMode);
  if (IsOpenFile(file)) {
    interruptFolder = folder;
    memcpy(interruptName, name.c_str(), name.size() + 1);
    interruptNameSet = 1;
  }
  return file;
}

void StopRemovingOnInterrupt() {
  interruptNameSet = 0;
}

}  // namespace zor::pack
