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

// An output is written in the folder it lies in, opened once: every later
// step (create, look, rename, remove) works relative to that open folder, so
// that another user who swaps the folder or a folder above it for a link
// meanwhile cannot send any of them elsewhere.
//
// Opens the folder of `output` (taken from its full path on Windows, so
// that a drive-relative "C:name" lies in C:'s current folder) and gives the
// output's name in it; `*name` is empty when `output` ends in a separator.
// False when the folder cannot be opened, the failure the last one.
bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name);

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
};

// False (the failure the last one) when `name` in `folder` cannot be looked
// at; a missing name is kMissing.
bool QueryOutput(FileHandle folder, const std::string& name, ExistingOutput* existing);

// Gives the new file `file`, which is to replace `replaced`, the
// permission bits of `replaced` without any group or other write permission
// that a new file does not get from the umask. Nothing on Windows.
void LimitPermissions(FileHandle file, const ExistingOutput& replaced);

// Whether `name` in `folder` is the open file `file` itself (same device
// and inode, or volume and file index), without following a link.
bool IsNamedFile(FileHandle folder, const std::string& name, FileHandle file);

// Renames `from` to `to` in `folder`, replacing a file there in one step;
// `file` is the open file named `from` (Windows renames by handle).
bool RenameInFolder(FileHandle folder, FileHandle file, const std::string& from,
                    const std::string& to);

// Removes the open file `file`, named `name` in `folder`; a file that
// someone else has put under that name meanwhile is left alone.
void RemoveFromFolder(FileHandle folder, FileHandle file, const std::string& name);

// Every signal that would end the process (a console control event on
// Windows) removes the file that CreateRemovedOnInterrupt made, until
// StopRemovingOnInterrupt, before the process ends; a fault inside zorpack
// itself (SIGSEGV and its kin) is left to the default, for its core dump.
// InstallInterruptCleanup, called once by the program, sets that up and
// makes a file-size limit an ordinary write error instead of a signal.
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

// Writes UTF-8 `text` to `stream` (standard output or error); false, with
// the reason as the last failure, when not all of it was written.
bool WriteText(FileHandle stream, const std::string& text);

}  // namespace zor::pack
