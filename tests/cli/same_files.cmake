# Checks that copies of one fixture kept in several places are equal byte
# for byte: the shipped example and its copies in the golden cases, and the
# output of one case that another case reads as its input.
#
#   cmake -DPAIRS="a;b;c;d" -P same_files.cmake    compares a with b, c with d
#
# After a reviewed change of the first file of a pair, copy it over the
# second. When the example session changes (from the build directory):
#   tools/tzo demo --force <source>/examples/demo.tzo
#   cp <source>/examples/demo.tzo <source>/tests/cli/data/demo.tzo
#   TZO_UPDATE_GOLDEN=1 ctest -R cli_
# and when the output of embed changes, copy
# cases/embed_added/after/globals.tzo over data/embedded.tzo.

cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED PAIRS)
  message(FATAL_ERROR "PAIRS is not set")
endif()
list(LENGTH PAIRS _count)
math(EXPR _odd "${_count} % 2")
if(_count EQUAL 0 OR _odd)
  message(FATAL_ERROR "PAIRS needs an even, non-zero number of paths")
endif()

set(_failures "")
math(EXPR _last "${_count} - 1")
foreach(_i RANGE 0 ${_last} 2)
  math(EXPR _j "${_i} + 1")
  list(GET PAIRS ${_i} _first)
  list(GET PAIRS ${_j} _second)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${_first}" "${_second}"
    RESULT_VARIABLE _differs OUTPUT_QUIET ERROR_QUIET)
  if(_differs)
    string(APPEND _failures "${_second} differs from ${_first}\n")
  endif()
endforeach()

if(NOT _failures STREQUAL "")
  message(FATAL_ERROR "${_failures}")
endif()
