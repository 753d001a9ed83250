# Runs one golden case of the tzo program and compares what it printed, its
# exit status and the files it left with what the case expects.
#
#   cmake -DTZO=<program> -DCASE_DIR=<cases/NAME> -DDATA_DIR=<data>
#         -DWORK_DIR=<scratch directory> -P run_case.cmake
#
# A case directory holds:
#   args             the program's arguments, one per line
#   stdout, stderr   the expected output, byte for byte
#   status           the expected exit status
#   setup            optional: files of DATA_DIR, one relative path a line,
#                    copied into a fresh scratch directory where the program
#                    then runs; without it the program runs in DATA_DIR
#   after/           optional: files the scratch directory must hold after
#                    the run, byte for byte
#   env              optional: NAME=VALUE lines, set for every run
#   step2/, step3/, ...
#                    optional: further runs in the same directory, one after
#                    the other, each with its own args, stdout, stderr and
#                    status; after/ is checked once the last one has run
# After a run in a scratch directory every file set up and not named in
# after/ must be unchanged, and no other file may be left there.
#
# With TZO_UPDATE_GOLDEN=1 in the environment the expected files are
# rewritten from the run instead; review the change before keeping it.

cmake_minimum_required(VERSION 3.25)

foreach(_var IN ITEMS TZO CASE_DIR DATA_DIR WORK_DIR)
  if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
    message(FATAL_ERROR "${_var} is not set")
  endif()
endforeach()

set(_update OFF)
if("$ENV{TZO_UPDATE_GOLDEN}" STREQUAL "1")
  set(_update ON)
endif()

# The runs of the case: the case directory itself, then step2/, step3/...
set(_steps "${CASE_DIR}")
foreach(_n RANGE 2 99)
  if(NOT IS_DIRECTORY "${CASE_DIR}/step${_n}")
    break()
  endif()
  list(APPEND _steps "${CASE_DIR}/step${_n}")
endforeach()

foreach(_step IN LISTS _steps)
  foreach(_file IN ITEMS args stdout stderr status)
    if(NOT EXISTS "${_step}/${_file}" AND NOT (_update AND NOT _file STREQUAL "args"))
      message(FATAL_ERROR "${_step}/${_file} is missing")
    endif()
  endforeach()
endforeach()

# The program's own switches must not leak in from the caller.
unset(ENV{sdr_debug})
unset(ENV{sdr_regression_test})

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(_run_dir "${DATA_DIR}")
set(_setup_files)
set(_in_scratch OFF)
if(EXISTS "${CASE_DIR}/setup")
  set(_in_scratch ON)
  set(_run_dir "${WORK_DIR}/run")
  file(MAKE_DIRECTORY "${_run_dir}")
  file(STRINGS "${CASE_DIR}/setup" _setup_files)
  foreach(_file IN LISTS _setup_files)
    get_filename_component(_dir "${_run_dir}/${_file}" DIRECTORY)
    file(MAKE_DIRECTORY "${_dir}")
    file(COPY_FILE "${DATA_DIR}/${_file}" "${_run_dir}/${_file}")
  endforeach()
endif()

set(_env)
if(EXISTS "${CASE_DIR}/env")
  file(STRINGS "${CASE_DIR}/env" _env)
endif()

# Runs every step; what each printed goes to WORK_DIR/out/<number>/.
set(_number 0)
set(_shown_steps "")
foreach(_step IN LISTS _steps)
  math(EXPR _number "${_number} + 1")
  set(_out "${WORK_DIR}/out/${_number}")
  file(MAKE_DIRECTORY "${_out}")
  file(STRINGS "${_step}/args" _args)
  string(REPLACE ";" " " _shown "${_args}")
  string(APPEND _shown_steps "  ${_number}: tzo ${_shown}\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env ${_env} "${TZO}" ${_args}
    WORKING_DIRECTORY "${_run_dir}"
    RESULT_VARIABLE _status
    OUTPUT_FILE "${_out}/stdout"
    ERROR_FILE "${_out}/stderr"
    TIMEOUT 60)
  file(WRITE "${_out}/status" "${_status}\n")
endforeach()

set(_expected_after)
if(EXISTS "${CASE_DIR}/after")
  file(GLOB_RECURSE _expected_after LIST_DIRECTORIES false RELATIVE "${CASE_DIR}/after" "${CASE_DIR}/after/*")
endif()

if(_update)
  set(_number 0)
  foreach(_step IN LISTS _steps)
    math(EXPR _number "${_number} + 1")
    foreach(_file IN ITEMS stdout stderr status)
      file(COPY_FILE "${WORK_DIR}/out/${_number}/${_file}" "${_step}/${_file}")
    endforeach()
  endforeach()
  foreach(_file IN LISTS _expected_after)
    if(EXISTS "${_run_dir}/${_file}")
      file(COPY_FILE "${_run_dir}/${_file}" "${CASE_DIR}/after/${_file}")
    endif()
  endforeach()
  return()
endif()

find_program(_diff diff)
set(_failures "")

# Appends a report to _failures unless both files are equal byte for byte.
macro(expect_same_file _expected _actual _what)
  if(NOT EXISTS "${_actual}")
    string(APPEND _failures "${_what}: missing\n")
  else()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${_expected}" "${_actual}"
      RESULT_VARIABLE _differs OUTPUT_QUIET ERROR_QUIET)
    if(_differs)
      if(_diff)
        execute_process(COMMAND "${_diff}" -u "${_expected}" "${_actual}" OUTPUT_VARIABLE _text ERROR_VARIABLE _text)
      else()
        file(READ "${_actual}" _text)
      endif()
      string(APPEND _failures "${_what} differs:\n${_text}\n")
    endif()
  endif()
endmacro()

list(LENGTH _steps _step_count)
set(_number 0)
foreach(_step IN LISTS _steps)
  math(EXPR _number "${_number} + 1")
  set(_label "")
  if(_step_count GREATER 1)
    set(_label "step ${_number}: ")
  endif()
  set(_out "${WORK_DIR}/out/${_number}")
  expect_same_file("${_step}/stdout" "${_out}/stdout" "${_label}stdout")
  expect_same_file("${_step}/stderr" "${_out}/stderr" "${_label}stderr")
  file(READ "${_step}/status" _expected_status)
  string(STRIP "${_expected_status}" _expected_status)
  file(READ "${_out}/status" _status)
  string(STRIP "${_status}" _status)
  if(NOT _status STREQUAL _expected_status)
    string(APPEND _failures "${_label}exit status: ${_status}, expected ${_expected_status}\n")
  endif()
endforeach()

if(_in_scratch)
  foreach(_file IN LISTS _expected_after)
    expect_same_file("${CASE_DIR}/after/${_file}" "${_run_dir}/${_file}" "file ${_file}")
  endforeach()
  foreach(_file IN LISTS _setup_files)
    if(NOT _file IN_LIST _expected_after)
      expect_same_file("${DATA_DIR}/${_file}" "${_run_dir}/${_file}" "input ${_file} (must stay unchanged)")
    endif()
  endforeach()
  file(GLOB_RECURSE _present LIST_DIRECTORIES false RELATIVE "${_run_dir}" "${_run_dir}/*")
  foreach(_file IN LISTS _present)
    if(NOT _file IN_LIST _setup_files AND NOT _file IN_LIST _expected_after)
      string(APPEND _failures "unexpected file left: ${_file}\n")
    endif()
  endforeach()
endif()

if(NOT _failures STREQUAL "")
  if(_step_count GREATER 1)
    message(FATAL_ERROR "in ${_run_dir}:\n${_shown_steps}${_failures}")
  endif()
  message(FATAL_ERROR "tzo ${_shown} (in ${_run_dir}):\n${_failures}")
endif()
