# Installs a built sdr into a scratch prefix and checks that a separate
# program can use it, once through find_package(sdr) and once through
# pkg-config.
#
#   cmake -DSDR_BUILD_DIR=<build> -DSDR_SOURCE_DIR=<source> -DWORK_DIR=<dir>
#         -P run_consumer_test.cmake
#
# Any failure ends the script with FATAL_ERROR.

cmake_minimum_required(VERSION 3.25)

foreach(_var IN ITEMS SDR_BUILD_DIR SDR_SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
    message(FATAL_ERROR "${_var} is not set")
  endif()
  get_filename_component(${_var} "${${_var}}" ABSOLUTE)
endforeach()
if(NOT EXISTS "${SDR_BUILD_DIR}/CMakeCache.txt")
  message(FATAL_ERROR "${SDR_BUILD_DIR} is not a configured build directory")
endif()

# Runs a command; stops with its output when it fails.
function(run_checked what)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE _rc
    OUTPUT_VARIABLE _out
    ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${_rc}):\n${ARGN}\n${_out}\n${_err}")
  endif()
  set(RUN_OUTPUT "${_out}" PARENT_SCOPE)
endfunction()

function(expect_exists path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

# Reads one entry of the cache of the build being installed.
function(read_build_cache entry out_var)
  file(STRINGS "${SDR_BUILD_DIR}/CMakeCache.txt" _line
    REGEX "^${entry}:[A-Z]+=" LIMIT_COUNT 1)
  string(REGEX REPLACE "^${entry}:[A-Z]+=" "" _value "${_line}")
  set(${out_var} "${_value}" PARENT_SCOPE)
endfunction()

read_build_cache(CMAKE_CXX_COMPILER CXX_COMPILER)
read_build_cache(CMAKE_GENERATOR GENERATOR)
read_build_cache(CMAKE_INSTALL_LIBDIR LIBDIR)
read_build_cache(CMAKE_INSTALL_INCLUDEDIR INCLUDEDIR)
read_build_cache(CMAKE_INSTALL_BINDIR BINDIR)
if(CXX_COMPILER STREQUAL "")
  message(FATAL_ERROR "no C++ compiler recorded in ${SDR_BUILD_DIR}/CMakeCache.txt")
endif()
foreach(_pair IN ITEMS "LIBDIR;lib" "INCLUDEDIR;include" "BINDIR;bin")
  list(GET _pair 0 _var)
  list(GET _pair 1 _default)
  if(${_var} STREQUAL "")
    set(${_var} "${_default}")
  endif()
endforeach()

set(PREFIX "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Nothing from the calling environment may point at a library to use.
set(CLEAN_ENV ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=CMAKE_PREFIX_PATH
  --unset=PKG_CONFIG_PATH)

# ---------------------------------------------------------------- install
message(STATUS "installing ${SDR_BUILD_DIR} into ${PREFIX}")
run_checked("cmake --install" ${CMAKE_COMMAND} --install "${SDR_BUILD_DIR}" --prefix "${PREFIX}")

set(LIB_DIR "${PREFIX}/${LIBDIR}")
set(INC_DIR "${PREFIX}/${INCLUDEDIR}/sdr")
set(BIN_DIR "${PREFIX}/${BINDIR}")

# Package files.
foreach(_file IN ITEMS sdrConfig.cmake sdrConfigVersion.cmake sdrTargets.cmake)
  expect_exists("${LIB_DIR}/cmake/sdr/${_file}")
endforeach()
expect_exists("${LIB_DIR}/pkgconfig/sdr.pc")

# The version the package announces.
file(STRINGS "${LIB_DIR}/cmake/sdr/sdrConfigVersion.cmake" _version_line
  REGEX "^ *set\\(PACKAGE_VERSION \"[^\"]+\"\\)" LIMIT_COUNT 1)
if(NOT _version_line MATCHES "\"([0-9]+(\\.[0-9]+)*)\"")
  message(FATAL_ERROR "no version in ${LIB_DIR}/cmake/sdr/sdrConfigVersion.cmake")
endif()
set(PROJECT_VERSION "${CMAKE_MATCH_1}")

# The library with its SONAME links: libsdr.so -> libsdr.so.N -> libsdr.so.N.x.y
expect_exists("${LIB_DIR}/libsdr.so")
if(NOT IS_SYMLINK "${LIB_DIR}/libsdr.so")
  message(FATAL_ERROR "${LIB_DIR}/libsdr.so is not a link")
endif()
if(PROJECT_VERSION MATCHES "^([0-9]+)\\.")
  set(_so_major "${LIB_DIR}/libsdr.so.${CMAKE_MATCH_1}")
  expect_exists("${_so_major}")
  if(NOT IS_SYMLINK "${_so_major}")
    message(FATAL_ERROR "${_so_major} is not a link")
  endif()
  expect_exists("${LIB_DIR}/libsdr.so.${PROJECT_VERSION}")
  if(IS_SYMLINK "${LIB_DIR}/libsdr.so.${PROJECT_VERSION}")
    message(FATAL_ERROR "${LIB_DIR}/libsdr.so.${PROJECT_VERSION} should be the library file")
  endif()
else()
  message(FATAL_ERROR "malformed version '${PROJECT_VERSION}'")
endif()

# Every public header, flat under include/sdr.
file(GLOB _public_headers "${SDR_SOURCE_DIR}/h/*.h" "${SDR_SOURCE_DIR}/platform/*.h")
if(NOT _public_headers)
  message(FATAL_ERROR "no public headers found in ${SDR_SOURCE_DIR}")
endif()
foreach(_header IN LISTS _public_headers)
  get_filename_component(_name "${_header}" NAME)
  expect_exists("${INC_DIR}/${_name}")
endforeach()

# Installed programs: present when built, and they find the installed library.
function(expect_uses_installed_library binary)
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES "${binary}"
    RESOLVED_DEPENDENCIES_VAR _resolved
    UNRESOLVED_DEPENDENCIES_VAR _unresolved
    PRE_INCLUDE_REGEXES "libsdr\\.so"
    PRE_EXCLUDE_REGEXES ".*")
  if(_unresolved)
    message(FATAL_ERROR "${binary}: cannot resolve ${_unresolved}")
  endif()
  get_filename_component(_lib_real "${LIB_DIR}" REALPATH)
  set(_found FALSE)
  foreach(_dep IN LISTS _resolved)
    get_filename_component(_dep_dir "${_dep}" DIRECTORY)
    get_filename_component(_dep_dir "${_dep_dir}" REALPATH)
    if(_dep_dir STREQUAL _lib_real)
      set(_found TRUE)
    else()
      message(FATAL_ERROR "${binary} loads ${_dep}, not the library in ${LIB_DIR}")
    endif()
  endforeach()
  if(NOT _found)
    message(FATAL_ERROR "${binary} does not load libsdr from ${LIB_DIR}")
  endif()
endfunction()

foreach(_program IN ITEMS sdr_example tzo)
  file(GLOB_RECURSE _built LIST_DIRECTORIES false
    "${SDR_BUILD_DIR}/tools/${_program}" "${SDR_BUILD_DIR}/${_program}")
  if(_built)
    expect_exists("${BIN_DIR}/${_program}")
  endif()
  if(EXISTS "${BIN_DIR}/${_program}")
    expect_uses_installed_library("${BIN_DIR}/${_program}")
  endif()
endforeach()

# ---------------------------------------------------------------- find_package
set(CONSUMER_SRC "${SDR_SOURCE_DIR}/tests/install/consumer")
set(CONSUMER_BIN "${WORK_DIR}/consumer-build")
set(_generator_args)
if(NOT GENERATOR STREQUAL "")
  set(_generator_args -G "${GENERATOR}")
endif()
message(STATUS "building the consumer with find_package(sdr)")
run_checked("configuring the consumer"
  ${CLEAN_ENV} ${CMAKE_COMMAND} ${_generator_args}
    -S "${CONSUMER_SRC}" -B "${CONSUMER_BIN}"
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
    "-DCMAKE_PREFIX_PATH=${PREFIX}"
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)

# The package must come from the scratch prefix.
file(STRINGS "${CONSUMER_BIN}/CMakeCache.txt" _sdr_dir_line REGEX "^sdr_DIR:")
string(REGEX REPLACE "^sdr_DIR:[A-Z]+=" "" _sdr_dir "${_sdr_dir_line}")
get_filename_component(_sdr_dir "${_sdr_dir}" REALPATH)
get_filename_component(_expected_dir "${LIB_DIR}/cmake/sdr" REALPATH)
if(NOT _sdr_dir STREQUAL _expected_dir)
  message(FATAL_ERROR "the consumer found sdr in '${_sdr_dir}', not in '${_expected_dir}'")
endif()

run_checked("building the consumer" ${CLEAN_ENV} ${CMAKE_COMMAND} --build "${CONSUMER_BIN}")
set(_consumer_exe "${CONSUMER_BIN}/sdr_consumer")
expect_uses_installed_library("${_consumer_exe}")
run_checked("running the consumer" ${CLEAN_ENV} "${_consumer_exe}")
message(STATUS "consumer output: ${RUN_OUTPUT}")
if(NOT RUN_OUTPUT MATCHES "^sdr consumer: ")
  message(FATAL_ERROR "unexpected consumer output: ${RUN_OUTPUT}")
endif()

# ---------------------------------------------------------------- pkg-config
find_program(PKG_CONFIG_EXECUTABLE NAMES pkg-config pkgconf)
if(NOT PKG_CONFIG_EXECUTABLE)
  message(FATAL_ERROR "pkg-config is not installed")
endif()
set(PC_ENV ${CLEAN_ENV} "PKG_CONFIG_PATH=${LIB_DIR}/pkgconfig")

run_checked("pkg-config --modversion sdr" ${PC_ENV} ${PKG_CONFIG_EXECUTABLE} --modversion sdr)
string(STRIP "${RUN_OUTPUT}" _pc_version)
if(NOT _pc_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "sdr.pc has version '${_pc_version}', expected '${PROJECT_VERSION}'")
endif()

run_checked("pkg-config --cflags sdr" ${PC_ENV} ${PKG_CONFIG_EXECUTABLE} --cflags sdr)
string(STRIP "${RUN_OUTPUT}" _pc_cflags)
separate_arguments(_pc_cflags UNIX_COMMAND "${_pc_cflags}")
get_filename_component(_inc_real "${INC_DIR}" REALPATH)
set(_found_include FALSE)
foreach(_flag IN LISTS _pc_cflags)
  if(_flag MATCHES "^-I(.+)$")
    get_filename_component(_dir "${CMAKE_MATCH_1}" REALPATH)
    if(_dir STREQUAL _inc_real)
      set(_found_include TRUE)
    endif()
  endif()
endforeach()
if(NOT _found_include)
  message(FATAL_ERROR "pkg-config --cflags sdr lacks -I${INC_DIR}: ${_pc_cflags}")
endif()

run_checked("pkg-config --libs sdr" ${PC_ENV} ${PKG_CONFIG_EXECUTABLE} --libs sdr)
string(STRIP "${RUN_OUTPUT}" _pc_libs)
separate_arguments(_pc_libs UNIX_COMMAND "${_pc_libs}")

message(STATUS "building the consumer with pkg-config: ${_pc_cflags} ${_pc_libs}")
set(_pc_exe "${WORK_DIR}/sdr_consumer_pkgconfig")
run_checked("compiling the consumer with pkg-config flags"
  ${CLEAN_ENV} "${CXX_COMPILER}" -std=c++17 ${_pc_cflags}
    "${CONSUMER_SRC}/main.cpp" -o "${_pc_exe}" ${_pc_libs})
run_checked("running the pkg-config consumer"
  ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${LIB_DIR}" "${_pc_exe}")
message(STATUS "pkg-config consumer output: ${RUN_OUTPUT}")
if(NOT RUN_OUTPUT MATCHES "^sdr consumer: ")
  message(FATAL_ERROR "unexpected pkg-config consumer output: ${RUN_OUTPUT}")
endif()

message(STATUS "installed package works")
