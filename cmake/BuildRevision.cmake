# Writes a header that defines ZENT2_BUILD_REVISION: the git revision of the
# source tree ("git describe --always --dirty", so a tagged or locally changed
# tree says so), REVISION when given, or "unknown" when the sources are not a
# git checkout of their own (a tarball, or a folder inside another repository).
# The header is rewritten only when the text changes, so an unchanged revision
# rebuilds nothing.
#
#   cmake -DSOURCE_DIR=<tree> -DOUTPUT=<header> [-DREVISION=<text>] -P BuildRevision.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR OR NOT OUTPUT)
  message(FATAL_ERROR "BuildRevision.cmake needs SOURCE_DIR and OUTPUT")
endif()

set(revision "${REVISION}")
if(revision STREQUAL "")
  set(revision "unknown")
  find_program(git_program git)
  if(git_program)
    execute_process(COMMAND "${git_program}" rev-parse --show-toplevel
      WORKING_DIRECTORY "${SOURCE_DIR}"
      RESULT_VARIABLE status OUTPUT_VARIABLE top ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    file(REAL_PATH "${SOURCE_DIR}" source_real)
    if(status EQUAL 0)
      file(REAL_PATH "${top}" top_real)
    endif()
    if(status EQUAL 0 AND top_real STREQUAL source_real)
      execute_process(COMMAND "${git_program}" --no-optional-locks describe --always --dirty --abbrev=12
        WORKING_DIRECTORY "${SOURCE_DIR}"
        RESULT_VARIABLE status OUTPUT_VARIABLE described ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(status EQUAL 0 AND NOT described STREQUAL "")
        set(revision "${described}")
      endif()
    endif()
  endif()
endif()

# The text goes into a C string literal.
string(REGEX REPLACE "[\\\\\"]" "" revision "${revision}")
set(content "#define ZENT2_BUILD_REVISION \"${revision}\"\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
