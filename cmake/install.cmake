# Installation and package export of the sdr library.
#
#   cmake --install <build> --prefix <P>
#
# gives <P>/lib/libsdr.so*, the public headers in <P>/include/sdr, the CMake
# package in <P>/lib/cmake/sdr (find_package(sdr) -> sdr::sdr) and the
# pkg-config file <P>/lib/pkgconfig/sdr.pc. Included at the end of the top
# CMakeLists.txt, so the targets of the subdirectories exist here.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SDR_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/sdr"
    CACHE STRING "Installation directory of the CMake package files of sdr")
set(SDR_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/sdr")
mark_as_advanced(SDR_INSTALL_CMAKEDIR)

# ---------------------------------------------------------------- library
install(TARGETS sdr
  EXPORT sdrTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  PUBLIC_HEADER DESTINATION ${SDR_INSTALL_INCLUDEDIR} COMPONENT development)

# ---------------------------------------------------------------- programs
# Installed programs find the installed library next to them.
file(RELATIVE_PATH _sdr_bin_to_lib
  "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(_sdr_program_rpath "${CMAKE_INSTALL_FULL_LIBDIR}")
else()
  set(_sdr_program_rpath "$ORIGIN/${_sdr_bin_to_lib}")
endif()

foreach(_sdr_program IN ITEMS tzo sdr_example)
  if(TARGET ${_sdr_program})
    get_target_property(_sdr_program_type ${_sdr_program} TYPE)
    if(_sdr_program_type STREQUAL "EXECUTABLE")
      set_property(TARGET ${_sdr_program} APPEND PROPERTY
        INSTALL_RPATH "${_sdr_program_rpath}")
      install(TARGETS ${_sdr_program}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    endif()
  endif()
endforeach()

# ---------------------------------------------------------------- CMake package
install(EXPORT sdrTargets
  NAMESPACE sdr::
  FILE sdrTargets.cmake
  DESTINATION ${SDR_INSTALL_CMAKEDIR}
  COMPONENT development)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/sdrConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/sdrConfig.cmake
  INSTALL_DESTINATION ${SDR_INSTALL_CMAKEDIR}
  PATH_VARS SDR_INSTALL_INCLUDEDIR)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/cmake/sdrConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/cmake/sdrConfig.cmake
    ${PROJECT_BINARY_DIR}/cmake/sdrConfigVersion.cmake
  DESTINATION ${SDR_INSTALL_CMAKEDIR}
  COMPONENT development)

# ---------------------------------------------------------------- pkg-config
# The .pc file locates the prefix from its own directory, so it stays right
# whatever --prefix or DESTDIR the installation uses.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SDR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(SDR_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(SDR_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _sdr_pc_to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" _sdr_pc_to_prefix "${_sdr_pc_to_prefix}")
  set(SDR_PC_PREFIX "\${pcfiledir}/${_sdr_pc_to_prefix}")
  set(SDR_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(SDR_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/sdr.pc.in
  ${PROJECT_BINARY_DIR}/cmake/sdr.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cmake/sdr.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
