#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tools/pack_files.h"
#include "tools/zorpack_process.h"

namespace zor::test {

int StartZorpackProgram(const std::vector<std::string>& arguments, const std::string& outPath,
                        const std::string& errPath, const std::string& workingFolder) {
  std::string program = ZorpackProgramPath();
  // A cross build's zorpack runs under the emulator that runs this test;
  // the kernel would not start it on its own.
  std::string emulator = ZOR_PACK_TEST_EMULATOR;
  std::vector<char*> argv;
  if (!emulator.empty()) argv.push_back(emulator.data());
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outPath.empty()) {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  if (errPath.empty()) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  if (!workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  }
  pid_t child = 0;
  int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return -1;
  }
  return child;
}

ProgramRun RunZorpackProgram(const std::vector<std::string>& arguments, StandardOutput output) {
  ProgramRun run;
  PackDir capture;
  std::string outPath = output == StandardOutput::kFull     ? "/dev/full"
                        : output == StandardOutput::kClosed ? ""
                                                            : capture.File("stdout.txt");
  std::string errPath = capture.File("stderr.txt");
  std::string working = capture.File("working");
  MakeFolder(working);
  pid_t child = StartZorpackProgram(arguments, outPath, errPath, working);
  if (child < 0) return run;
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.finished = true;
    run.exitCode = WEXITSTATUS(status);
  } else {
    ADD_FAILURE() << ZorpackProgramPath() << " did not exit normally";
  }
  if (output == StandardOutput::kCaptured) run.out = ReadText(outPath);
  run.err = ReadText(errPath);
  run.leftInWorkingFolder = Entries(working);
  return run;
}

}  // namespace zor::test
