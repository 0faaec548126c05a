# The source revision that the launcher's version record and `zorpack
# --version` name. It is worked out at every build, not when CMake
# configures: a commit changes no file that CMake watches once git has packed
# its refs (git pack-refs, git gc), so a configure-time value goes stale.
#
# Included from the project, it adds the target `zor_source_revision`, which
# runs this file as a script (cmake -P) at every build. The script writes,
# into ZOR_REVISION_DIR:
#   source_revision.h    ZOR_SOURCE_REVISION, the 40-digit git revision (40
#                        zeros outside a git checkout), and
#                        ZOR_SOURCE_MODIFIED, 1 when tracked files differ
#                        from that revision, and ZOR_SOURCE_LABEL, the
#                        revision with "-dirty" appended when modified (what
#                        `zorpack --version` shows); for C++ and for the
#                        resource compiler
#   source_revision.txt  ZOR_SOURCE_LABEL on one line, for scripts and tests
# Each file is rewritten only when its text changes, so an unchanged revision
# rebuilds nothing.

set(zor_revision_unknown "0000000000000000000000000000000000000000")
set(zor_dirty_suffix "-dirty")

if(CMAKE_SCRIPT_MODE_FILE)
  function(zor_write_if_changed file text)
    set(old "")
    if(EXISTS "${file}")
      file(READ "${file}" old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE "${file}" "${text}")
    endif()
  endfunction()

  set(zor_revision "${zor_revision_unknown}")
  set(zor_modified 0)
  if(ZOR_GIT)
    execute_process(COMMAND "${ZOR_GIT}" rev-parse --verify HEAD
                    WORKING_DIRECTORY "${ZOR_SOURCE_DIR}"
                    OUTPUT_VARIABLE zor_head OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE zor_head_result ERROR_QUIET)
    if(zor_head_result EQUAL 0 AND zor_head MATCHES "^[0-9a-f]+$")
      string(LENGTH "${zor_head}" zor_head_length)
      if(zor_head_length EQUAL 40)
        set(zor_revision "${zor_head}")
        # Untracked files are left out: build folders and editor files
        # are not part of what a revision names.
        execute_process(COMMAND "${ZOR_GIT}" status --porcelain --untracked-files=no
                        WORKING_DIRECTORY "${ZOR_SOURCE_DIR}"
                        OUTPUT_VARIABLE zor_changes RESULT_VARIABLE zor_status_result
                        ERROR_QUIET)
        if(NOT zor_status_result EQUAL 0 OR NOT zor_changes STREQUAL "")
          set(zor_modified 1)
        endif()
      endif()
    endif()
  endif()

  set(zor_label "${zor_revision}")
  if(zor_modified)
    string(APPEND zor_label "${zor_dirty_suffix}")
  endif()
  set(zor_header "// Written by cmake/source_revision.cmake at build time.
#pragma once
#define ZOR_SOURCE_REVISION \"${zor_revision}\"
#define ZOR_SOURCE_MODIFIED ${zor_modified}
#define ZOR_SOURCE_LABEL \"${zor_label}\"
")
  zor_write_if_changed("${ZOR_REVISION_DIR}/source_revision.h" "${zor_header}")
  zor_write_if_changed("${ZOR_REVISION_DIR}/source_revision.txt" "${zor_label}\n")
  return()
endif()

set(ZOR_REVISION_DIR ${CMAKE_BINARY_DIR}/generated)
set(ZOR_SOURCE_REVISION_HEADER ${ZOR_REVISION_DIR}/source_revision.h)
set(ZOR_SOURCE_REVISION_FILE ${ZOR_REVISION_DIR}/source_revision.txt)
file(MAKE_DIRECTORY ${ZOR_REVISION_DIR})
find_package(Git QUIET)
# Always out of date; Ninja rebuilds what uses the files only when the
# script rewrote them.
add_custom_target(zor_source_revision ALL
  COMMAND ${CMAKE_COMMAND} -DZOR_GIT=${GIT_EXECUTABLE} -DZOR_SOURCE_DIR=${CMAKE_SOURCE_DIR}
          -DZOR_REVISION_DIR=${ZOR_REVISION_DIR} -P ${CMAKE_CURRENT_LIST_FILE}
  BYPRODUCTS ${ZOR_SOURCE_REVISION_HEADER} ${ZOR_SOURCE_REVISION_FILE}
  COMMENT "Recording the source revision"
  VERBATIM)
