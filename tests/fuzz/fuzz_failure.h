// How a fuzz target reports a broken property: one line naming it, then an
// abort, which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace zor::fuzz {

[[noreturn]] inline void Failure(const char* property) {
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

}  // namespace zor::fuzz
