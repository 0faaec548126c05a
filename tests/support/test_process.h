// Facts of the running test program, one implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zor::test {

uint32_t TestProcessId();

// The program's peak memory use so far, in bytes; 0 when it cannot be had.
size_t PeakMemoryBytes();

}  // namespace zor::test
