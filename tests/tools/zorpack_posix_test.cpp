// What only a POSIX system has: signals, file-size limits, and permission
// bits to keep.
#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "packer.h"
#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

// Stopped half way, a pack leaves no temporary file behind, and dies of the
// signal it was sent.
TEST(zorpack_program, TerminatedPackLeavesNothing) {
  PackDir dir;
  WriteSparseFile(dir.File("big.exe"), PeImageWithTail(100, 5), 1ull << 30);
  const std::vector<std::string> before = Entries(dir.Path());
  int child =
      StartZorpackProgram({"pack", LauncherExePath(), dir.File("big.exe"), dir.File("out.exe")},
                          dir.File("out.txt"), dir.File("err.txt"));
  ASSERT_GT(child, 0);
  // Once the temporary file is there, the copy is under way.
  bool writing = false;
  for (int i = 0; i < 20000 && !writing; ++i) {
    for (const std::string& name : Entries(dir.Path()))
      writing |= name.find("zorpack-tmp") != std::string::npos;
    if (!writing) usleep(500);
  }
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(writing) << "the pack never started writing";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  std::vector<std::string> after = Entries(dir.Path());
  std::vector<std::string> expected = before;
  expected.insert(expected.end(), {"err.txt", "out.txt"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(after, expected);
}

// A write that fails half way through the payload (here at a file-size
// limit, which the child inherits; a full disk fails the same write) leaves
// an older output as it was and no temporary file, and the message names
// the output and the system's reason.
TEST(zorpack_program, WriteFailingHalfWayLeavesNothing) {
  constexpr int kStatusFailure = 2;
  constexpr rlim_t kFileSizeLimit = 1u << 20;
  PackDir dir;
  WriteSparseFile(dir.File("big.exe"), PeImageWithTail(100, 5), 8u << 20);
  ProgramRun packed =
      RunZorpackProgram({"pack", LauncherExePath(), dir.File("big.exe"), dir.File("product.exe")});
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  const std::vector<std::string> commands[] = {
      {"pack", LauncherExePath(), dir.File("big.exe"), dir.File("out.exe")},
      {"extract", dir.File("product.exe"), dir.File("out.exe")},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    WriteBytes(dir.File("out.exe"), Bytes{'o', 'l', 'd'});
    const std::vector<std::string> before = Entries(dir.Path());
    struct rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limited = previous;
    limited.rlim_cur = kFileSizeLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ProgramRun run = RunZorpackProgram(command);
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(run.exitCode, kStatusFailure) << run.err;
    EXPECT_NE(run.err.find("'" + dir.File("out.exe") + "': "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(strerror(EFBIG)), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("zorpack-tmp"), std::string::npos) << run.err;
    EXPECT_EQ(Entries(dir.Path()), before);
    EXPECT_EQ(ReadBytes(dir.File("out.exe")), (Bytes{'o', 'l', 'd'}));
  }
}

// A replaced output keeps its permission bits (a 0600 file stays private);
// a new one follows the umask.
TEST(zorpack_pack, ReplacedOutputKeepsItsPermissions) {
  PackDir dir;
  const std::string output = dir.File("out.exe");
  WriteBytes(output, Bytes{'o', 'l', 'd'});
  std::filesystem::permissions(
      output, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  pack::PackedFile packed;
  std::string error;
  ASSERT_TRUE(
      pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), output, &packed, &error))
      << error;
  EXPECT_EQ(std::filesystem::status(output).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace zor::test
