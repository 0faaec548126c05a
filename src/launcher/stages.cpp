#include "launcher/stages.h"

#include "runtime/file.h"
#include "payload/payload_cache.h"
#include "payload/payload_locator.h"
#include "process/identity_window.h"
#include "process/tool_runner.h"

namespace zor {

bool LocatePayloadStage(LaunchContext* context, LaunchFailure* failure) {
  *failure = LaunchFailure::kPayloadInvalid;
  context->selfFile.Reset(
      OpenForReading(context->launcherPath.Data(), ReadSharing::kLetOthersRemove));
  context->payload = {};
  return context->selfFile.IsValid() &&
         ReadPayloadLocation(context->selfFile.Get(), &context->payload);
}

namespace {

// The copy is checked, deleted and replaced only while the lock is owned.
bool EnsureVerifiedCopy(const LaunchContext& context) {
  if (VerifyCachedPayload(context.cachedToolPath, context.payload)) return true;
  // A missing copy is the ordinary case; a copy that cannot be deleted shows
  // up as a failed rename.
  DeleteFileW(context.cachedToolPath.Data());
  return ExtractPayload(context.launcherPath, context.cachedToolPath, context.payload);
}

}  // namespace

bool CacheStage(LaunchContext* context, LaunchFailure* failure) {
  if (!PrepareCacheDirectory(context->launcherPath, context->payload.digest,
                             &context->cacheDirectory, &context->cachedToolPath)) {
    *failure = LaunchFailure::kCacheNotCreated;
    return false;
  }
  if (!AcquireCacheLock(context->payload.digest, &context->cacheLock)) {
    *failure = LaunchFailure::kCacheLockNotAcquired;
    return false;
  }
  bool ready = EnsureVerifiedCopy(*context);
  ReleaseMutex(context->cacheLock.Get());
  if (!ready) {
    *failure = LaunchFailure::kPayloadNotExtracted;
    return false;
  }
  return true;
}

bool RunStage(LaunchContext* context, LaunchFailure* failure) {
  context->identityWindow.Reset(CreateIdentityWindow(context->instance, context->displayTitle));
  ToolOutcome outcome =
      RunTool(context->cachedToolPath, context->cacheDirectory, &context->identityWindow);
  if (!outcome.finished) {
    // The window goes before the box appears.
    context->identityWindow.Reset();
    *failure = LaunchFailure::kToolNotStarted;
    return false;
  }
  context->cacheLock.Reset();
  context->exitStatus = static_cast<int>(outcome.exitCode);
  return true;
}

}  // namespace zor
