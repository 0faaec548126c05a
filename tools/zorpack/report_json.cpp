#include "report_json.h"

#include "pack_text.h"

namespace zor::pack {

constexpr char kJsonEscape[] = "\\u00";

std::string JsonString(const std::string& text) {
  std::string quoted;
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return "\"" + Escaped(quoted, kJsonEscape) + "\"";
}

std::string JsonBool(bool value) {
  return value ? "true" : "false";
}

std::string JsonObjectLine(const JsonMembers& members) {
  std::string line = "{";
  for (const auto& [key, value] : members) {
    if (line.size() > 1) line += ", ";
    line += JsonString(key) + ": " + value;
  }
  return line + "}\n";
}

}  // namespace zor::pack
