#include "process/command_line.h"

// windows.h comes first: shellapi.h depends on its types.
#include <windows.h>

#include <shellapi.h>

#include "runtime/unique_handle.h"

namespace zor {

namespace {

void FreeArgumentVector(wchar_t** arguments) {
  LocalFree(arguments);
}

using ScopedArgumentVector = UniqueResource<wchar_t**, FreeArgumentVector, detail::IsNonNull>;

}  // namespace

WideString BuildToolCommandLineFrom(const WideString& toolPath,
                                    const wchar_t* launcherCommandLine) {
  WideString commandLine = QuoteArgument(toolPath);
  int count = 0;
  ScopedArgumentVector arguments(CommandLineToArgvW(launcherCommandLine, &count));
  if (arguments.Get() == nullptr) return commandLine;
  for (int i = 1; i < count; ++i) {
    commandLine.Append(L' ');
    commandLine.Append(QuoteArgument(WideString(arguments.Get()[i])));
  }
  return commandLine;
}

WideString BuildToolCommandLine(const WideString& toolPath) {
  return BuildToolCommandLineFrom(toolPath, GetCommandLineW());
}

}  // namespace zor
