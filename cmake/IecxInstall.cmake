# Libraries go to <prefix>/lib so that the pkg-config file can find its prefix relative to itself.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR lib)
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS iecx EXPORT iecxTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS iecx_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dir host scl mms acquisition capture cid models sim ui)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/iecx/${dir}
          FILES_MATCHING PATTERN "*.h")
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/stack/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/iecx/stack/include
        FILES_MATCHING PATTERN "*.h")

install(EXPORT iecxTargets NAMESPACE iecx:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/iecxConfig.cmake.in
  ${CMAKE_BINARY_DIR}/iecxConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/iecxConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/iecxConfig.cmake ${CMAKE_BINARY_DIR}/iecxConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iecx)
configure_file(${CMAKE_SOURCE_DIR}/cmake/iecx.pc.in ${CMAKE_BINARY_DIR}/iecx.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/iecx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
