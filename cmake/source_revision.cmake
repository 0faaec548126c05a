# ZOR_SOURCE_REVISION: the 40-digit git revision of the sources, or 40 zeros
# outside a git checkout. CMake runs again when the checked-out commit moves.
set(ZOR_SOURCE_REVISION "0000000000000000000000000000000000000000")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE zor_revision OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE zor_revision_result ERROR_QUIET)
  if(zor_revision_result EQUAL 0 AND zor_revision MATCHES "^[0-9a-f]+$")
    string(LENGTH "${zor_revision}" zor_revision_length)
    if(zor_revision_length EQUAL 40)
      set(ZOR_SOURCE_REVISION "${zor_revision}")
    endif()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE zor_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE zor_git_dir_result ERROR_QUIET)
  if(zor_git_dir_result EQUAL 0 AND EXISTS "${zor_git_dir}/HEAD")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${zor_git_dir}/HEAD")
    file(READ "${zor_git_dir}/HEAD" zor_head)
    if(zor_head MATCHES "^ref: ([^\n]+)")
      # In a linked worktree the branch lives in the common git folder, not
      # in the worktree's own: ask git where it is.
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute
                              --git-path "${CMAKE_MATCH_1}"
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                      OUTPUT_VARIABLE zor_ref_file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(EXISTS "${zor_ref_file}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${zor_ref_file}")
      endif()
    endif()
  endif()
endif()
