#include "launcher/launcher_main.h"

#include "common/file_name.h"
#include "launcher/launch_context.h"
#include "launcher/stages.h"
#include "runtime/heap_buffer.h"
#include "ui/display_title.h"
#include "ui/failure_report.h"

namespace zor {

namespace {

// The launcher's own full path. False when the path cannot be had or would
// not fit, before there is a title to report it under.
bool ReadOwnPath(WideString* path) {
  HeapBuffer buffer(kModulePathCapacity * sizeof(wchar_t));
  auto* units = static_cast<wchar_t*>(buffer.Get());
  DWORD length = GetModuleFileNameW(nullptr, units, kModulePathCapacity);
  if (!IsWholeModulePath(length)) return false;
  *path = WideString(units, length);
  return true;
}

}  // namespace

int LauncherWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  LaunchContext context;
  context.instance = instance;
  if (!ReadOwnPath(&context.launcherPath)) return kLaunchFailureExitStatus;
  context.displayTitle = DeriveDisplayTitle(FileNameOf(context.launcherPath));

  LaunchFailure failure = LaunchFailure::kPayloadInvalid;
  if (!LocatePayloadStage(&context, &failure) || !CacheStage(&context, &failure) ||
      !RunStage(&context, &failure)) {
    ReportLaunchFailure(context.displayTitle, WideString(DetailTextOf(failure)));
    context.exitStatus = kLaunchFailureExitStatus;
  }
  // The context closes the lock handle and the launcher's own file here.
  return context.exitStatus;
}

}  // namespace zor
