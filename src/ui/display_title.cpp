#include "ui/display_title.h"

namespace zor {

WideString DeriveDisplayTitle(const WideString& fileName) {
  size_t end = fileName.Length();
  for (size_t i = fileName.Length(); i > 0; --i) {
    if (fileName[i - 1] == L'.') {
      end = i - 1;
      break;
    }
  }
  return fileName.Substring(0, end);
}

}  // namespace zor
