#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform_acl_posix.h"
#include "platform_new_file_posix.h"
#include "platform_output.h"
#include "platform_posix.h"

namespace zor::pack {

namespace {

constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;

// Set by tests only.
void (*beforeOutputOpenHook)(const std::string& name) = nullptr;
bool exclusiveRenameDenied = false;

}  // namespace

void SetBeforeOutputOpenHookForTesting(void (*hook)(const std::string& name)) {
  beforeOutputOpenHook = hook;
}

void DenyExclusiveRenameForTesting(bool deny) {
  exclusiveRenameDenied = deny;
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
  if (beforeOutputOpenHook != nullptr) beforeOutputOpenHook(name);
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
    if (exclusiveRenameDenied) {
      errno = EINVAL;
    } else if (renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
      return true;
    }
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

}  // namespace zor::pack
