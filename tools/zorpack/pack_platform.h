// What the packer needs of the operating system beyond the file interface of
// runtime/file.h: paths in its own UTF-8, what a path names, replacing and
// removing files, and text output. Every path in the packer is a UTF-8
// string: on Linux the user's bytes, passed through untouched (no locale
// conversion); the Windows implementation converts to and from UTF-16 at
// this boundary. One implementation per platform, chosen when linking.
#pragma once

#include <stdint.h>

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// A UTF-8 path in the platform's own path characters.
std::basic_string<PathChar> NativePath(const std::string& path);

enum class PathKind { kMissing, kFile, kFolder };

// What `path` names now; kMissing also when it cannot be queried.
PathKind KindOfPath(const std::string& path);

// The characters that end a folder name in a path.
bool IsPathSeparator(char c);

// Fresh random bits from the system's generator, for names that others in
// a shared folder cannot guess; false when the generator fails.
bool RandomBits(uint64_t* bits);

// The last failed call failed because something already stands under the
// name it was to create.
bool LastFailureWasNameTaken();

// The last failed call failed because a name in the path does not exist.
bool LastFailureWasMissingName();

// An output is written in the folder it lies in, opened once: every later
// step (create, look, rename, remove) works relative to that open folder, so
// that another user who swaps the folder or a folder above it for a link
// meanwhile cannot send any of them elsewhere.
//
// Opens the folder of `output` (taken from its full path on Windows, so
// that a drive-relative "C:name" lies in C:'s current folder) for lookups
// only, so that a folder one may write and search but not list (an
// incoming drop folder) takes outputs too; gives the output's name in it,
// empty when `output` ends in a separator.
//
// On POSIX the folder's path is walked one name at a time, and a link met on
// the way is followed only as the kernel's protected_symlinks rule allows,
// whatever that setting is: a link in a sticky folder that everyone may
// write to leads on only when it belongs to this user or to that folder's
// owner. Otherwise another user could make root's output land in a folder
// of their choosing.
//
// False when the folder cannot be opened: `*refusal` then says why when a
// link was refused, and is empty when the last failure tells.
bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name,
                      std::string* refusal);

// Names a device rather than a file in a folder ("NUL", "\\.\COM1" on
// Windows; nothing on POSIX, where devices are files in /dev).
bool IsDevicePath(const std::string& path);

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

// Whether `name` in `folder` is the open file `file` itself (same device
// and inode, or volume and file index), without following a link.
bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file);

// Renames `from` to `to` in `folder`, replacing a file there in one step
// when `replace`, and otherwise failing (LastFailureWasNameTaken) when
// something has appeared at `to`; `file` is the open file named `from`
// (Windows renames by handle).
bool RenameInFolder(FileHandle folder, FileHandle file, const std::string& from,
                    const std::string& to, bool replace);

// Opens an input for reading, without waiting (a FIFO) or taking a terminal.
// On POSIX its path is walked as OpenOutputFolder walks a folder's, the
// kernel's link rule applied to every link, the last name's included; and
// what is not a regular file is opened for a look only, never for reading
// (a device's open can act on it), for the caller to refuse. `*refusal`
// says why when a link was refused.
FileHandle OpenInputFile(const std::string& path, std::string* refusal);

// Removes the open file `file`, named `name` in `folder`; a file that
// someone else has put under that name meanwhile is left alone. False, the
// failure the last one, when the file is still there (an append-only
// folder).
bool RemoveFromFolder(FileHandle folder, FileHandle file, const std::string& name);

// Every signal that would end the process, unless the caller had it ignored
// (nohup, a background job), which stays ignored (a console control event on
// Windows, where an ignored Ctrl+C never reaches a handler) removes the file that
// CreateRemovedOnInterrupt made, until StopRemovingOnInterrupt, before the process ends; a fault
// inside zorpack itself (SIGSEGV and its kin) is left to the default, for its core dump.
// InstallInterruptCleanup, called once by the program, sets that up and
// makes a file-size limit an ordinary write error instead of a signal.
// It also fills a closed standard descriptor (0, 1 or 2) with one that
// cannot be read or written, so that no file the packer opens can take its
// number and receive a message or a report.
void InstallInterruptCleanup();
// Creates `name` in `folder` exclusively, open for reading and writing:
// never through a link or over anything that stands there. When that
// succeeds, has it removed on an interrupt. An interrupt that arrives
// meanwhile waits until both are done, so there is no moment in which it
// would leave the new file behind, nor one in which it would remove a file
// under that name that this process did not make. The failure, if any,
// stays the last one.
FileHandle CreateRemovedOnInterrupt(FileHandle folder, const std::string& name);
void StopRemovingOnInterrupt();

// The system's text for the last failed call, on one line; empty when the
// failure left no error code. ForgetLastFailure clears it, so that a
// failure without a code of its own (the end of a file) shows none.
std::string LastFailureText();
void ForgetLastFailure();

// UTF-8 of the platform's own text, such as the arguments Windows hands over.
std::string Utf8FromNative(const std::basic_string<PathChar>& text);

// `stream` is open for writing: not closed, nor opened for reading only.
bool IsWritableStream(FileHandle stream);

// `stream` is a terminal (a console on Windows), where raw bytes would be
// taken as commands.
bool IsTerminal(FileHandle stream);

// Writes UTF-8 `text` to `stream` (standard output or error); false, with
// the reason as the last failure, when not all of it was written.
bool WriteText(FileHandle stream, const std::string& text);

}  // namespace zor::pack
