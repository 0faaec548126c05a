#include "process/tool_runner.h"

#include "process/command_line.h"
#include "runtime/heap.h"
#include "runtime/heap_buffer.h"

namespace zor {

namespace {

void DispatchQueuedMessages() {
  MSG message;
  // WM_QUIT is dispatched like any other message: only the tool's exit ends
  // the wait.
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Waits for `process` while keeping this thread's queue serviced.
bool WaitPumpingMessages(HANDLE process) {
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) return true;
    if (wait != WAIT_OBJECT_0 + 1) return false;
    DispatchQueuedMessages();
  }
}

}  // namespace

ToolOutcome RunTool(const WideString& toolPath, const WideString& workingDirectory,
                    UniqueWindow* window) {
  const ToolOutcome notRun = {false, kUnknownToolExitCode};
  WideString commandLine = BuildToolCommandLine(toolPath);
  // CreateProcessW may write into the command line, so it gets its own copy.
  HeapBuffer mutableCommandLine(CheckedBytes(commandLine.Length() + 1, sizeof(wchar_t)));
  auto* units = static_cast<wchar_t*>(mutableCommandLine.Get());
  for (size_t i = 0; i < commandLine.Length(); ++i) units[i] = commandLine[i];

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(toolPath.Data(), units, nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.Data(), &startup, &info)) {
    return notRun;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  thread.Reset();

  if (!WaitPumpingMessages(process.Get())) return notRun;

  DWORD exitCode = kUnknownToolExitCode;
  GetExitCodeProcess(process.Get(), &exitCode);
  process.Reset();
  window->Reset();
  return {true, exitCode};
}

}  // namespace zor
