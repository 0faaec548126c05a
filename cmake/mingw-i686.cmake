# Cross toolchain: Debian's MinGW-w64 i686 compilers (posix thread model, which
# GoogleTest needs for std::mutex), with Wine as the emulator for tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZOR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZOR_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ZOR_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Runs a Windows program under Wine in the build tree's private prefix; the
# project writes that script into the build tree (cmake/wine-run.sh.in).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
