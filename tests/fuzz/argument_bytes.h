// How the quoting fuzz target and its replay under Wine read an input: the
// bytes are UTF-16LE code units (a last odd byte is dropped) and the unit 0,
// which no argument on a command line can hold, ends an argument; units
// after the last 0 make one more. No bytes, no arguments; one unit 0, one
// empty argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "process/command_line.h"

namespace zor::fuzz {

inline std::vector<std::u16string> ArgumentsOf(const uint8_t* data, size_t size) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += unit;
    }
  }
  if (!current.empty()) arguments.push_back(current);
  return arguments;
}

// The launcher's quoting of one argument, between UTF-16 strings (wchar_t
// is wider than a UTF-16 unit on Linux; the units pass unchanged).
inline std::u16string Quoted(const std::u16string& argument) {
  std::wstring units(argument.begin(), argument.end());
  WideString quoted = QuoteArgument(WideString(units.data(), units.size()));
  return std::u16string(quoted.Data(), quoted.Data() + quoted.Length());
}

}  // namespace zor::fuzz
