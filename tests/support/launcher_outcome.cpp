#include "support/launcher_outcome.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zor::test {

namespace {

constexpr DWORD kPollMs = 20;

}  // namespace

LauncherOutcome FinishLauncher(ChildProcess* launcher, DWORD timeoutMs) {
  LauncherOutcome outcome;
  for (DWORD waited = 0; waited <= timeoutMs; waited += kPollMs) {
    if (launcher->Wait(kPollMs, &outcome.exitCode)) {
      outcome.exited = true;
      return outcome;
    }
    if (!outcome.boxShown && HasMessageBox(launcher->Id())) {
      outcome.boxShown = DismissMessageBox(launcher->Id(), &outcome.box);
    }
  }
  launcher->Kill();
  return outcome;
}

LauncherOutcome RunLauncher(const std::wstring& launcherPath, DWORD timeoutMs) {
  ChildProcess launcher;
  if (!launcher.Start(launcherPath)) {
    ADD_FAILURE() << "cannot start " << std::filesystem::path(launcherPath).string();
    return {};
  }
  return FinishLauncher(&launcher, timeoutMs);
}

}  // namespace zor::test
