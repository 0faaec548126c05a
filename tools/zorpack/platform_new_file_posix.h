// What the system gives a new file in a folder: the umask or the folder's
// default ACL, and whatever else it applies, exactly as it applies it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// rw for everyone, narrowed by the user's umask or the folder's default ACL,
// like any new file.
constexpr mode_t kNewFileMode = 0666;

struct NewFileAccess {
  mode_t mode = 0;
  std::string acl;  // the access ACL, empty for none
};

// Makes an empty file in `folder`, reads what it was given and removes it:
// an unnamed file where the file system makes them, so that nothing is ever
// left behind; elsewhere a randomly named one, with interrupts held off
// until it is gone. False, the first failure the last one, when it cannot
// be made, read or removed.
bool QueryNewFileAccess(FileHandle folder, NewFileAccess* access);

// For tests only: from now on QueryNewFileAccess works as on a file system
// that makes no unnamed files (`deny`), with a named one.
void DenyUnnamedFilesForTesting(bool deny);

}  // namespace zor::pack
