#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <deque>
#include <utility>

#include "pack_platform.h"
#include "pack_text.h"

namespace zor::pack {

namespace {

// What a temporary output is created with: its owner's alone until it is
// complete, so that nobody else can open it and keep the descriptor.
constexpr mode_t kPrivateFileMode = 0600;
// rw for everyone, narrowed by the user's umask or the folder's default ACL,
// like any new file.
constexpr mode_t kNewFileMode = 0666;
// The permission bits of a mode: never set-user-ID and the like.
constexpr mode_t kPermissionBits = 0777;
constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// Folders are opened to look names up in, never to list or write through:
// a write-only drop folder opens too.
#ifdef O_PATH
constexpr int kLookupOnly = O_PATH;
#elif defined(O_SEARCH)
constexpr int kLookupOnly = O_SEARCH;
#else
constexpr int kLookupOnly = O_RDONLY;
#endif
constexpr int kFolderFlags = kLookupOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// As the kernel allows when it resolves a path.
constexpr int kMaxLinksFollowed = 40;

// The ACLs as Linux keeps them in extended attributes: a 4-byte version,
// then 8-byte entries of tag, permissions and ID, little-endian.
constexpr char kAccessAclName[] = "system.posix_acl_access";
constexpr char kDefaultAclName[] = "system.posix_acl_default";
constexpr size_t kAclHeaderSize = 4;
constexpr size_t kAclEntrySize = 8;
constexpr unsigned kAclUserObject = 0x01;
constexpr unsigned kAclGroupObject = 0x04;
constexpr unsigned kAclMask = 0x10;
constexpr unsigned kAclOther = 0x20;
// Where the system shows an open descriptor as a path, for the ACL calls,
// which take no folder descriptor.
constexpr char kDescriptorFolder[] = "/proc/self/fd/";

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

// `name` in the open folder `folder` as a path, for the calls that take no
// folder descriptor.
std::string InFolder(FileHandle folder, const std::string& name) {
  return kDescriptorFolder + std::to_string(folder) + "/" + name;
}

// The ACL `which` of `path` itself (a link is not followed); empty when it
// has none or it cannot be read (no ACL support, no /proc in an empty root).
std::string ReadAcl(const std::string& path, const char* which) {
  ssize_t size = lgetxattr(path.c_str(), which, nullptr, 0);
  if (size <= 0) return std::string();
  std::string acl(static_cast<size_t>(size), '\0');
  size = lgetxattr(path.c_str(), which, &acl[0], acl.size());
  acl.resize(size > 0 ? static_cast<size_t>(size) : 0);
  return acl;
}

unsigned LittleEndian16(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

// The permission bits that `acl`'s owner, group class and others entries
// give (the group class is the mask when there is one); false when it is
// not a well-formed ACL.
bool AclPermissionBits(const std::string& acl, mode_t* bits) {
  if (acl.size() < kAclHeaderSize || (acl.size() - kAclHeaderSize) % kAclEntrySize != 0) {
    return false;
  }
  mode_t owner = 0, group = 0, mask = 0, others = 0;
  bool hasMask = false;
  for (size_t at = kAclHeaderSize; at < acl.size(); at += kAclEntrySize) {
    unsigned tag = LittleEndian16(acl, at);
    mode_t permissions = LittleEndian16(acl, at + 2) & 07;
    if (tag == kAclUserObject) owner = permissions;
    if (tag == kAclGroupObject) group = permissions;
    if (tag == kAclOther) others = permissions;
    if (tag == kAclMask) {
      mask = permissions;
      hasMask = true;
    }
  }
  *bits = owner << 6 | (hasMask ? mask : group) << 3 | others;
  return true;
}

// What a new file in `folder` gets: the folder's default ACL limits it
// where there is one, else the umask does.
mode_t NewFileMode(FileHandle folder) {
  mode_t fromAcl = 0;
  if (AclPermissionBits(ReadAcl(InFolder(folder, "."), kDefaultAclName), &fromAcl)) {
    return kNewFileMode & fromAcl;
  }
  // Read by setting it; nothing else in the packer creates files meanwhile.
  mode_t mask = umask(0);
  umask(mask);
  return kNewFileMode & ~mask;
}

// The file keeps no access ACL of its own (one a folder's default ACL gave
// it): the replaced file had none.
bool RemoveAccessAcl(FileHandle file) {
  return fremovexattr(file, kAccessAclName) == 0 || errno == ENODATA || errno == ENOTSUP ||
         errno == EOPNOTSUPP;
}

// Descriptors 0 to 2 that are closed get one that refers to the root
// folder for lookups only: reading or writing it fails. Opened for nothing
// else, it keeps an input, the output's folder or its temporary file from
// becoming "standard output" or "standard error".
void FillClosedStandardDescriptors() {
  for (int descriptor = 0; descriptor <= STDERR_FILENO; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    int filler = open("/", kLookupOnly | O_DIRECTORY);
    // The lowest free number is this one, unless something is badly wrong.
    if (filler != descriptor && filler >= 0) close(filler);
  }
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

bool LastFailureWasMissingName() {
  return errno == ENOENT;
}

namespace {

// The names of `path` in order, "" and "." left out.
void AppendNames(const std::string& path, std::deque<std::string>* names, bool atFront) {
  std::deque<std::string> found;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string name = path.substr(start, end - start);
    if (!name.empty() && name != ".") found.push_back(name);
    start = end + 1;
  }
  names->insert(atFront ? names->begin() : names->end(), found.begin(), found.end());
}

// The kernel's protected_symlinks rule: in a sticky folder that everyone
// may write to, only a link of the follower's own or of the folder's owner.
bool MayFollow(const struct stat& folder, const struct stat& link) {
  constexpr mode_t kStickyAndOpen = S_ISVTX | S_IWOTH;
  return (folder.st_mode & kStickyAndOpen) != kStickyAndOpen || link.st_uid == geteuid() ||
         link.st_uid == folder.st_uid;
}

// Steps from the open folder `*current` through `name`, a folder or a link
// to follow; for a link, its target's names go first into `names`.
bool StepInto(UniqueFile* current, const std::string& name, std::string* shown,
              std::deque<std::string>* names, int* links, std::string* refusal) {
  UniqueFile next(openat(current->Get(), name.c_str(), kFolderFlags));
  if (next.IsValid()) {
    *current = std::move(next);
    return true;
  }
  // A link, refused by O_NOFOLLOW, or no folder at all.
  int failure = errno;
  struct stat linkFacts;
  struct stat folderFacts;
  if ((failure != ENOTDIR && failure != ELOOP) ||
      fstatat(current->Get(), name.c_str(), &linkFacts, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(linkFacts.st_mode) || fstat(current->Get(), &folderFacts) != 0) {
    errno = failure;
    return false;
  }
  if (++*links > kMaxLinksFollowed) {
    errno = ELOOP;
    return false;
  }
  if (!MayFollow(folderFacts, linkFacts)) {
    *refusal = "it passes through the link " + Quoted(*shown) + " of another user (user ID " +
               std::to_string(linkFacts.st_uid) +
               ") in a sticky folder that everyone may write to; zorpack follows such a link "
               "only when it is yours or the folder owner's";
    return false;
  }
  char target[PATH_MAX];
  ssize_t length = readlinkat(current->Get(), name.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) {
    if (length >= 0) errno = ENAMETOOLONG;
    return false;
  }
  std::string targetPath(target, static_cast<size_t>(length));
  // Messages name the path as the target spells it from here on.
  shown->resize(shown->size() - name.size() - 1);
  if (targetPath[0] == '/') {
    current->Reset(open("/", kFolderFlags));
    shown->clear();
  }
  AppendNames(targetPath, names, true);
  return current->IsValid();
}

// Opens the folder `path` one name at a time (see OpenOutputFolder).
bool OpenFolderPath(const std::string& path, UniqueFile* folder, std::string* refusal) {
  UniqueFile current(open(path[0] == '/' ? "/" : ".", kFolderFlags));
  std::deque<std::string> names;
  AppendNames(path, &names, false);
  std::string shown = path[0] == '/' ? "" : ".";
  int links = 0;
  while (current.IsValid() && !names.empty()) {
    std::string name = names.front();
    names.pop_front();
    shown += "/" + name;
    if (!StepInto(&current, name, &shown, &names, &links, refusal)) return false;
  }
  *folder = std::move(current);
  return folder->IsValid();
}

}  // namespace

bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name,
                      std::string* refusal) {
  refusal->clear();
  size_t nameStart = output.rfind('/');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  *name = output.substr(nameStart);
  return OpenFolderPath(output.substr(0, nameStart), folder, refusal);
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
  existing->accessAcl = ReadAcl(InFolder(folder, name), kAccessAclName);
  return true;
}

bool SetFinalPermissions(FileHandle folder, FileHandle file, const ExistingOutput& replaced) {
  mode_t fresh = NewFileMode(folder);
  if (replaced.kind != OutputKind::kRegular) return fchmod(file, fresh) == 0;
  // The replaced file's access, ACL and all, less the group or other write
  // permission that a new file here would not get.
  mode_t denied = kOthersWrite & ~fresh;
  const std::string& acl = replaced.accessAcl;
  bool aclSet = acl.empty() ? RemoveAccessAcl(file)
                            : fsetxattr(file, kAccessAclName, acl.data(), acl.size(), 0) == 0;
  // With an ACL, the group bits are its mask: narrowing them narrows it.
  return aclSet &&
         fchmod(file, static_cast<mode_t>(replaced.permissions) & kPermissionBits & ~denied) == 0;
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

bool RemoveFromFolder(FileHandle folder, FileHandle file, const std::string& name) {
  return !IsNamedFile(folder, name, file) || unlinkat(folder, name.c_str(), 0) == 0;
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
  sigset_t interrupts = InterruptSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  // O_EXCL fails on any existing name, and with O_NOFOLLOW a dangling link
  // is not followed either.
  FileHandle file =
      openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
             kPrivateFileMode);
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
