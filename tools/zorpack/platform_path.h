// Paths in the packer's own UTF-8, and how a path is opened: every path in
// the packer is a UTF-8 string, on Linux the user's bytes passed through
// untouched (no locale conversion); the Windows implementation converts to
// and from UTF-16 at this boundary. One implementation per platform.
#pragma once

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// A UTF-8 path in the platform's own path characters.
std::basic_string<PathChar> NativePath(const std::string& path);

// UTF-8 of the platform's own text, such as the arguments Windows hands over.
std::string Utf8FromNative(const std::basic_string<PathChar>& text);

enum class PathKind { kMissing, kFile, kFolder };

// What `path` names now; kMissing also when it cannot be queried.
PathKind KindOfPath(const std::string& path);

// The characters that end a folder name in a path.
bool IsPathSeparator(char c);

// Names a device rather than a file in a folder ("NUL", "\\.\COM1" on
// Windows; nothing on POSIX, where devices are files in /dev).
bool IsDevicePath(const std::string& path);

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
// A folder in one of the kernel's own file systems (/proc, /sys) is refused.
//
// False when the folder cannot be opened: `*refusal` then says why when a
// link or the folder was refused, and is empty when the last failure tells.
bool OpenOutputFolder(const std::string& output, UniqueFile* folder, std::string* name,
                      std::string* refusal);

// Opens an input for reading, without waiting (a FIFO) or taking a terminal.
// On POSIX its path is walked as OpenOutputFolder walks a folder's, the
// kernel's link rule applied to every link, the last name's included; and
// what is not a regular file is opened for a look only, never for reading
// (a device's open can act on it), for the caller to refuse. `*refusal`
// says why when a link was refused.
FileHandle OpenInputFile(const std::string& path, std::string* refusal);

// Has `watch` see every read of every file, where it begins and its bytes;
// false fails the read (command_input.cpp compares an input's reads). On
// Windows nothing: an input opened there lets nobody write it, through a
// mapping either, until it is closed.
using InputReadWatch = bool (*)(FileHandle file, int64_t offset, const unsigned char* bytes,
                                uint32_t count);
void WatchInputReads(InputReadWatch watch);

// For tests only (POSIX): `hook`, unless null, runs with the link's name
// between the look at the file that a link in /proc leads to and its open
// for reading, so that a test can make the link lead elsewhere then.
void SetBeforeKernelLinkOpenHookForTesting(void (*hook)(const std::string& name));

}  // namespace zor::pack
