#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// A file's access ACL as Linux keeps it in an extended attribute: a 4-byte
// version, then 8-byte entries of tag, permissions and ID, little-endian.
constexpr char kAccessAclName[] = "system.posix_acl_access";
constexpr size_t kAclHeaderSize = 4;
constexpr size_t kAclEntrySize = 8;
constexpr unsigned kAclUserObject = 0x01;
constexpr unsigned kAclGroupObject = 0x04;
constexpr unsigned kAclMask = 0x10;
constexpr unsigned kAclOther = 0x20;
// Where an unnamed file cannot be made, the file that shows what a new file
// gets has a random name like the temporary file's, tried this many times.
constexpr char kProbeSuffix[] = ".zorpack-tmp";
constexpr int kProbeAttempts = 8;

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
// the file system keeps none. False on any other failure: access is never
// widened because an ACL could not be read.
bool ReadAccessAcl(FileHandle file, std::string* acl) {
  acl->clear();
  ssize_t size = fgetxattr(file, kAccessAclName, nullptr, 0);
  if (size < 0) return errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP;
  acl->resize(static_cast<size_t>(size));
  size = fgetxattr(file, kAccessAclName, &(*acl)[0], acl->size());
  if (size < 0) return false;
  acl->resize(static_cast<size_t>(size));
  return true;
}

// `acl` with its owner, group class (the mask, or the owning group's entry
// when there is no mask) and others entries set to the bits of `mode`, as
// chmod would set them; empty when it is not a well-formed ACL.
std::string AclWithMode(std::string acl, mode_t mode) {
  if (acl.size() < kAclHeaderSize || (acl.size() - kAclHeaderSize) % kAclEntrySize != 0) {
    return std::string();
  }
  bool hasMask = false;
  for (size_t at = kAclHeaderSize; at < acl.size(); at += kAclEntrySize) {
    hasMask |= static_cast<unsigned char>(acl[at]) == kAclMask;
  }
  const unsigned groupClass = hasMask ? kAclMask : kAclGroupObject;
  for (size_t at = kAclHeaderSize; at < acl.size(); at += kAclEntrySize) {
    unsigned tag = static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1])
                                                             << 8;
    int shift = tag == kAclUserObject ? 6 : tag == groupClass ? 3 : tag == kAclOther ? 0 : -1;
    if (shift < 0) continue;
    acl[at + 2] = static_cast<char>((mode >> shift) & 07);
    acl[at + 3] = 0;
  }
  return acl;
}

// Gives `file` the access ACL `acl` (none when empty) and `mode`. The ACL
// goes on already narrowed to `mode`: set first and narrowed after, it
// would let others open the file for writing in between.
bool SetAccess(FileHandle file, const std::string& acl, mode_t mode) {
  if (acl.empty()) {
    bool removed = fremovexattr(file, kAccessAclName) == 0 || errno == ENODATA ||
                   errno == ENOTSUP || errno == EOPNOTSUPP;
    return removed && fchmod(file, mode) == 0;
  }
  std::string narrowed = AclWithMode(acl, mode);
  if (narrowed.empty()) {
    errno = EINVAL;
    return false;
  }
  return fsetxattr(file, kAccessAclName, narrowed.data(), narrowed.size(), 0) == 0 &&
         fchmod(file, mode) == 0;
}

// What the system gives a new file in `folder`.
struct NewFileAccess {
  mode_t mode = 0;
  std::string acl;
};

// Reads what an empty file made in `folder` was given, then removes it:
// the umask or the folder's default ACL, and whatever else the system
// applies, exactly as it applies it.
bool ReadProbe(FileHandle folder, FileHandle probe, const std::string& name,
               NewFileAccess* access) {
  struct stat facts;
  bool read = fstat(probe, &facts) == 0 && ReadAccessAcl(probe, &access->acl);
  access->mode = facts.st_mode & kPermissionBits;
  int failure = errno;
  bool removed = name.empty() || unlinkat(folder, name.c_str(), 0) == 0;
  // The first failure is the one to tell.
  if (!read) errno = failure;
  return read && removed;
}

// An unnamed file where the file system makes them, so that nothing is ever
// left behind; elsewhere a randomly named one, with interrupts held off
// until it is gone.
bool QueryNewFileAccess(FileHandle folder, NewFileAccess* access) {
  constexpr int kProbeFlags = O_RDWR | O_NOCTTY | O_CLOEXEC;
#ifdef O_TMPFILE
  UniqueFile unnamed(openat(folder, ".", kProbeFlags | O_TMPFILE, kNewFileMode));
  if (unnamed.IsValid()) return ReadProbe(folder, unnamed.Get(), "", access);
#endif
  sigset_t interrupts = InterruptSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &interrupts, &previous);
  bool read = false;
  for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
    uint64_t bits = 0;
    if (!RandomBits(&bits)) break;
    std::string name =
        HexText(reinterpret_cast<const unsigned char*>(&bits), sizeof bits) + kProbeSuffix;
    UniqueFile probe(
        openat(folder, name.c_str(), kProbeFlags | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode));
    if (!probe.IsValid() && errno == EEXIST) continue;
    read = probe.IsValid() && ReadProbe(folder, probe.Get(), name, access);
    break;
  }
  int failure = errno;
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = failure;
  return read;
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
  // In a user namespace every owner it does not map shows as this ID, so
  // two of them being equal says nothing about who owns what.
  constexpr uid_t kOverflowUserId = 65534;
  return (folder.st_mode & kStickyAndOpen) != kStickyAndOpen || link.st_uid == geteuid() ||
         (link.st_uid == folder.st_uid && folder.st_uid != kOverflowUserId);
}

// Whether the open folder lies in one of the kernel's own file systems,
// whose links (/proc/PID/cwd, /proc/self/fd/N) lead to a process's files
// wherever they are, not to the path their text spells, and whose files
// are not files on a disk.
bool InKernelFileSystem(FileHandle folder) {
  constexpr long kProcFileSystem = 0x9fa0;
  constexpr long kSysFileSystem = 0x62656572;
  struct statfs facts;
  return fstatfs(folder, &facts) == 0 && (static_cast<long>(facts.f_type) == kProcFileSystem ||
                                          static_cast<long>(facts.f_type) == kSysFileSystem);
}

// A path being walked under the kernel's link rule (see OpenOutputFolder).
struct Walk {
  UniqueFile folder;              // where the walk stands
  std::deque<std::string> names;  // the names still to go
  std::string shown;              // the path walked so far, for messages
  int linksFollowed = 0;
};

bool StartWalk(const std::string& path, Walk* walk) {
  bool absolute = !path.empty() && path[0] == '/';
  walk->folder.Reset(open(absolute ? "/" : ".", kFolderFlags));
  walk->shown = absolute ? "" : ".";
  AppendNames(path, &walk->names, false);
  return walk->folder.IsValid();
}

// Follows the link `name` in the walk's folder, whose facts are `link`: its
// target's names go first.
bool FollowLink(Walk* walk, const std::string& name, const struct stat& link,
                std::string* refusal) {
  struct stat folder;
  if (fstat(walk->folder.Get(), &folder) != 0) return false;
  walk->shown += "/" + name;
  if (++walk->linksFollowed > kMaxLinksFollowed) {
    errno = ELOOP;
    return false;
  }
  if (!MayFollow(folder, link)) {
    *refusal = "it passes through the link " + Quoted(walk->shown) + " of another user (user ID " +
               std::to_string(link.st_uid) +
               ") in a sticky folder that everyone may write to; zorpack follows such a link "
               "only when it is yours or the folder owner's";
    return false;
  }
  char target[PATH_MAX];
  ssize_t length = readlinkat(walk->folder.Get(), name.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) {
    if (length >= 0) errno = ENAMETOOLONG;
    return false;
  }
  std::string targetPath(target, static_cast<size_t>(length));
  // Messages name the path as the target spells it from here on.
  walk->shown.resize(walk->shown.size() - name.size() - 1);
  if (targetPath[0] == '/') {
    walk->folder.Reset(open("/", kFolderFlags));
    walk->shown.clear();
  }
  AppendNames(targetPath, &walk->names, true);
  return walk->folder.IsValid();
}

// Walks on until `left` names are left, entering each folder, or the
// folder a link leads to.
bool WalkFolders(Walk* walk, size_t left, std::string* refusal) {
  while (walk->names.size() > left) {
    std::string name = walk->names.front();
    walk->names.pop_front();
    UniqueFile next(openat(walk->folder.Get(), name.c_str(), kFolderFlags));
    if (next.IsValid()) {
      walk->folder = std::move(next);
      walk->shown += "/" + name;
      continue;
    }
    // A link, refused by O_NOFOLLOW, or no folder at all.
    int failure = errno;
    struct stat link;
    if ((failure != ENOTDIR && failure != ELOOP) ||
        fstatat(walk->folder.Get(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(link.st_mode)) {
      errno = failure;
      return false;
    }
    if (InKernelFileSystem(walk->folder.Get())) {
      // Only the kernel knows where such a link leads.
      walk->folder.Reset(
          openat(walk->folder.Get(), name.c_str(), kLookupOnly | O_DIRECTORY | O_CLOEXEC));
      walk->shown += "/" + name;
      if (!walk->folder.IsValid()) return false;
      continue;
    }
    if (!FollowLink(walk, name, link, refusal)) return false;
  }
  return true;
}

// Opens the folder `path` one name at a time (see OpenOutputFolder).
bool OpenFolderPath(const std::string& path, UniqueFile* folder, std::string* refusal) {
  Walk walk;
  if (!StartWalk(path, &walk) || !WalkFolders(&walk, 0, refusal)) return false;
  *folder = std::move(walk.folder);
  return true;
}

}  // namespace

namespace {

// An input named in /proc or /sys: one of the kernel's files is refused
// (reading /proc/kmsg takes messages from the kernel's log), and a link
// there (/proc/self/fd/3) is followed by the kernel to a regular file that
// lies elsewhere, opened for reading only when it still is that file.
FileHandle OpenThroughKernelLink(FileHandle folder, const std::string& name, bool link,
                                 std::string* refusal) {
  UniqueFile target(link ? openat(folder, name.c_str(), O_PATH | O_CLOEXEC) : NoFile());
  struct stat facts;
  if (!target.IsValid() || InKernelFileSystem(target.Get())) {
    *refusal = "it is one of the kernel's own files (in /proc or /sys), not a file on a disk";
    return NoFile();
  }
  if (fstat(target.Get(), &facts) != 0 || !S_ISREG(facts.st_mode)) return target.Release();
  UniqueFile file(openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened;
  if (!file.IsValid() || fstat(file.Get(), &opened) != 0) return NoFile();
  if (opened.st_dev != facts.st_dev || opened.st_ino != facts.st_ino) {
    *refusal = "the file its link leads to changed while it was opened";
    return NoFile();
  }
  return file.Release();
}

}  // namespace

FileHandle OpenInputFile(const std::string& path, std::string* refusal) {
  refusal->clear();
  Walk walk;
  if (!StartWalk(path, &walk)) return NoFile();
  for (;;) {
    if (!WalkFolders(&walk, 1, refusal)) return NoFile();
    if (walk.names.empty()) {
      errno = EISDIR;
      return NoFile();
    }
    std::string name = walk.names.front();
    walk.names.pop_front();
    struct stat facts;
    if (fstatat(walk.folder.Get(), name.c_str(), &facts, AT_SYMLINK_NOFOLLOW) != 0) return NoFile();
    if (InKernelFileSystem(walk.folder.Get())) {
      return OpenThroughKernelLink(walk.folder.Get(), name, S_ISLNK(facts.st_mode), refusal);
    }
    if (S_ISLNK(facts.st_mode)) {
      if (!FollowLink(&walk, name, facts, refusal)) return NoFile();
      continue;
    }
    // Without O_NONBLOCK a FIFO would wait for a writer; O_NOCTTY keeps a
    // terminal from becoming ours.
    int access = S_ISREG(facts.st_mode) ? O_RDONLY | O_NONBLOCK | O_NOCTTY : kLookupOnly;
    return openat(walk.folder.Get(), name.c_str(), access | O_NOFOLLOW | O_CLOEXEC);
  }
}

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
  existing->accessKept = facts.st_uid == geteuid() && facts.st_nlink == 1;
  existing->group = facts.st_gid;
  if (!existing->accessKept) return true;
  // Read through the file itself: no path leads outside the open folder.
  UniqueFile file(
      openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened;
  if (!file.IsValid() || fstat(file.Get(), &opened) != 0) return false;
  if (opened.st_dev != facts.st_dev || opened.st_ino != facts.st_ino) {
    // Replaced just now: whatever is there is looked at again before the
    // rename; until then it keeps nothing.
    existing->accessKept = false;
    return true;
  }
  return ReadAccessAcl(file.Get(), &existing->accessAcl);
}

bool SetFinalPermissions(FileHandle folder, FileHandle file, const ExistingOutput& replaced) {
  NewFileAccess fresh;
  if (!QueryNewFileAccess(folder, &fresh)) return false;
  if (!replaced.accessKept) return SetAccess(file, fresh.acl, fresh.mode);
  // The replaced file's access, less the group or other write permission
  // that a new file here would not get.
  mode_t mode = static_cast<mode_t>(replaced.permissions) & ~(kOthersWrite & ~fresh.mode);
  // Its group's permissions are for its group only.
  if (fchown(file, static_cast<uid_t>(-1), static_cast<gid_t>(replaced.group)) != 0) {
    mode &= ~static_cast<mode_t>(S_IRWXG);
  }
  return SetAccess(file, replaced.accessAcl, mode);
}

bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file) {
  struct stat named;
  struct stat opened;
  return fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstat(file, &opened) == 0 && S_ISREG(named.st_mode) && named.st_dev == opened.st_dev &&
         named.st_ino == opened.st_ino;
}

bool RenameInFolder(FileHandle folder, FileHandle, const std::string& from, const std::string& to,
                    bool replace) {
#ifdef RENAME_NOREPLACE
  if (!replace) {
    if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag (NFS): a new link cannot take a name
    // that is there either.
    if (linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
      unlinkat(folder, from.c_str(), 0);
      return true;
    }
    // Only one without hard links as well falls back to a plain rename.
    if (errno == EEXIST) return false;
  }
#endif
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
