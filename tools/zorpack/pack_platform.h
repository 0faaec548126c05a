// What the packer needs of the operating system beyond the file format's
// file and hash interface: opening, creating, replacing and comparing files
// by path, and text output. Every path in the packer is a UTF-8 string: on
// Linux the user's bytes, passed through untouched (no locale conversion);
// the Windows implementation converts to and from UTF-16 at this boundary.
// One implementation per platform, chosen when linking.
#pragma once

#include <stdint.h>

#include <string>

#include "payload/file_io.h"
#include "runtime/unique_resource.h"

namespace zor::pack {

enum class PathKind { kMissing, kFile, kFolder };

// What `path` names now; kMissing also when it cannot be queried.
PathKind KindOfPath(const std::string& path);

// The characters that end a folder name in a path.
bool IsPathSeparator(char c);

bool IsOpenFile(FileHandle file);
void CloseFile(FileHandle file);
// What an owner of no file holds; IsOpenFile is false for it.
#ifdef _WIN32
constexpr FileHandle kNoFileHeld = nullptr;
#else
constexpr FileHandle kNoFileHeld = -1;
#endif
using UniqueFile = UniqueResource<FileHandle, CloseFile, IsOpenFile, kNoFileHeld>;

// Opens an existing file for reading; NoFile() on failure.
FileHandle OpenForReading(const std::string& path);

// Creates `path`, or empties an existing file, open for reading and writing;
// NoFile() on failure.
FileHandle CreateForWriting(const std::string& path);

// Writes the file's data through to the disk.
bool FlushFile(FileHandle file);

// Renames `from` to `to`, replacing a file there in one step.
bool ReplaceFile(const std::string& from, const std::string& to);

void RemoveFile(const std::string& path);

// True when `path` names the same file as the open `file` (hard links and
// other spellings of one path included). False when `path` does not exist.
bool IsSameFile(FileHandle file, const std::string& path);

uint32_t CurrentProcessId();

// The system's text for the last failed call, on one line; empty when the
// failure left no error code.
std::string LastFailureText();

#ifdef _WIN32
// UTF-8 of UTF-16 text, such as the arguments Windows hands over.
std::string Utf8FromWide(const std::wstring& text);
#endif

// Writes UTF-8 `text` to `stream` (standard output or error).
void WriteText(FileHandle stream, const std::string& text);

}  // namespace zor::pack
