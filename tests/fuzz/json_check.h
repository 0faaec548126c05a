// A strict JSON syntax check (RFC 8259), enough to tell whether a report
// parses; values are not kept.
#pragma once

#include <string>

namespace zor::fuzz {

// True when `text` is exactly one JSON object, with optional white space
// around it.
bool IsJsonObject(const std::string& text);

}  // namespace zor::fuzz
