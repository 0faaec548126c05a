#include "process/command_line.h"

// windows.h comes first: shellapi.h depends on its types.
#include <windows.h>

#include <shellapi.h>

#include "runtime/unique_handle.h"

namespace zor {

namespace {

bool ForcesQuoting(wchar_t unit) {
  return unit == L' ' || unit == L'\t' || unit == L'\n' || unit == L'\v' || unit == L'"';
}

bool NeedsQuoting(const WideString& argument) {
  if (argument.IsEmpty()) return true;
  for (size_t i = 0; i < argument.Length(); ++i) {
    if (ForcesQuoting(argument[i])) return true;
  }
  return false;
}

void FreeArgumentVector(wchar_t** arguments) {
  LocalFree(arguments);
}

using ScopedArgumentVector = UniqueResource<wchar_t**, FreeArgumentVector, detail::IsNonNull>;

}  // namespace

WideString QuoteArgument(const WideString& argument) {
  if (!NeedsQuoting(argument)) return argument;
  WideString quoted;
  quoted.Reserve(argument.Length() + 2);
  quoted.Append(L'"');
  size_t pendingBackslashes = 0;
  for (size_t i = 0; i < argument.Length(); ++i) {
    wchar_t unit = argument[i];
    if (unit == L'\\') {
      ++pendingBackslashes;
      continue;
    }
    if (unit == L'"') {
      quoted.AppendRepeated(L'\\', 2 * pendingBackslashes + 1);
    } else {
      quoted.AppendRepeated(L'\\', pendingBackslashes);
    }
    quoted.Append(unit);
    pendingBackslashes = 0;
  }
  quoted.AppendRepeated(L'\\', 2 * pendingBackslashes);
  quoted.Append(L'"');
  return quoted;
}

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
