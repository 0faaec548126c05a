# Links `target` as a freestanding Windows GUI program, the way the launcher
# image is linked: no C or C++ runtime, `entry` (a __stdcall function taking
# no arguments) as the entry point, only the system libraries the target
# names, and libgcc for 64-bit division and the stack probe.
set(ZOR_MEMORY_PRIMITIVES ${CMAKE_SOURCE_DIR}/src/runtime/memory_primitives.cpp)
set(ZOR_MEMORY_PRIMITIVES_OPTIONS -ffreestanding -fno-builtin -fno-tree-loop-distribute-patterns)

function(zor_freestanding_link target entry)
  target_link_options(${target} PRIVATE
    -nostdlib -s
    -Wl,-e,_${entry}@0
    -Wl,--subsystem,windows:6.1
    -Wl,--dynamicbase,--nxcompat,--tsaware
    -Wl,--no-insert-timestamp
    -Wl,--gc-sections)
  target_link_libraries(${target} PRIVATE gcc)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()
