#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack_platform.h"

namespace zor::pack {

namespace {

// The file an interrupt removes. A signal handler may only read it, so it is
// a fixed buffer and a flag set after the name is complete; a name too long
// for the buffer would be too long to create as well.
char interruptPath[4096];
volatile sig_atomic_t interruptPathSet = 0;

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveAndDie(int signalNumber) {
  if (interruptPathSet) unlink(interruptPath);
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

bool ReplaceFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
  unlink(path.c_str());
}

bool RandomBits(uint64_t* bits) {
  return getrandom(bits, sizeof *bits, 0) == static_cast<ssize_t>(sizeof *bits);
}

bool LastFailureWasNameTaken() {
  return errno == EEXIST;
}

void KeepPermissions(FileHandle file, const std::string& path) {
  struct stat facts;
  // Only the permission bits: never set-user-ID and the like.
  if (stat(path.c_str(), &facts) == 0) fchmod(file, facts.st_mode & 0777);
}

void InstallInterruptCleanup() {
  struct sigaction action = {};
  action.sa_handler = RemoveAndDie;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kInterruptSignals) sigaddset(&action.sa_mask, signalNumber);
  for (int signalNumber : kInterruptSignals) sigaction(signalNumber, &action, nullptr);
  // Past `ulimit -f`, write() then fails with EFBIG like any other error.
  signal(SIGXFSZ, SIG_IGN);
}

FileHandle CreateRemovedOnInterrupt(const std::string& path) {
  if (path.size() >= sizeof interruptPath) {
    errno = ENAMETOOLONG;
    return NoFile();
  }
  sigset_t interrupts;
  sigset_t previous;
  sigemptyset(&interrupts);
  for (int signalNumber : kInterruptSignals) sigaddset(&interrupts, signalNumber);
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  FileHandle file = CreateExclusively(path.c_str());
  int failure = errno;
  if (IsOpenFile(file)) {
    memcpy(interruptPath, path.c_str(), path.size() + 1);
    interruptPathSet = 1;
  }
  // An interrupt that came meanwhile is delivered here, and finds the name.
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = failure;
  return file;
}

void StopRemovingOnInterrupt() {
  interruptPathSet = 0;
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
