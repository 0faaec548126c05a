// Quoting alone: no platform call, so it builds and is fuzzed on any host;
// the Windows parts of the command line live in command_line.cpp.
#include "process/command_line.h"

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

}  // namespace zor
