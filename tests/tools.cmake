# The packer: its library functions directly, and the built program's exit
# statuses and texts. The same test sources run under Wine against
# zorpack.exe and natively (the host preset) against the Linux zorpack; both
# pack the Windows build's launcher image and sample tool. A packer test that
# blocks (a FIFO opened without O_NONBLOCK, say) fails within a minute.
set(zor_pack_test_timeout 60)
if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT WIN32)
  # Under qemu-user every step runs several times slower.
  set(zor_pack_test_timeout 300)
endif()
set(zor_pack_test_sources
  tools/pack_files.cpp
  tools/pack_test.cpp
  tools/inspect_extract_test.cpp
  tools/zorpack_program_test.cpp
  tools/file_interface_test.cpp
  tools/sbom_document_test.cpp)

if(WIN32)
  zor_add_gtest(zorpack_tests ${zor_pack_test_sources} tools/zorpack_process_win32.cpp
                tools/special_files_win32.cpp TIMEOUT ${zor_pack_test_timeout})
  target_link_libraries(zorpack_tests PRIVATE zor_packer)
  zor_windows_path(zor_pack_bin_dir "${CMAKE_BINARY_DIR}/bin")
  set(zor_pack_program "${zor_pack_bin_dir}\\zorpack.exe")
  # Written into C string literals.
  foreach(zor_pack_var zor_pack_bin_dir zor_pack_program)
    string(REPLACE "\\" "\\\\" ${zor_pack_var} "${${zor_pack_var}}")
  endforeach()
  # zorpack.exe takes the same absolute paths through Wine's Z: drive.
  add_test(NAME zorpack_sbom
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/sbom_test.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/test-work ${CMAKE_BINARY_DIR}/bin
                   ${CMAKE_BINARY_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/bin/zorpack.exe)
  set_tests_properties(zorpack_sbom PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
else()
  zor_add_gtest(zorpack_tests ${zor_pack_test_sources} tools/zorpack_process_posix.cpp
                tools/special_files_posix.cpp tools/zorpack_posix_test.cpp
                TIMEOUT ${zor_pack_test_timeout})
  target_link_libraries(zorpack_tests PRIVATE zor_packer)
  add_dependencies(zorpack_tests zorpack)
  set(zor_pack_bin_dir "${ZOR_WINDOWS_BIN_DIR}")
  set(zor_pack_program "$<TARGET_FILE:zorpack>")
  # The arm64 build's tests run under qemu-user, and so must the zorpack
  # they start.
  set(zor_pack_emulator "")
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(ZOR_PACK_TEST_EMULATOR_PROGRAM ${CMAKE_CROSSCOMPILING_EMULATOR} REQUIRED)
    set(zor_pack_emulator "${ZOR_PACK_TEST_EMULATOR_PROGRAM}")
  endif()
  target_compile_definitions(zorpack_tests PRIVATE
    "ZOR_PACK_TEST_EMULATOR=\"${zor_pack_emulator}\"")
  # A scratch repository of the sources, built natively: not for a cross
  # build, whose compiler that scratch build would not use.
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME source_revision
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/source_revision_test.sh
                     ${CMAKE_SOURCE_DIR} ${ZOR_TEST_WORK_DIR})
    set_tests_properties(source_revision PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
    # The packer's benchmark keeps working: a tiny payload, one pair, no
    # goals judged, the report under the build tree.
    add_test(NAME bench_packer_smoke
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/bench_packer.sh --smoke --no-build
                     --build-dir ${CMAKE_BINARY_DIR} --windows-bin-dir ${ZOR_WINDOWS_BIN_DIR})
    set_tests_properties(bench_packer_smoke PROPERTIES TIMEOUT 300)
    add_test(NAME failure_trap
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/failure_trap_test.sh ${CMAKE_SOURCE_DIR})
    set_tests_properties(failure_trap PROPERTIES TIMEOUT ${zor_pack_test_timeout})
    add_test(NAME deb_version
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/deb_version_test.sh ${CMAKE_SOURCE_DIR})
    set_tests_properties(deb_version PROPERTIES TIMEOUT ${zor_pack_test_timeout})
    # The release scripts' steps, the kit's shipped script and the CMake
    # package's function, each with stand-ins for what is slow (a compiler,
    # the builds, the packer): seconds each.
    foreach(zor_script_test relink_script release_steps cmake_product)
      add_test(NAME ${zor_script_test}
               COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/${zor_script_test}_test.sh
                       ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
      set_tests_properties(${zor_script_test} PROPERTIES TIMEOUT ${zor_pack_test_timeout})
    endforeach()
    add_test(NAME zorpack_sbom
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/sbom_test.sh ${CMAKE_SOURCE_DIR}
                     ${ZOR_TEST_WORK_DIR} ${ZOR_WINDOWS_BIN_DIR} $<TARGET_FILE:zorpack>)
    set_tests_properties(zorpack_sbom PROPERTIES TIMEOUT 300)
  endif()
endif()
target_compile_definitions(zorpack_tests PRIVATE
  "ZOR_PACK_TEST_BIN_DIR=\"${zor_pack_bin_dir}\""
  "ZOR_PACK_TEST_ZORPACK=\"${zor_pack_program}\"")
