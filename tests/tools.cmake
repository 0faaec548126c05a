# The packer: its library functions directly, and the built program's exit
# statuses and texts.
zor_add_gtest(zorpack_tests
  tools/pack_files.cpp
  tools/pack_test.cpp
  tools/inspect_extract_test.cpp
  tools/zorpack_process.cpp
  tools/zorpack_program_test.cpp)
target_link_libraries(zorpack_tests PRIVATE zor_packer)
