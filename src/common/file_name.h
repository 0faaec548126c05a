#pragma once

#include "runtime/wide_string.h"

namespace zor {

// The part of `path` after its last "\" or "/"; all of `path` when it has
// neither; empty when `path` ends with a separator.
WideString FileNameOf(const WideString& path);

}  // namespace zor
