#include "windows_split.h"

namespace zor::fuzz {

std::vector<std::u16string> SplitArguments(const std::u16string& line) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  bool started = false;
  bool quoted = false;
  size_t i = 0;
  while (i < line.size()) {
    char16_t c = line[i];
    if (!quoted && (c == u' ' || c == u'\t')) {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
      ++i;
      continue;
    }
    started = true;
    if (c == u'\\') {
      size_t run = 0;
      while (i < line.size() && line[i] == u'\\') ++run, ++i;
      bool beforeQuote = i < line.size() && line[i] == u'"';
      current.append(beforeQuote ? run / 2 : run, u'\\');
      if (beforeQuote && run % 2 == 1) {
        current += u'"';
        ++i;
      }
      continue;
    }
    if (c == u'"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
        current += u'"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    current += c;
    ++i;
  }
  if (started) arguments.push_back(current);
  return arguments;
}

}  // namespace zor::fuzz
