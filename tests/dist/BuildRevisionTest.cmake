# Runs cmake/BuildRevision.cmake on trees made here: a git repository of its
# own (its commit), the same with a changed file (-dirty), a folder inside it
# and a plain folder (both "unknown": not a checkout of their own), and a
# given REVISION. Also checks that an unchanged revision leaves the header
# untouched, so that it rebuilds nothing.
#   cmake -DSCRIPT=<BuildRevision.cmake> -DWORK=<scratch folder> -P BuildRevisionTest.cmake

cmake_minimum_required(VERSION 3.25)

find_program(git git)
if(NOT git)
  message("SKIP: git is not installed")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/repo/sub" "${WORK}/plain")
set(header "${WORK}/BuildRevisionText.h")

function(git_in)
  execute_process(COMMAND "${git}" -c user.name=test -c user.email=test@localhost
                          -c init.defaultBranch=main -c commit.gpgsign=false ${ARGN}
    WORKING_DIRECTORY "${WORK}/repo" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git ${ARGN} failed: ${error}")
  endif()
endfunction()

function(expect source revision expected)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${source} -DOUTPUT=${header}
                          -DREVISION=${revision} -P "${SCRIPT}"
    RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "BuildRevision.cmake failed on ${source}: ${error}")
  endif()
  file(READ "${header}" text)
  if(NOT text STREQUAL "#define ZENT2_BUILD_REVISION \"${expected}\"\n")
    message(FATAL_ERROR "${source} (REVISION '${revision}'): expected '${expected}', got: ${text}")
  endif()
endfunction()

file(WRITE "${WORK}/repo/file.txt" "one\n")
file(WRITE "${WORK}/repo/sub/other.txt" "two\n")
git_in(init -q)
git_in(add -A)
git_in(commit -q -m first)
execute_process(COMMAND "${git}" rev-parse --short=12 HEAD WORKING_DIRECTORY "${WORK}/repo"
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)

expect("${WORK}/repo" "" "${commit}")

file(TIMESTAMP "${header}" before "%s.%f")
execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
expect("${WORK}/repo" "" "${commit}")
file(TIMESTAMP "${header}" after "%s.%f")
if(NOT before STREQUAL after)
  message(FATAL_ERROR "an unchanged revision rewrote the header")
endif()

expect("${WORK}/repo/sub" "" "unknown")
expect("${WORK}/plain" "" "unknown")
expect("${WORK}/plain" "1.0.17.297-3" "1.0.17.297-3")
expect("${WORK}/repo" "a\"b\\c" "abc")

file(WRITE "${WORK}/repo/file.txt" "changed\n")
expect("${WORK}/repo" "" "${commit}-dirty")

file(REMOVE_RECURSE "${WORK}")
