#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack_platform.h"

namespace zor::pack {

namespace {

// rw for everyone, narrowed by the user's umask, like any new file.
constexpr mode_t kNewFileMode = 0666;
// The permission bits of a mode: never set-user-ID and the like.
constexpr mode_t kPermissionBits = 0777;

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

void RemoveAndDie(int signalNumber) {
  if (interruptNameSet) unlinkat(interruptFolder, interruptName, 0);
  // Die of the same signal, so that the caller sees what happened.
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

}  // namespace

std::string NativePath(const std::string& path) {
  return path;
}

std::string Utf8FromNative(const std::string& text) {
  return text;
}

PathKind KindOfPath(const std::string& path) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0) return PathKind::kMissing;
  return S_ISDIR(facts.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

bool IsPathSeparator(char c) {
  return c == '/';
}

bool RandomBits(uint64_t* bits) {
  return getrandom(bits, sizeof *bits, 0) == static_cast<ssize_t>(sizeof *bits);
}

bool LastFailureWasNameTaken() {
  return errno == EEXIST;
}

bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name) {
  size_t nameStart = output.rfind('/');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  *name = output.substr(nameStart);
  std::string path = nameStart == 0 ? std::string(".") : output.substr(0, nameStart);
  folder->Reset(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
  return folder->IsValid();
}

bool IsDevicePath(const std::string&) {
  return false;
}

bool QueryOutput(FileHandle folder, const std::string& name, ExistingOutput* existing) {
  *existing = ExistingOutput();
  struct stat facts;
  if (fstatat(folder, name.c_str(), &facts, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT;
  }
  existing->owner = facts.st_uid;
  existing->permissions = facts.st_mode & kPermissionBits;
  if (S_ISLNK(facts.st_mode)) {
    existing->kind = OutputKind::kLink;
    char target[PATH_MAX];
    ssize_t length = readlinkat(folder, name.c_str(), target, sizeof target);
    if (length > 0) existing->linkTarget.assign(target, static_cast<size_t>(length));
    return true;
  }
  if (!S_ISREG(facts.st_mode)) {
    existing->kind = S_ISDIR(facts.st_mode) ? OutputKind::kFolder : OutputKind::kOther;
    return true;
  }
  existing->kind = OutputKind::kRegular;
  struct stat folderFacts;
  if (fstat(folder, &folderFacts) != 0) return false;
  existing->othersInStickyFolder =
      (folderFacts.st_mode & S_ISVTX) != 0 && facts.st_uid != geteuid();
  return true;
}

void LimitPermissions(FileHandle file, const ExistingOutput& replaced) {
  struct stat fresh;
  if (fstat(file, &fresh) != 0) return;
  // The new file was made with what the umask lets through; whatever group
  // or other write permission that did not include, the replaced one's
  // bits lose too.
  constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
  mode_t denied = kOthersWrite & ~fresh.st_mode;
  fchmod(file, static_cast<mode_t>(replaced.permissions) & kPermissionBits & ~denied);
}

bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file) {
  struct stat named;
  struct stat opened;
  return fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstat(file, &opened) == 0 && S_ISREG(named.st_mode) && named.st_dev == opened.st_dev &&
         named.st_ino == opened.st_ino;
}

bool RenameInFolder(FileHandle folder, FileHandle, const std::string& from, const std::string& to) {
  return renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

void RemoveFromFolder(FileHandle folder, FileHandle file, const std::string& name) {
  if (IsNamedFile(folder, name, file)) unlinkat(folder, name.c_str(), 0);
}

void InstallInterruptCleanup() {
  struct sigaction action = {};
  action.sa_handler = RemoveAndDie;
  action.sa_mask = InterruptSignals();
  for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
    if (sigismember(&action.sa_mask, signalNumber) == 1) sigaction(signalNumber, &action, nullptr);
  }
  // Past `ulimit -f`, write() then fails with EFBIG like any other error.
  signal(SIGXFSZ, SIG_IGN);
}

FileHandle CreateRemovedOnInterrupt(FileHandle folder, const std::string& name) {
  if (name.size() >= sizeof interruptName) {
    errno = ENAMETOOLONG;
    return NoFile();
  }
  sigset_t interrupts = InterruptSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  // O_EXCL fails on any existing name, and with O_NOFOLLOW a dangling link
  // is not followed either.
  FileHandle file =
      openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
             kNewFileMode);
  int failure = errno;
  if (IsOpenFile(file)) {
    interruptFolder = folder;
    memcpy(interruptName, name.c_str(), name.size() + 1);
    interruptNameSet = 1;
  }
  // An interrupt that came meanwhile is delivered here, and finds the name.
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = failure;
  return file;
}

void StopRemovingOnInterrupt() {
  interruptNameSet = 0;
}

std::string LastFailureText() {
  return errno == 0 ? std::string() : std::string(strerror(errno));
}

void ForgetLastFailure() {
  errno = 0;
}

bool WriteText(FileHandle stream, const std::string& text) {
  return WriteAll(stream, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace zor::pack
