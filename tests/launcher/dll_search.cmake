# DLLs planted beside a launcher must never run in it. The planted DLL is
# freestanding like the launcher; its tests run with Windows' order for DLLs
# that are not known to the system (a file beside the program before the
# system's copy), which Wine gives only when asked.
add_library(planted_dll SHARED planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" LINKER_LANGUAGE CXX)
target_compile_definitions(planted_dll PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(planted_dll PRIVATE zor_code_flags kernel32 gcc)
target_link_options(planted_dll PRIVATE -nostdlib -s -Wl,-e,_PlantedDllMain@12 -Wl,--kill-at)

zor_add_gtest(dll_search_tests dll_search_test.cpp
  ENVIRONMENT "WINEDLLOVERRIDES=bcrypt,version,uxtheme,userenv,profapi,cryptbase,wtsapi32=n,b")
add_dependencies(dll_search_tests planted_dll)
