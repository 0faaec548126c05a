// The stages of the launch sequence after the launcher knows its own path.
// Each returns false with the failure to report; whatever a stage held only
// for itself is released by then, and what it keeps lives in the context.
#pragma once

#include "launcher/launch_context.h"
#include "ui/failure_report.h"

namespace zor {

// Opens the launcher's own file and reads where the payload lies in it.
bool LocatePayloadStage(LaunchContext* context, LaunchFailure* failure);

// Makes sure a verified copy of the payload stands in the cache, under the
// cache lock, and leaves the lock released (its handle still open).
bool CacheStage(LaunchContext* context, LaunchFailure* failure);

// Starts the cached copy, waits for it and takes its exit code.
bool RunStage(LaunchContext* context, LaunchFailure* failure);

}  // namespace zor
