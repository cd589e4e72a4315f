# Installation: the library, the tool, the public headers under <includedir>/iecx (the stack's
# libiec61850-compatible headers below it, so they never meet an installed libiec61850's), the
# example files under <datadir>/iecx, and CMake and pkg-config files that work for any libdir.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS iecx EXPORT iecxTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS iecx_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/iecx/examples)

# Public headers: every header of these modules; of the simulated IED only its facade (its model,
# server and report engine are built on stack internals).
foreach(dir host scl mms acquisition capture cid models ui)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/iecx/${dir}
          FILES_MATCHING PATTERN "*.h")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/sim/SimulatedIed.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/iecx/sim)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/stack/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/iecx/stack/include
        FILES_MATCHING PATTERN "*.h")

install(EXPORT iecxTargets NAMESPACE iecx:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/iecxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/iecxConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/iecxConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/iecxConfig.cmake ${PROJECT_BINARY_DIR}/iecxConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)

# The pkg-config file finds the prefix relative to itself (<libdir>/pkgconfig may be any depth,
# Debian's lib/x86_64-linux-gnu included), so the installed tree can be moved.
file(RELATIVE_PATH IECX_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" IECX_PC_TO_PREFIX "${IECX_PC_TO_PREFIX}")
file(RELATIVE_PATH IECX_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH IECX_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/iecx.pc.in ${PROJECT_BINARY_DIR}/iecx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/iecx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
