#include "common/file_name.h"

namespace zor {

WideString FileNameOf(const WideString& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.Length(); ++i) {
    if (path[i] == L'\\' || path[i] == L'/') start = i + 1;
  }
  return path.Substring(start, path.Length() - start);
}

}  // namespace zor
