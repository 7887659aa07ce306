# Installs the libraries, their headers, a CMake package (vexildx::vexildx
# with vexildx::vexil_format and vexildx::vexil_display; vexildx::vxpresent
# where SDL2 is found and vexildx::vexil_convert where the converter's
# packages are), a pkg-config file for each and the vexil tool.
include(CMakePackageConfigHelpers)

set(VEXIL_INSTALL_TARGETS vexildx vexil_format vexil_display)
set(VEXIL_HAVE_PRESENT OFF)
if(TARGET vxpresent)
  list(APPEND VEXIL_INSTALL_TARGETS vxpresent)
  set(VEXIL_HAVE_PRESENT ON)
endif()
set(VEXIL_HAVE_CONVERT OFF)
if(TARGET vexil_convert)
  list(APPEND VEXIL_INSTALL_TARGETS vexil_convert)
  set(VEXIL_HAVE_CONVERT ON)
endif()
install(TARGETS ${VEXIL_INSTALL_TARGETS} EXPORT vexildxTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexildx)
install(EXPORT vexildxTargets NAMESPACE vexildx::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vexildx)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vexildxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vexildxConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vexildx)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vexildxConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vexildxConfig.cmake ${PROJECT_BINARY_DIR}/vexildxConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vexildx)

# The tool, so that an installed user can look at maps and make the demo map.
if(TARGET vexil)
  install(TARGETS vexil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The .pc file finds the prefix from its own place, so the install can move.
file(RELATIVE_PATH VEXIL_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vexildx.pc.in ${PROJECT_BINARY_DIR}/vexildx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexildx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(VEXIL_HAVE_PRESENT)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vxpresent.pc.in ${PROJECT_BINARY_DIR}/vxpresent.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/vxpresent.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
if(VEXIL_HAVE_CONVERT)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vexilconvert.pc.in ${PROJECT_BINARY_DIR}/vexilconvert.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/vexilconvert.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# Installs into a temporary prefix and builds a small consumer against it.
if(NOT VEXIL_SANITIZE)
  add_test(NAME install_consumer
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DHAVE_PRESENT=${VEXIL_HAVE_PRESENT} -DHAVE_CONVERT=${VEXIL_HAVE_CONVERT} -DWITH_TOOL=$<TARGET_EXISTS:vexil>
            -DWORK_DIR=${PROJECT_BINARY_DIR}/install-test -P ${PROJECT_SOURCE_DIR}/tests/install/run.cmake)
endif()
