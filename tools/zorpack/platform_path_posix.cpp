#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <deque>
#include <utility>

#include "pack_text.h"
#include "platform_path.h"
#include "platform_posix.h"

namespace zor::pack {

namespace {

constexpr int kFolderFlags = kLookupOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// As the kernel allows when it resolves a path.
constexpr int kMaxLinksFollowed = 40;

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

// An input named in /proc or /sys: one of the kernel's files is refused
// (reading /proc/kmsg takes messages from the kernel's log), and a link
// there (/proc/self/fd/3) is followed by the kernel to a regular file that
// lies elsewhere, opened for reading only when it still is that file.
void (*beforeKernelLinkOpenHook)(const std::string& name) = nullptr;

FileHandle OpenThroughKernelLink(FileHandle folder, const std::string& name, bool link,
                                 std::string* refusal) {
  UniqueFile target(link ? openat(folder, name.c_str(), O_PATH | O_CLOEXEC) : NoFile());
  struct stat facts;
  if (!target.IsValid() || InKernelFileSystem(target.Get())) {
    *refusal = "it is one of the kernel's own files (in /proc or /sys), not a file on a disk";
    return NoFile();
  }
  if (fstat(target.Get(), &facts) != 0 || !S_ISREG(facts.st_mode)) return target.Release();
  if (beforeKernelLinkOpenHook != nullptr) beforeKernelLinkOpenHook(name);
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

void SetBeforeKernelLinkOpenHookForTesting(void (*hook)(const std::string& name)) {
  beforeKernelLinkOpenHook = hook;
}

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

bool IsDevicePath(const std::string&) {
  return false;
}

void WatchInputReads(InputReadWatch watch) {
  SetReadWatch(watch);
}

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
  if (!OpenFolderPath(output.substr(0, nameStart), folder, refusal)) return false;
  // Nothing there is a file on a disk, and opening one of its files, even
  // to read an old OUTPUT's ACL, can act (/proc/kmsg takes the kernel's
  // log): refused before anything in it is opened.
  if (!InKernelFileSystem(folder->Get())) return true;
  folder->Reset();
  *refusal = "it is one of the kernel's own (in /proc or /sys), not a folder on a disk";
  return false;
}

}  // namespace zor::pack
