// An independent splitter of Windows command lines, written from the
// documented rules by which the C runtime fills argv (and CommandLineToArgvW
// splits), for the arguments that follow the program name; that name has
// rules of its own and is left to the caller.
//   - Arguments are separated by runs of spaces and tabs outside quotes.
//   - A double quote opens or closes a quoted region and is dropped; inside
//     a region, spaces and tabs belong to the argument. Two double quotes
//     inside a region give one literal quote.
//   - Backslashes are literal, except in a run directly before a double
//     quote: 2n of them give n backslashes and the quote keeps its role;
//     2n+1 give n backslashes and a literal double quote.
//   - Quotes alone make an argument, so "" is an empty argument; an
//     unclosed region runs to the end of the line.
#pragma once

#include <string>
#include <vector>

namespace zor::fuzz {

std::vector<std::u16string> SplitArguments(const std::u16string& arguments);

}  // namespace zor::fuzz
