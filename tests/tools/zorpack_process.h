// Runs the built packer (zorpack.exe under Wine, or the native zorpack) as a
// child process with its output captured, so that the tests see its real
// exit status and texts.
#pragma once

#include <string>
#include <vector>

namespace zor::test {

struct ProgramRun {
  bool finished = false;  // within the time limit; otherwise it was killed
  int exitCode = -1;
  std::string out;  // UTF-8, as written
  std::string err;
  // What the packer left in its working folder, a scratch folder of its own
  // that starts empty: a relative name that should have been refused lands
  // there, never in a folder that another test looks at.
  std::vector<std::string> leftInWorkingFolder;
};

// Where the packer's standard output goes: captured into `out`, a device
// that every write fails on with "disk full" (/dev/full), or closed (on
// Windows, no handle at all).
enum class StandardOutput { kCaptured, kFull, kClosed };

// `arguments` are UTF-8.
ProgramRun RunZorpackProgram(const std::vector<std::string>& arguments,
                             StandardOutput output = StandardOutput::kCaptured);

// Starts the packer without waiting for it, its output sent to the files
// `outPath` and `errPath` (each closed when empty), in the working folder
// `workingFolder` (this process's when empty); its process id, or -1 when it
// cannot start.
// POSIX only: the tests that signal a running packer have no Windows side.
int StartZorpackProgram(const std::vector<std::string>& arguments, const std::string& outPath,
                        const std::string& errPath, const std::string& workingFolder = "");

}  // namespace zor::test
