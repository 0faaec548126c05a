// The launcher's one way of telling the user anything: a modal error box
// with a fixed lead sentence and one line naming the stage that failed.
#pragma once

#include "runtime/wide_string.h"

namespace zor {

constexpr wchar_t kFailureLead[] = L"Unable to start the firmware update tool.\r\n\r\n";

// The stages that can end a run early, each with its own detail line.
enum class LaunchFailure {
  kPayloadInvalid,
  kCacheNotCreated,
  kCacheLockNotAcquired,
  kPayloadNotExtracted,
  kToolNotStarted,
};

const wchar_t* DetailTextOf(LaunchFailure failure);

// The box's full text: the lead, then the detail.
WideString ComposeFailureText(const WideString& detail);

// Shows the box (no owner, OK button, error icon) and returns once the user
// has dismissed it. A box that cannot be shown is ignored.
void ReportLaunchFailure(const WideString& title, const WideString& detail);

}  // namespace zor
