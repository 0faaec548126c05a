#include "support/argument_vectors.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <random>

namespace zor::test {

namespace {

// The pieces an argument is made of, each chosen with equal weight.
const wchar_t* const kPieces[] = {
    L"abc",    L"Z",          L"--flag=",    L"C:\\dir\\",
    L" ",      L"  ",         L"\t",         L"\n",
    L"\v",     L"\r",         L"\"",         L"\"\"",
    L"\\",     L"\\\\",       L"\\\"",       L"\\\\\\\"",
    L"\\\\\"", L"x\\\\",      L"\u00e9",     L"\u4e2d",
    L"\u0416", L"\U0001F600", L"\U00010400", L"%PATH%",
    L"^&|<>",  L"'",          L"=",          L"\\\\server\\share",
};
constexpr size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
constexpr uint32_t kMaxArguments = 7;
constexpr uint32_t kMaxPieces = 6;

std::wstring QuoteAll(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    quoted.append(unit == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    quoted.push_back(unit);
    backslashes = 0;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

}  // namespace

ArgumentVector RandomArgumentVector(uint32_t seed) {
  std::mt19937 random(seed);
  auto below = [&random](uint32_t limit) {
    return std::uniform_int_distribution<uint32_t>(0, limit - 1)(random);
  };
  ArgumentVector arguments(below(kMaxArguments + 1));
  for (std::wstring& argument : arguments) {
    // One in eight is empty, which must survive as an argument of its own.
    if (below(8) == 0) continue;
    uint32_t pieces = 1 + below(kMaxPieces);
    for (uint32_t i = 0; i < pieces; ++i) argument += kPieces[below(kPieceCount)];
  }
  return arguments;
}

std::wstring CommandLineQuotingAll(const std::wstring& program, const ArgumentVector& arguments) {
  std::wstring line = L"\"" + program + L"\"";
  for (const std::wstring& argument : arguments) line += L" " + QuoteAll(argument);
  return line;
}

ArgumentVector SplitCommandLine(const std::wstring& commandLine) {
  int count = 0;
  wchar_t** split = CommandLineToArgvW(commandLine.c_str(), &count);
  if (split == nullptr) return {};
  ArgumentVector arguments(split, split + count);
  LocalFree(split);
  return arguments;
}

std::string Describe(const std::wstring& text) {
  std::string described;
  for (wchar_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F) {
      described += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      described += escaped;
    }
  }
  return described;
}

std::string Describe(const ArgumentVector& arguments) {
  std::string described = std::to_string(arguments.size()) + ":";
  for (const std::wstring& argument : arguments) described += " <" + Describe(argument) + ">";
  return described;
}

}  // namespace zor::test
