// Composes the tool's command line so that the platform's parser gives the
// tool the same arguments the launcher was given, with the cached copy's path
// in place of the launcher's own at position 0.
#pragma once

#include "runtime/wide_string.h"

namespace zor {

// Quotes one argument for CommandLineToArgvW: bare when it holds none of
// space, tab, line feed, vertical tab and double quote (and is not empty);
// otherwise in double quotes, with the backslashes before a quote or before
// the closing quote doubled and the quote itself escaped.
WideString QuoteArgument(const WideString& argument);

// The quoted tool path, then every argument of `launcherCommandLine` after
// the first, each quoted and preceded by one space. A command line the
// platform cannot split gives the quoted path alone.
WideString BuildToolCommandLineFrom(const WideString& toolPath, const wchar_t* launcherCommandLine);

// The same, from this process's own command line.
WideString BuildToolCommandLine(const WideString& toolPath);

}  // namespace zor
