// Helpers shared by the packer's tests, which run natively with the Linux
// packer and under Wine with zorpack.exe: files by UTF-8 path (as the packer
// takes them), the built programs, and made-up executables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/payload_location.h"
#include "support/file_bytes.h"
#include "support/launcher_file.h"
#include "support/payload_probe.h"
#include "support/temp_dir.h"
#include "support/test_process.h"

namespace zor::test {

// The folder separator of the platform's paths.
extern const char kPathSeparator[];

// The Windows build's launcher image and sample tool (the running test's
// own copies), and the packer program under test (zorpack.exe, or the
// native zorpack).
std::string LauncherExePath();
std::string SampleToolExePath();
std::string ZorpackProgramPath();

// Fail the current test when the file cannot be read or written in full.
Bytes ReadBytes(const std::string& path);
// The file's bytes as text, as a program wrote them.
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
// The names in `folder`, sorted.
std::vector<std::string> Entries(const std::string& folder);

// A minimal PE image followed by `extraBytes` of pattern, so that its length
// and contents can be chosen freely.
Bytes PeImageWithTail(size_t extraBytes, uint32_t seed, bool pe32Plus = false);

// The built launcher image followed by `extraBytes` of pattern.
Bytes LauncherImageWithTail(size_t extraBytes, uint32_t seed);

// Makes a file of `size` bytes that starts with `head` and is zero after it,
// without writing the zeros (the file system keeps them sparse where it can).
void WriteSparseFile(const std::string& path, const Bytes& head, uint64_t size);

// Special files and sharing, one implementation per platform
// (special_files_*.cpp). A test that needs what its platform lacks skips
// itself with that text (GTEST_SKIP), rather than passing without trying.
// Folders hold FIFOs (POSIX; not Windows).
extern const char* const kNoFifosHere;
// Another program may rewrite a file that the packer holds open for reading
// (POSIX; Windows refuses the write).
extern const char* const kNoWritesToOpenInputs;

// Maps the first `size` bytes of `path` shared and writable, and writes its
// first page once: the file's times are stamped now, before the packer
// opens it, and a later QuietRewrite leaves size and times as they were (what
// another user who owns an input can do while zorpack reads it). False
// where the packer's open would then be refused (Windows).
bool StartQuietRewrite(const std::string& path, size_t size);
// Flips bits of the byte at `offset` (exclusive or 0x55: "MZ" becomes
// "\030Z") through that mapping; false when none is made.
bool QuietRewrite(size_t offset);
void EndQuietRewrite();

// Makes a FIFO at `path`: opening it for reading waits for a writer. False
// when it cannot, and always where kNoFifosHere is set.
bool MakeFifo(const std::string& path);

// Makes a symbolic link at `path` to `target` (which need not exist).
// False where a test may not make one (Windows without a privilege).
bool MakeLink(const std::string& path, const std::string& target);

// Sets drive C:'s current folder for this process and its children, as
// cmd.exe does; false where drives have none (POSIX).
bool SetDriveCFolder(const std::string& folder);

// A name that no folder takes, so that looking it up fails for another
// reason than a missing file: longer than a name may be on POSIX, and with
// a character that no Windows name holds there (Wine takes a name that is
// too long for a missing one).
std::string NameNoFolderTakes();

// A link at `path` to `target` where the platform lets a test make one
// (POSIX); elsewhere a plain file, which takes the name just the same.
void PlantLinkOrFile(const std::string& path, const std::string& target);

// A sparse file that starts with `head` and ends, at offset `trailerAt`,
// with a trailer claiming a payload of `payloadSize` bytes.
void WriteSparseFileWithTrailer(const std::string& path, const Bytes& head, uint64_t trailerAt,
                                uint64_t payloadSize);

}  // namespace zor::test
