# The installed CMake package: find_package(vexo4) gives vexo::core (the
# client library and everything below it) and vexo::servers (the simulation
# servers, for an application's own tests).
include(CMakePackageConfigHelpers)
set(VEXO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexo4)
install(EXPORT vexo4Targets NAMESPACE vexo:: DESTINATION ${VEXO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vexo4Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vexo4Config.cmake INSTALL_DESTINATION ${VEXO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vexo4ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vexo4Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vexo4ConfigVersion.cmake DESTINATION ${VEXO_CMAKE_DIR})
