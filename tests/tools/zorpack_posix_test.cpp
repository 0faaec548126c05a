// What only a POSIX system has: signals, file-size limits, permission bits
// and owners.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "packer.h"
#include "platform_new_file_posix.h"
#include "zorpack_command.h"
#include "runtime/file.h"
#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

namespace {

// The second user of the shared-folder tests (nobody).
constexpr uid_t kOtherUser = 65534;
// A third user, who owns a shared folder.
constexpr uid_t kThirdUser = 1234;
constexpr int kStatusFailure = 2;

bool IsRoot() {
  return geteuid() == 0;
}

// Runs `body` in a child process as the second user, in `folder`, so that
// it needs no right to the folders above it (a private build folder); true
// when it returned true there.
bool AsOtherUser(const std::string& folder, const std::function<bool()>& body) {
  pid_t child = fork();
  if (child == 0) {
    bool done = chdir(folder.c_str()) == 0 && setgroups(0, nullptr) == 0 &&
                setgid(kOtherUser) == 0 && setuid(kOtherUser) == 0 && body();
    _exit(done ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command quietly; false when it fails (setfacl where the file
// system keeps no ACLs, chattr where it has no append-only folders).
bool RunQuietly(const std::string& command) {
  return system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// getfacl's entries of `path`, without comments, one per line.
std::string AclOf(const std::string& path) {
  std::string text;
  FILE* pipe = popen(("getfacl -cpEn " + ShellQuoted(path) + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  pclose(pipe);
  return text;
}

// What the link at `path` holds; empty when it cannot be read.
std::string LinkText(const std::string& path) {
  char target[PATH_MAX];
  ssize_t length = readlink(path.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The temporary file in `temporaryFolder` and its mode; empty and 0 when
// there is none.
std::string temporaryFolder;
std::string TemporaryFile(mode_t* mode) {
  *mode = 0;
  for (const std::string& name : Entries(temporaryFolder)) {
    struct stat facts;
    const std::string path = temporaryFolder + "/" + name;
    if (Contains(name, "zorpack-tmp") && stat(path.c_str(), &facts) == 0) {
      *mode = facts.st_mode & 07777;
      return path;
    }
  }
  return std::string();
}

// What happens to a pack's output at the steps only a race or another file
// system reaches.
enum class Twist {
  kNone,
  kNoUnnamedFilesOrExclusiveRename,
  // At the last look at the old output, another file is put in its place:
  // one with a second name and an ACL naming the second user.
  kSwappedAtTheLastLook,
  // The new file's ACL, or its mode, cannot be set.
  kAclRefused,
  kModeRefused,
};
Twist twist;
// Set once the temporary file is written: the twist applies from then on,
// once.
bool twistArmed;

// The mode of the temporary file while the pack writes it.
mode_t temporaryMode;
void NoteTemporaryMode(const std::string&) {
  TemporaryFile(&temporaryMode);
  twistArmed = true;
}

// The descriptor of this process that is open on `path`; -1 when none is.
int DescriptorOf(const std::string& path) {
  for (const std::string& name : Entries("/proc/self/fd")) {
    if (LinkText("/proc/self/fd/" + name) == path) return std::stoi(name);
  }
  return -1;
}

// The temporary file's descriptor becomes one that can look at the file
// but not change it, so that its ACL and mode cannot be set (as on a file
// system that refuses them) while every other step still works; its own
// descriptor is kept for RestoreOwnDescriptor when `keepOwn`.
int lookOnlyAt = -1;
int ownDescriptor = -1;
void LookOnly(bool keepOwn) {
  mode_t ignored;
  const std::string temporary = TemporaryFile(&ignored);
  lookOnlyAt = DescriptorOf(temporary);
  UniqueFile lookOnly(open(temporary.c_str(), O_PATH | O_CLOEXEC));
  if (keepOwn && lookOnlyAt >= 0) ownDescriptor = fcntl(lookOnlyAt, F_DUPFD_CLOEXEC, 0);
  if (lookOnlyAt < 0 || !lookOnly.IsValid() || dup2(lookOnly.Get(), lookOnlyAt) != lookOnlyAt) {
    ADD_FAILURE() << "cannot take the temporary file's descriptor";
  }
}
void RestoreOwnDescriptor() {
  if (ownDescriptor < 0) return;
  dup2(ownDescriptor, lookOnlyAt);
  close(ownDescriptor);
  ownDescriptor = -1;
}

// Between the look at the old output `name` and its open.
std::string swapIn;
void AtOutputLook(const std::string& name) {
  if (!twistArmed || (twist != Twist::kAclRefused && twist != Twist::kSwappedAtTheLastLook)) {
    return;
  }
  twistArmed = false;
  if (twist == Twist::kAclRefused) {
    LookOnly(true);
    return;
  }
  const std::string staged = temporaryFolder + "/staged";
  if (link(swapIn.c_str(), staged.c_str()) != 0 ||
      rename(staged.c_str(), (temporaryFolder + "/" + name).c_str()) != 0) {
    ADD_FAILURE() << "cannot swap the output: " << strerror(errno);
  }
}

// Once the ACL is set and the mode is next: the temporary file's mode then.
// After a refused ACL the file's own descriptor comes back, so that the
// mode can be set: the pack fails only if the ACL's failure counts.
mode_t modeBeforeFinalMode;
void AtFinalMode() {
  TemporaryFile(&modeBeforeFinalMode);
  RestoreOwnDescriptor();
  if (twist == Twist::kModeRefused) LookOnly(false);
}

// The descriptor `redirectedLink` made another name of `redirectedTo`'s
// file, so that its link in /proc leads there.
int redirectedLink;
int redirectedTo;
void RedirectLink(const std::string&) {
  if (dup2(redirectedTo, redirectedLink) != redirectedLink) ADD_FAILURE() << strerror(errno);
}

}  // namespace

// Stopped half way by any signal whose default ends the process, a pack
// leaves no temporary file behind, and dies of the signal it was sent. A
// signal that the caller ignored (nohup, a background job) stays ignored:
// the pack goes on to its end. Started with standard output and error
// closed, the pack opens none of its files under their numbers: while it
// writes, both still name the stand-in it put there (the root folder, for
// lookups only), so that no message can land in the product.
TEST(zorpack_program, TerminatedPackLeavesNothing) {
  struct Case {
    int signalNumber;
    bool ignoredByCaller;
    bool closedStreams = false;  // standard output and error
  };
  const Case cases[] = {
      {SIGTERM, false},       {SIGINT, false},  {SIGHUP, false},    {SIGQUIT, false},
      {SIGUSR1, false},       {SIGUSR2, false}, {SIGALRM, false},   {SIGPIPE, false},
      {SIGXCPU, false},       {SIGPROF, false}, {SIGVTALRM, false}, {SIGRTMIN, false},
      {SIGRTMAX, false},      {SIGHUP, true},   {SIGINT, true},     {SIGQUIT, true},
      {SIGTERM, false, true},
  };
  // qemu-user keeps the host's last real-time signal for itself: sent to
  // an emulated packer, it never arrives.
  const bool emulated = !std::string(ZOR_PACK_TEST_EMULATOR).empty();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signalNumber)) + (c.ignoredByCaller ? " (ignored)" : ""));
    if (emulated && c.signalNumber == SIGRTMAX) continue;
    PackDir dir;
    WriteSparseFile(dir.File("big.exe"), PeImageWithTail(100, 5), 1ull << 30);
    const std::vector<std::string> before = Entries(dir.Path());
    // An ignored signal is inherited as ignored.
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = SIG_IGN;
    if (c.ignoredByCaller) sigaction(c.signalNumber, &ignore, &previous);
    const std::string out = c.closedStreams ? "" : dir.File("out.txt");
    const std::string err = c.closedStreams ? "" : dir.File("err.txt");
    int child = StartZorpackProgram(
        {"pack", LauncherExePath(), dir.File("big.exe"), dir.File("out.exe")}, out, err);
    if (c.ignoredByCaller) sigaction(c.signalNumber, &previous, nullptr);
    ASSERT_GT(child, 0);
    // Once the temporary file is there, the copy is under way.
    bool writing = false;
    for (int i = 0; i < 20000 && !writing; ++i) {
      for (const std::string& name : Entries(dir.Path()))
        writing |= name.find("zorpack-tmp") != std::string::npos;
      if (!writing) usleep(500);
    }
    // An emulator's own descriptors would stand in the way.
    for (int stream = 1; c.closedStreams && !emulated && stream <= 2; ++stream) {
      EXPECT_EQ(LinkText("/proc/" + std::to_string(child) + "/fd/" + std::to_string(stream)), "/")
          << stream;
    }
    kill(child, c.signalNumber);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(writing) << "the pack never started writing";
    std::vector<std::string> expected = before;
    if (!c.closedStreams) expected.insert(expected.end(), {"err.txt", "out.txt"});
    if (c.ignoredByCaller) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      expected.push_back("out.exe");
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signalNumber) << status;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir.Path()), expected);
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
// and its access ACL, but never gains group or other write permission that
// a new file would not get: the ACL loses it from its mask. A new output
// gets what the umask, or the folder's default ACL, gives a new file. In a
// sticky folder another user's file is never replaced (the rows that need a
// second user run as root only). Whatever it becomes, the file is its
// owner's alone while it is written, and its ACL goes on already narrowed
// to its mode. The same where the file system makes no unnamed files and
// has no exclusive rename: nothing is left behind. An old output that is
// another file by the time it is opened gives nothing of its access; an
// ACL or a mode that cannot be set fails the pack.
TEST(zorpack_pack, OutputsArePrivateUntilCompleteThenGetTheirPermissions) {
  struct Case {
    const char* what;
    mode_t mode;  // 0: no output before
    mode_t umask;
    bool othersFile;
    bool stickyFolder;
    mode_t expected;                    // 0: refused
    const char* acl = nullptr;          // setfacl -m on the old output
    const char* folderAcl = nullptr;    // setfacl -m on the folder
    const char* expectedAcl = nullptr;  // lines getfacl must show
    bool secondName = false;            // the old output is also another name's file
    bool setgidFolder = false;          // of the second user's group: new files get it
    Twist twist = Twist::kNone;
  };
  const Case cases[] = {
      {"own private file", 0600, 022, false, false, 0600},
      {"own file writable by all", 0666, 022, false, false, 0644},
      {"own file writable by all, umask 002", 0666, 002, false, false, 0664},
      {"own file writable by all, umask 000", 0666, 000, false, false, 0666},
      {"new file, umask 000", 0, 000, false, false, 0666},
      {"new file, umask 077", 0, 077, false, false, 0600},
      {"own file in a sticky folder", 0640, 022, false, true, 0640},
      // A product never becomes set-user-ID, set-group-ID or sticky.
      {"own file with its special bits", 07755, 022, false, false, 0755},
      {"own file whose ACL shuts a user out", 0664, 022, false, false, 0644, "u:65534:---", nullptr,
       "user:65534:---\ngroup::rw-\nmask::r--\n"},
      {"new file in a folder with a default ACL", 0, 077, false, false, 0660, nullptr,
       "d:u::rw,d:g::r,d:o::-,d:u:65534:rw", "user:65534:rw-\ngroup::r--\nmask::rw-\n"},
      {"own file without an ACL in a folder with a default ACL", 0640, 022, false, false, 0640,
       nullptr, "d:u::rw,d:g::r,d:o::-,d:u:65534:rw", "group::r--\nother::---\n"},
      // Only a file of one's own, with no other name, says what the output
      // should allow; any other gets what a new file gets.
      {"own file with a second name", 0666, 022, false, false, 0644, "u:65534:rw", nullptr, nullptr,
       true},
      // The group bits are for the old file's group, which stays.
      {"own file in a folder that gives new files its group", 0640, 022, false, false, 0640,
       nullptr, nullptr, nullptr, false, true},
      {"another user's file in a sticky folder", 0666, 022, true, true, 0},
      {"new file, umask 077, without unnamed files or exclusive renames", 0, 077, false, false,
       0600, nullptr, nullptr, nullptr, false, false, Twist::kNoUnnamedFilesOrExclusiveRename},
      {"new file in a folder with a default ACL, without unnamed files or exclusive renames", 0,
       077, false, false, 0660, nullptr, "d:u::rw,d:g::r,d:o::-,d:u:65534:rw",
       "user:65534:rw-\ngroup::r--\nmask::rw-\n", false, false,
       Twist::kNoUnnamedFilesOrExclusiveRename},
      {"own file swapped at the last look", 0600, 022, false, false, 0644, nullptr, nullptr,
       nullptr, false, false, Twist::kSwappedAtTheLastLook},
      {"own file whose ACL shuts a user out, and the new file's ACL cannot be set", 0664, 022,
       false, false, 0, "u:65534:---", nullptr, nullptr, false, false, Twist::kAclRefused},
      {"own file, and the new file's mode cannot be set", 0640, 022, false, false, 0, nullptr,
       nullptr, nullptr, false, false, Twist::kModeRefused},
      {"another user's file elsewhere", 0666, 002, true, false, 0664, "u:65534:rw"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The last rows: what ran before them still counts.
    if (c.othersFile && !IsRoot()) GTEST_SKIP() << "another user's file needs root to make";
    if (c.setgidFolder && !IsRoot()) continue;
    PackDir dir;
    const std::string folder = dir.File("shared");
    MakeFolder(folder);
    if (c.stickyFolder) {
      ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
    }
    const std::string output = folder + "/out.exe";
    if (c.mode != 0) {
      WriteBytes(output, Bytes{'o', 'l', 'd'});
      ASSERT_EQ(chmod(output.c_str(), c.mode), 0);
    }
    if (c.othersFile) {
      ASSERT_EQ(chown(output.c_str(), kOtherUser, kOtherUser), 0);
    }
    if (c.secondName) {
      ASSERT_EQ(link(output.c_str(), dir.File("notes").c_str()), 0);
    }
    if (c.setgidFolder) {
      ASSERT_EQ(chown(folder.c_str(), static_cast<uid_t>(-1), kOtherUser), 0);
      ASSERT_EQ(chmod(folder.c_str(), 02755), 0);
    }
    if ((c.acl != nullptr &&
         !RunQuietly("setfacl -m " + std::string(c.acl) + " " + ShellQuoted(output))) ||
        (c.folderAcl != nullptr &&
         !RunQuietly("setfacl -m " + std::string(c.folderAcl) + " " + ShellQuoted(folder)))) {
      std::cout << "skipped, no ACLs here: " << c.what << "\n";
      continue;
    }
    swapIn = dir.File("other");
    twist = c.twist;
    twistArmed = false;
    if (twist == Twist::kSwappedAtTheLastLook) {
      WriteBytes(swapIn, Bytes{'o', 't', 'h', 'e', 'r'});
      if (!RunQuietly("setfacl -m u:65534:rw " + ShellQuoted(swapIn))) continue;
    }
    const bool fallbacks = c.twist == Twist::kNoUnnamedFilesOrExclusiveRename;
    pack::DenyUnnamedFilesForTesting(fallbacks);
    pack::DenyExclusiveRenameForTesting(fallbacks);
    temporaryFolder = folder;
    temporaryMode = 0;
    modeBeforeFinalMode = 0;
    pack::SetBeforePayloadCopyHookForTesting(NoteTemporaryMode);
    pack::SetBeforeOutputOpenHookForTesting(AtOutputLook);
    pack::SetBeforeFinalModeHookForTesting(AtFinalMode);
    mode_t previousUmask = umask(c.umask);
    pack::PackedFile packed;
    std::string error;
    bool done =
        pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), output, &packed, &error);
    umask(previousUmask);
    pack::SetBeforePayloadCopyHookForTesting(nullptr);
    pack::SetBeforeOutputOpenHookForTesting(nullptr);
    pack::SetBeforeFinalModeHookForTesting(nullptr);
    pack::DenyUnnamedFilesForTesting(false);
    pack::DenyExclusiveRenameForTesting(false);
    if (ownDescriptor >= 0) close(ownDescriptor);
    ownDescriptor = -1;
    const std::vector<std::string> left = Entries(folder);
    struct stat facts;
    ASSERT_EQ(stat(output.c_str(), &facts), 0);
    if (c.expected == 0) {
      EXPECT_FALSE(done);
      const bool refusedAccess = twist == Twist::kAclRefused || twist == Twist::kModeRefused;
      const std::string reason = refusedAccess ? "cannot set the permissions of the output '" +
                                                     output + "': " + strerror(EBADF)
                                               : "belongs to another user (user ID 65534)";
      EXPECT_NE(error.find(reason), std::string::npos) << error;
      EXPECT_EQ(ReadBytes(output), (Bytes{'o', 'l', 'd'}));
      EXPECT_EQ(left, std::vector<std::string>{"out.exe"});
      continue;
    }
    ASSERT_TRUE(done) << error;
    EXPECT_EQ(left, std::vector<std::string>{"out.exe"});
    EXPECT_EQ(temporaryMode, 0600u);
    // Never more than it ends with, not even once its ACL is on.
    EXPECT_EQ(modeBeforeFinalMode & ~c.expected, 0u) << std::oct << modeBeforeFinalMode;
    EXPECT_EQ(facts.st_mode & 07777, c.expected);
    EXPECT_EQ(facts.st_uid, geteuid());
    EXPECT_EQ(facts.st_gid, getegid());
    std::string acl = AclOf(output);
    std::string expectedAcl = c.expectedAcl != nullptr ? c.expectedAcl : "";
    EXPECT_EQ(Contains(acl, "user:65534"), Contains(expectedAcl, "user:65534")) << acl;
    std::string line;
    for (char at : expectedAcl) {
      line += at;
      if (at != '\n') continue;
      EXPECT_TRUE(Contains(acl, line)) << line << " not in\n" << acl;
      line.clear();
    }
  }
}

// Paths are walked under the kernel's protected_symlinks rule, whatever
// that setting is, for the output's folder and for inputs, their last name
// included: in a sticky folder that everyone may write to, another user's
// link is refused and named with its owner; a link of one's own or of that
// folder's owner, and any link elsewhere, leads on. As for the kernel, 40
// links in a row lead on and the 41st is refused. Rows that need a second
// user run as root.
TEST(zorpack_pack, LinksInPathsFollowTheProtectedLinkRule) {
  constexpr mode_t kShared = 01777;  // sticky and writable by all
  constexpr mode_t kOwn = 0755;
  constexpr int kLinkLimit = 40;
  enum class Through { kOutputFolder, kPayloadFolder, kPayloadItself };
  struct Case {
    const char* what;
    mode_t folderMode;  // of the folder the link lies in
    bool othersLink;
    bool othersFolder;  // the shared folder belongs to the second user
    bool refused;
    Through through = Through::kOutputFolder;
    int links = 1;  // in a row, each leading to the next
  };
  const Case cases[] = {
      {"own link in a shared folder", kShared, false, false, false},
      {"own link in a folder of one's own", kOwn, false, false, false},
      {"another user's link in a shared folder", kShared, true, false, true},
      {"the shared folder's owner's link", kShared, true, true, false},
      // An owner that a user namespace does not map shows as the overflow
      // ID: equal there, link and folder owners may still be two users.
      {"link and folder of the overflow ID", kShared, true, true, true},
      {"another user's link in a folder of one's own", kOwn, true, false, false},
      // Sticky but closed to others, or open but not sticky: nobody else
      // could have put the link there to be followed by root.
      {"another user's link in a sticky folder others may not write to", 01755, true, false, false},
      {"another user's link in a folder all may write to, not sticky", 0777, true, false, false},
      {"another user's link in a payload's path", kShared, true, false, true,
       Through::kPayloadFolder},
      {"another user's link as the payload", kShared, true, false, true, Through::kPayloadItself},
      {"own link as the payload", kShared, false, false, false, Through::kPayloadItself},
      {"links in a row up to the limit", kOwn, false, false, false, Through::kOutputFolder,
       kLinkLimit},
      {"one link past the limit", kOwn, false, false, true, Through::kOutputFolder, kLinkLimit + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if ((c.othersLink || c.othersFolder) && !IsRoot()) continue;
    PackDir dir;
    const std::string shared = dir.File("shared");
    const std::string release = dir.File("release");
    MakeFolder(shared);
    MakeFolder(release);
    WriteBytes(release + "/out.exe", Bytes{'o', 'l', 'd'});
    WriteBytes(release + "/tool.exe", ReadBytes(SampleToolExePath()));
    ASSERT_EQ(chmod(shared.c_str(), c.folderMode), 0);
    const bool payloadItself = c.through == Through::kPayloadItself;
    const std::string link = shared + (payloadItself ? "/tool.exe" : "/build");
    // build -> build.1 -> ... -> the release folder.
    for (int i = 0; i < c.links; ++i) {
      const std::string from = i == 0 ? link : link + "." + std::to_string(i);
      const std::string to = i + 1 < c.links ? link + "." + std::to_string(i + 1)
                             : payloadItself ? release + "/tool.exe"
                                             : release;
      ASSERT_EQ(symlink(to.c_str(), from.c_str()), 0);
    }
    if (c.othersLink) {
      ASSERT_EQ(lchown(link.c_str(), kOtherUser, kOtherUser), 0);
    }
    // The link's owner's, or the overflow ID when the row says the link
    // is refused.
    if (c.othersFolder) {
      const uid_t owner = c.refused ? kOtherUser : kThirdUser;
      ASSERT_EQ(chown(shared.c_str(), owner, owner), 0);
      ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
    }
    const bool toRelease = c.through == Through::kOutputFolder;
    const std::string payload = toRelease       ? SampleToolExePath()
                                : payloadItself ? link
                                                : shared + "/build/tool.exe";
    const std::string output = toRelease ? shared + "/./build/out.exe" : dir.File("out.exe");
    pack::PackedFile packed;
    std::string error;
    bool done = pack::PackLauncherFile(LauncherExePath(), payload, output, &packed, &error);
    EXPECT_EQ(done, !c.refused) << error;
    if (c.refused && c.links > 1) {
      EXPECT_TRUE(Contains(error, strerror(ELOOP))) << error;
    } else if (c.refused) {
      EXPECT_TRUE(Contains(error, "link '" + link + "'")) << error;
      EXPECT_TRUE(Contains(error, "user ID 65534")) << error;
    }
    EXPECT_EQ(ReadBytes(release + "/out.exe") == (Bytes{'o', 'l', 'd'}), c.refused || !toRelease);
    EXPECT_EQ(Exists(dir.File("out.exe")), !c.refused && !toRelease);
  }
  // In /proc the kernel alone knows where a link leads: an open descriptor's
  // file is packed; the kernel's own files are no input.
  PackDir dir;
  UniqueFile tool(open(SampleToolExePath().c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(tool.IsValid());
  pack::PackedFile packed;
  std::string error;
  bool done =
      pack::PackLauncherFile(LauncherExePath(), "/proc/self/fd/" + std::to_string(tool.Get()),
                             dir.File("fd.exe"), &packed, &error);
  EXPECT_TRUE(done) << error;
  EXPECT_FALSE(pack::PackLauncherFile(LauncherExePath(), "/proc/self/status", dir.File("k.exe"),
                                      &packed, &error));
  EXPECT_TRUE(Contains(error, "the kernel's own files")) << error;
  // Nor is one an output: nothing there is opened, not even to read an old
  // OUTPUT's ACL.
  EXPECT_FALSE(pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), "/proc/self/status",
                                      &packed, &error));
  EXPECT_TRUE(Contains(error, "the kernel's own (in /proc or /sys)")) << error;
  // A descriptor that leads to another file between the look and the open
  // is refused: what was looked at is what must be read.
  WriteBytes(dir.File("other.exe"), PeImageWithTail(9, 2));
  UniqueFile other(open(dir.File("other.exe").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(other.IsValid());
  redirectedLink = tool.Get();
  redirectedTo = other.Get();
  pack::SetBeforeKernelLinkOpenHookForTesting(RedirectLink);
  done = pack::PackLauncherFile(LauncherExePath(), "/proc/self/fd/" + std::to_string(tool.Get()),
                                dir.File("moved.exe"), &packed, &error);
  pack::SetBeforeKernelLinkOpenHookForTesting(nullptr);
  EXPECT_FALSE(done);
  EXPECT_TRUE(Contains(error, "changed while it was opened")) << error;
  EXPECT_FALSE(Exists(dir.File("moved.exe")));
}

// The folder is opened for lookups only: a drop folder that the user may
// write and search but not list takes outputs, as cp writes there. Root
// may list any folder, so the pack runs as the second user there.
TEST(zorpack_pack, WriteOnlyFolderTakesOutputs) {
  PackDir dir;
  const std::string drop = dir.File("incoming");
  MakeFolder(drop);
  const std::string input = dir.File("inputs");
  MakeFolder(input);
  WriteBytes(input + "/launcher.exe", ReadBytes(LauncherExePath()));
  WriteBytes(input + "/tool.exe", ReadBytes(SampleToolExePath()));
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(drop.c_str(), 01733), 0);
  // Paths from the test's folder, where the second user starts.
  auto pack = [&] {
    pack::PackedFile packed;
    std::string error;
    bool done = pack::PackLauncherFile("inputs/launcher.exe", "inputs/tool.exe", "incoming/out.exe",
                                       &packed, &error);
    if (!done) fprintf(stderr, "%s\n", error.c_str());
    return done;
  };
  if (IsRoot()) {
    EXPECT_TRUE(AsOtherUser(dir.Path(), pack));
  } else {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::u8path(dir.Path()));
    EXPECT_TRUE(pack());
    std::filesystem::current_path(previous);
  }
  ASSERT_EQ(chmod(drop.c_str(), 0755), 0);
  EXPECT_EQ(Entries(drop), std::vector<std::string>{"out.exe"});
}

// extract to a terminal is refused before a byte goes out: a payload from
// the field could carry escape sequences. A pipe or a file is fine.
TEST(zorpack_program, ExtractRefusesATerminal) {
  PackDir dir;
  const std::string packed = dir.File("Updater.exe");
  ASSERT_EQ(RunZorpackProgram({"pack", LauncherExePath(), SampleToolExePath(), packed}).exitCode,
            0);
  int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  int child = StartZorpackProgram({"extract", packed, "-"}, ptsname(terminal), dir.File("err"));
  ASSERT_GT(child, 0);
  // Whatever reaches the terminal is drained, so that a packer that writes
  // there cannot stall on a full terminal.
  fcntl(terminal, F_SETFL, O_NONBLOCK);
  size_t shown = 0;
  int status = 0;
  for (int i = 0; i < 10000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    char seen[4096];
    ssize_t got = read(terminal, seen, sizeof seen);
    shown += got > 0 ? static_cast<size_t>(got) : 0;
    if (got <= 0) usleep(1000);
  }
  if (waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kStatusFailure) << status;
  EXPECT_TRUE(Contains(ReadText(dir.File("err")), "standard output is a terminal"))
      << ReadText(dir.File("err"));
  EXPECT_EQ(shown, 0u);
  close(terminal);
}

// Standard output appended to one of the command's own inputs ("zorpack
// sbom ... >> PRODUCT") would write into a file while it is read: every
// command refuses it, and the file keeps its bytes.
TEST(zorpack_program, StandardOutputThatIsAnInputIsRefused) {
  PackDir dir;
  const std::string launcher = dir.File("launcher.exe");
  const std::string packed = dir.File("Updater.exe");
  WriteBytes(launcher, ReadBytes(LauncherExePath()));
  ASSERT_EQ(RunZorpackProgram({"pack", launcher, SampleToolExePath(), packed}).exitCode, 0);
  const Bytes before = ReadBytes(packed);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"sbom", "--launcher", launcher, packed}, packed},
      {{"sbom", "--launcher", launcher, packed, dir.File("sbom.json")}, launcher},
      {{"inspect", packed}, packed},
      {{"verify", "--launcher", launcher, packed}, launcher},
      {{"extract", packed, "-"}, packed},
      {{"pack", launcher, SampleToolExePath(), dir.File("out.exe")}, launcher},
  };
  for (const auto& [arguments, appendedTo] : cases) {
    SCOPED_TRACE(arguments[0] + " >> " + appendedTo);
    const Bytes input = ReadBytes(appendedTo);
    UniqueFile out(open(appendedTo.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    UniqueFile err(open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    ASSERT_TRUE(out.IsValid() && err.IsValid());
    EXPECT_EQ(pack::RunZorpack(arguments, out.Get(), err.Get()), kStatusFailure);
    EXPECT_NE(ReadText(dir.File("err")).find("standard output is '" + appendedTo + "' itself"),
              std::string::npos)
        << ReadText(dir.File("err"));
    EXPECT_EQ(ReadBytes(appendedTo), input);
    EXPECT_FALSE(Exists(dir.File("sbom.json")) || Exists(dir.File("out.exe")));
  }
  EXPECT_EQ(ReadBytes(packed), before);
}

// In an append-only folder the temporary file can be neither renamed over
// the output nor removed: the message names it and says why, so that
// nobody keeps a full copy unknowingly, after the reason the output was
// not written, which it keeps.
TEST(zorpack_pack, TemporaryFileThatCannotBeRemovedIsNamed) {
  if (!IsRoot()) GTEST_SKIP() << "chattr +a needs root";
  PackDir dir;
  const std::string folder = dir.File("append-only");
  MakeFolder(folder);
  WriteBytes(folder + "/out.exe", Bytes{'o', 'l', 'd'});
  if (!RunQuietly("chattr +a " + ShellQuoted(folder))) {
    GTEST_SKIP() << "this file system has no append-only folders";
  }
  pack::PackedFile packed;
  std::string error;
  bool done = pack::PackLauncherFile(LauncherExePath(), SampleToolExePath(), folder + "/out.exe",
                                     &packed, &error);
  std::vector<std::string> left = Entries(folder);
  RunQuietly("chattr -a " + ShellQuoted(folder));
  EXPECT_FALSE(done);
  ASSERT_EQ(left.size(), 2u);
  const std::string temporary = left[0] == "out.exe" ? left[1] : left[0];
  EXPECT_EQ(error.rfind("cannot replace '" + folder + "/out.exe': " + strerror(EPERM) + "; ", 0),
            0u)
      << error;
  EXPECT_TRUE(Contains(error, "'" + folder + "/" + temporary + "' is left behind")) << error;
  EXPECT_TRUE(Contains(error, strerror(EPERM))) << error;
  EXPECT_EQ(ReadBytes(folder + "/out.exe"), (Bytes{'o', 'l', 'd'}));
}

// A standard output that another program made non-blocking (a shared pipe
// with a slow reader) takes every byte, not an error once it is full.
TEST(zorpack_program, NonBlockingOutputTakesEveryByte) {
  constexpr size_t kBytes = 4u << 20;
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
  size_t received = 0;
  std::thread reader([&] {
    usleep(100000);
    char buffer[65536];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) received += got;
  });
  const std::vector<unsigned char> bytes(kBytes, 0x5a);
  EXPECT_TRUE(WriteAll(pipeEnds[1], bytes.data(), static_cast<uint32_t>(bytes.size())));
  close(pipeEnds[1]);
  reader.join();
  close(pipeEnds[0]);
  EXPECT_EQ(received, kBytes);
}

}  // namespace zor::test
