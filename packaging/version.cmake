# The version of the build: project(VERSION) and, when the source tree is a git
# clone, what `git describe --always --dirty` says of it (a clone without tags
# gives the abbreviated commit). Sets UAVSIM_GIT_DESCRIPTION (empty without git)
# and UAVSIM_PACKAGE_VERSION, the Debian package's version: 0.1+git118.00c4c61.dirty,
# where 118 counts the commits, so that a later build sorts as a newer package.
#
# The description is taken when the build is configured; a commit or a checkout
# (HEAD or the branch's ref changes) configures again at the next build.
set(UAVSIM_GIT_DESCRIPTION "")
find_package(Git QUIET)
if(GIT_FOUND)
  # Only the project's own repository counts, not one the source tree happens
  # to sit inside (an unpacked tarball in a home folder kept in git).
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE _top RESULT_VARIABLE _rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_rc EQUAL 0)
    file(REAL_PATH "${_top}" _top)
    file(REAL_PATH "${PROJECT_SOURCE_DIR}" _src)
  endif()
  if(_rc EQUAL 0 AND _top STREQUAL _src)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _describe RESULT_VARIABLE _rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(_rc EQUAL 0)
      set(UAVSIM_GIT_DESCRIPTION "${_describe}")
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _commits RESULT_VARIABLE _rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT _rc EQUAL 0)
      set(_commits "")
    endif()
    # Configure again when HEAD moves: a checkout changes HEAD, a commit the
    # branch's ref (or packed-refs once git has packed it).
    execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref -q HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE _ref ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    foreach(_what HEAD packed-refs ${_ref})  # no branch's ref on a detached HEAD
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path ${_what}
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE _p ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(EXISTS "${_p}")
        set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_p}")
      endif()
    endforeach()
  endif()
endif()

# A Debian version allows letters, digits and . + ~ after the first digit; the
# description's '-' would start a Debian revision, so it becomes '.'.
set(UAVSIM_PACKAGE_VERSION "${PROJECT_VERSION}")
if(UAVSIM_GIT_DESCRIPTION)
  string(REGEX REPLACE "[^A-Za-z0-9.+~]" "." _debian "${UAVSIM_GIT_DESCRIPTION}")
  if(_commits)
    set(_debian "${_commits}.${_debian}")
  endif()
  set(UAVSIM_PACKAGE_VERSION "${PROJECT_VERSION}+git${_debian}")
endif()
message(STATUS "uavsim ${PROJECT_VERSION}, git description '${UAVSIM_GIT_DESCRIPTION}', package version ${UAVSIM_PACKAGE_VERSION}")
