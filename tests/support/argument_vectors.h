// Random argument vectors for the command-line round trips, and an
// independent way of putting a vector on a command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zor::test {

using ArgumentVector = std::vector<std::wstring>;

// A reproducible vector of 0 to 7 arguments for `seed`, mixing what is hard
// to forward: empty arguments, spaces, tabs, line feeds, vertical tabs,
// carriage returns, double quotes, runs of backslashes before quotes and at
// the end, non-ASCII letters and characters outside the basic plane (as
// surrogate pairs).
ArgumentVector RandomArgumentVector(uint32_t seed);

// `program` in double quotes (it must hold none), then every argument in
// double quotes with its quotes and the backslashes before them escaped.
// Always quoting makes this differ from the launcher's own quoting, which
// leaves plain arguments bare.
std::wstring CommandLineQuotingAll(const std::wstring& program, const ArgumentVector& arguments);

// The platform's split of `commandLine`; empty when the split fails.
ArgumentVector SplitCommandLine(const std::wstring& commandLine);

// A readable form for failure messages: every unit outside printable ASCII
// as \uXXXX, each argument in angle brackets.
std::string Describe(const ArgumentVector& arguments);
std::string Describe(const std::wstring& text);

}  // namespace zor::test
