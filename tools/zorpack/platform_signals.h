// What happens to a half-written output when the process is ended from
// outside. One implementation per platform.
#pragma once

#include <string>

#include "runtime/file.h"

namespace zor::pack {

// Every signal that would end the process, unless the caller had it ignored
// (nohup, a background job), which stays ignored (a console control event on
// Windows, where an ignored Ctrl+C never reaches a handler) removes the file that
// CreateRemovedOnInterrupt made, until StopRemovingOnInterrupt, before the process ends; a fault
// inside zorpack itself (SIGSEGV and its kin) is left to the default, for its core dump.
// InstallInterruptCleanup, called once by the program, sets that up and
// makes a file-size limit an ordinary write error instead of a signal.
// It also fills a closed standard descriptor (0, 1 or 2) with one that
// cannot be read or written, so that no file the packer opens can take its
// number and receive a message or a report.
void InstallInterruptCleanup();
// Creates `name` in `folder` exclusively, open for reading and writing:
// never through a link or over anything that stands there. When that
// succeeds, has it removed on an interrupt. An interrupt that arrives
// meanwhile waits until both are done, so there is no moment in which it
// would leave the new file behind, nor one in which it would remove a file
// under that name that this process did not make. The failure, if any,
// stays the last one.
FileHandle CreateRemovedOnInterrupt(FileHandle folder, const std::string& name);
void StopRemovingOnInterrupt();

}  // namespace zor::pack
