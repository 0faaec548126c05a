// The steps of publishing an output in its open folder (see
// OpenOutputFolder): what stands under its name, the access the finished
// file gets, and renaming or removing it there. One implementation per
// platform.
#pragma once

#include <stdint.h>

#include <string>

#include "runtime/file.h"

namespace zor::pack {

enum class OutputKind { kMissing, kRegular, kFolder, kLink, kOther };

// What stands under an output's name, looked at without following a link.
struct ExistingOutput {
  OutputKind kind = OutputKind::kMissing;
  // A link's target, as the link spells it.
  std::string linkTarget;
  // A regular file of another user in a sticky folder (such as /tmp), where
  // only a file's owner may remove it: never replaced.
  bool othersInStickyFolder = false;
  uint64_t owner = 0;        // the owner's user ID (POSIX)
  uint32_t permissions = 0;  // the permission bits (POSIX)
  // A regular file of this user's with no other name: its access (mode,
  // group, ACL) is what the user chose for this output, and the new file
  // keeps it. Another user's file, or one that is also another name of some
  // file, says nothing of what the product should allow (POSIX).
  bool accessKept = false;
  uint64_t group = 0;  // the owning group's ID (POSIX)
  // Its extended access ACL as the system stores it, when accessKept; empty
  // when it has none, or the file system keeps none (POSIX).
  std::string accessAcl;
};

// False (the failure the last one) when `name` in `folder` cannot be looked
// at (nor, for a file whose access is kept, its ACL read); a missing name is
// kMissing.
bool QueryOutput(FileHandle folder, const std::string& name, ExistingOutput* existing);

// For tests only (POSIX): `hook`, unless null, runs with the output's name
// between QueryOutput's look at a file whose access is kept and its open to
// read the ACL, so that a test can put another file there then.
void SetBeforeOutputOpenHookForTesting(void (*hook)(const std::string& name));

// Gives the finished file `file`, made private, the access it is to be
// published with. Replacing a file whose access is kept, it takes that
// file's group, permission bits and access ACL, less any group or other
// write permission that a new file in `folder` would not get (the ACL
// loses it from its mask), and less all group permission when the group
// cannot be kept; otherwise exactly what a new file in `folder` gets (its
// default ACL, or what the umask lets through), as the system gives it to
// an empty file made there and removed at once. False, the failure the
// last one, when the file cannot be given them. Nothing on Windows, where
// the file has the folder's inherited access from the start.
bool SetFinalPermissions(FileHandle folder, FileHandle file, const ExistingOutput& replaced);

// For tests only (POSIX): `hook`, unless null, runs when SetFinalPermissions
// has given the file its ACL (or removed it) and is about to set its mode,
// so that a test can look at the file, or keep it from being changed, then.
void SetBeforeFinalModeHookForTesting(void (*hook)());

// Whether `name` in `folder` is the open file `file` itself (same device
// and inode, or volume and file index), without following a link.
bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file);

// Renames `from` to `to` in `folder`, replacing a file there in one step
// when `replace`, and otherwise failing (LastFailureWasNameTaken) when
// something has appeared at `to`; `file` is the open file named `from`
// (Windows renames by handle).
bool RenameInFolder(FileHandle folder, FileHandle file, const std::string& from,
                    const std::string& to, bool replace);

// For tests only: from now on RenameInFolder without `replace` works as on
// a file system that has no exclusive rename (NFS on Linux; `deny` does
// nothing on Windows, where every rename may refuse to replace).
void DenyExclusiveRenameForTesting(bool deny);

// Removes the open file `file`, named `name` in `folder`; a file that
// someone else has put under that name meanwhile is left alone. False, the
// failure the last one, when the file is still there (an append-only
// folder).
bool RemoveFromFolder(FileHandle folder, FileHandle file, const std::string& name);

}  // namespace zor::pack
