# Cross toolchain for the arm64 Linux packer: Debian's aarch64 cross
# compilers, with libcrypto from the arm64 side of a multiarch system
# (libssl-dev:arm64 in /usr/lib/aarch64-linux-gnu, found through
# CMAKE_LIBRARY_ARCHITECTURE). Tests run under qemu-user; the arm64 C++
# runtime it loads comes from libstdc++6:arm64 (scripts/setup.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZOR_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ZOR_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZOR_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ZOR_CROSS_TRIPLE})
# FindOpenSSL asks pkg-config first, which would answer for the host.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ZOR_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)

# Libraries and headers of the target architecture only; build tools from
# the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# One program, no arguments: the packer's tests put it in front of the
# zorpack they start, too.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
