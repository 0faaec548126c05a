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

// Renames `from` to `to`, replacing a file there in one step.
bool ReplaceFile(const std::string& from, const std::string& to);

void RemoveFile(const std::string& path);

// Fresh random bits from the system's generator, for names that others in
// a shared folder cannot guess; false when the generator fails.
bool RandomBits(uint64_t* bits);

// The last failed call failed because something already stands under the
// name it was to create.
bool LastFailureWasNameTaken();

// Gives the open file `file` the permission bits of the existing file at
// `path` (POSIX mode bits; nothing to carry over on Windows).
void KeepPermissions(FileHandle file, const std::string& path);

// An interrupt (SIGINT, SIGTERM or SIGHUP; a console control event on
// Windows) removes the file that CreateRemovedOnInterrupt made, until
// StopRemovingOnInterrupt, before the process ends. InstallInterruptCleanup,
// called once by the program, sets that up and makes a file-size limit an
// ordinary write error instead of a signal.
void InstallInterruptCleanup();
// Creates `path` as CreateExclusively does and, when that succeeds, has it
// removed on an interrupt. An interrupt that arrives meanwhile waits until
// both are done, so there is no moment in which it would leave the new file
// behind, nor one in which it would remove a file under that name that this
// process did not make. The failure, if any, stays the last one.
FileHandle CreateRemovedOnInterrupt(const std::string& path);
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
