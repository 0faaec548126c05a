// A strict JSON syntax check (RFC 8259), enough to tell whether a report
// parses, and the members of the object it holds.
#pragma once

#include <map>
#include <string>

namespace zor::test {

// The top-level members of a report, by key: a string's text between its
// quotes (escapes as written), any other value's text as written.
using JsonMembers = std::map<std::string, std::string>;

// True when `text` is exactly one JSON object, with optional white space
// around it; then its members go to `members`, unless that is null.
bool ParseJsonObject(const std::string& text, JsonMembers* members);

// The members of `text`'s object; empty when it is not one JSON object.
JsonMembers JsonObjectMembers(const std::string& text);

}  // namespace zor::test
