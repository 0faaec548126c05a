#pragma once

#include "runtime/wide_string.h"

namespace zor {

// The launcher's file name without its last extension: "Tool.1.2.3.exe"
// gives "Tool.1.2.3", "Setup" stays "Setup", ".exe" gives "".
WideString DeriveDisplayTitle(const WideString& fileName);

}  // namespace zor
