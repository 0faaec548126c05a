#include "platform_new_file_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform_acl_posix.h"
#include "platform_posix.h"
#include "random_name.h"

namespace zor::pack {

namespace {

// Set by tests only.
bool unnamedFilesDenied = false;

// Reads what an empty file made in `folder` was given, then removes it
// (`name`, unless it has none).
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

}  // namespace

void DenyUnnamedFilesForTesting(bool deny) {
  unnamedFilesDenied = deny;
}

bool QueryNewFileAccess(FileHandle folder, NewFileAccess* access) {
  constexpr int kProbeFlags = O_RDWR | O_NOCTTY | O_CLOEXEC;
#ifdef O_TMPFILE
  UniqueFile unnamed(
      unnamedFilesDenied ? NoFile() : openat(folder, ".", kProbeFlags | O_TMPFILE, kNewFileMode));
  if (unnamed.IsValid()) return ReadProbe(folder, unnamed.Get(), "", access);
#endif
  InterruptsHeld held;
  FileHandle created = NoFile();
  std::string name;
  RandomNameResult result = CreateUnderRandomName(
      [folder](const std::string& tried) {
        return openat(folder, tried.c_str(), kProbeFlags | O_CREAT | O_EXCL | O_NOFOLLOW,
                      kNewFileMode);
      },
      &created, &name);
  UniqueFile probe(created);
  if (result == RandomNameResult::kAllTaken) errno = EEXIST;
  return result == RandomNameResult::kCreated && ReadProbe(folder, probe.Get(), name, access);
}

}  // namespace zor::pack
