// What only a POSIX system has: signals, file-size limits, permission bits
// and owners.
#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Stopped half way by any signal whose default ends the process, a pack
// leaves no temporary file behind, and dies of the signal it was sent.
TEST(zorpack_program, TerminatedPackLeavesNothing) {
  const int signals[] = {SIGTERM, SIGINT,  SIGHUP,  SIGQUIT,   SIGUSR1, SIGUSR2,
                         SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF};
  for (int signalNumber : signals) {
    SCOPED_TRACE(strsignal(signalNumber));
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
    kill(child, signalNumber);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(writing) << "the pack never started writing";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
    std::vector<std::string> after = Entries(dir.Path());
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), {"err.txt", "out.txt"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(after, expected);
  }
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

// A replaced output keeps its permission bits (a 0600 file stays private)
// but never gains group or other write permission that the umask denies a
// new file. In a sticky folder another user's file is never replaced (the
// rows that need a second user run as root only).
TEST(zorpack_pack, ReplacedOutputKeepsItsPermissionsLessOthersWrite) {
  constexpr uid_t kOtherUser = 65534;
  struct Case {
    const char* what;
    mode_t mode;
    mode_t umask;
    bool othersFile;
    bool stickyFolder;
    mode_t expected;  // 0: refused
  };
  const Case cases[] = {
      {"own private file", 0600, 022, false, false, 0600},
      {"own file writable by all", 0666, 022, false, false, 0644},
      {"own file writable by all, umask 002", 0666, 002, false, false, 0664},
      {"own file in a sticky folder", 0640, 022, false, true, 0640},
      // A product never becomes set-user-ID, set-group-ID or sticky.
      {"own file with its special bits", 07755, 022, false, false, 0755},
      {"another user's file in a sticky folder", 0666, 022, true, true, 0},
      {"another user's file elsewhere", 0666, 022, true, false, 0644},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The last rows: what ran before them still counts.
    if (c.othersFile && geteuid() != 0) {
      GTEST_SKIP() << "another user's file needs root to make";
    }
    PackDir dir;
    const std::string folder = dir.File("shared");
    MakeFolder(folder);
    if (c.stickyFolder) {
      ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
    }
    const std::string output = folder + "/out.exe";
    WriteBytes(output, Bytes{'o', 'l', 'd'});
    ASSERT_EQ(chmod(output.c_str(), c.mode), 0);
    if (c.othersFile) {
      ASSERT_EQ(chown(output.c_str(), kOtherUser, kOtherUser), 0);
    }
    mode_t previousUmask = umask(c.umask);
    pack::PackedFile packed;
    std::string error;
    bool done =
        pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), output, &packed, &error);
    umask(previousUmask);
    struct stat facts;
    ASSERT_EQ(stat(output.c_str(), &facts), 0);
    if (c.expected == 0) {
      EXPECT_FALSE(done);
      EXPECT_NE(error.find("belongs to another user (user ID 65534)"), std::string::npos) << error;
      EXPECT_EQ(ReadBytes(output), (Bytes{'o', 'l', 'd'}));
      EXPECT_EQ(Entries(folder), std::vector<std::string>{"out.exe"});
      continue;
    }
    ASSERT_TRUE(done) << error;
    EXPECT_EQ(facts.st_mode & 07777, c.expected);
    EXPECT_EQ(facts.st_uid, geteuid());
  }
}

}  // namespace zor::test
