// What the packer needs of the operating system beyond the file interface of
// runtime/file.h, one header per concern: paths and how they are opened
// (platform_path.h), publishing an output in its folder (platform_output.h),
// interrupts (platform_signals.h), standard output and error
// (platform_console.h) and failures (platform_failure.h). One
// implementation per platform, chosen when linking.
#pragma once

#include "platform_console.h"
#include "platform_failure.h"
#include "platform_output.h"
#include "platform_path.h"
#include "platform_signals.h"
