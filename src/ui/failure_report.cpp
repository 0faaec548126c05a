#include "ui/failure_report.h"

#include <windows.h>

namespace zor {

const wchar_t* DetailTextOf(LaunchFailure failure) {
  switch (failure) {
    case LaunchFailure::kPayloadInvalid:
      return L"The embedded payload is missing or invalid.";
    case LaunchFailure::kCacheNotCreated:
      return L"The local payload cache could not be created.";
    case LaunchFailure::kCacheLockNotAcquired:
      return L"The payload cache lock could not be acquired.";
    case LaunchFailure::kPayloadNotExtracted:
      return L"The embedded payload could not be extracted or verified.";
    case LaunchFailure::kToolNotStarted:
      return L"Windows could not create the firmware update process.";
  }
  return kEmptyText;
}

WideString ComposeFailureText(const WideString& detail) {
  WideString text(kFailureLead);
  text.Append(detail);
  return text;
}

void ReportLaunchFailure(const WideString& title, const WideString& detail) {
  WideString text = ComposeFailureText(detail);
  MessageBoxW(nullptr, text.Data(), title.Data(), MB_OK | MB_ICONERROR);
}

}  // namespace zor
