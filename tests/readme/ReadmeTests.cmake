# The README's code, built and run by the test suite so that it cannot drift
# from the library: its first program (in this build tree, and against the
# installed package with the README's own CMake lines).
set(VEXO_README ${PROJECT_SOURCE_DIR}/README.md)
set(VEXO_README_OUT ${CMAKE_CURRENT_BINARY_DIR}/readme)
add_custom_command(
  OUTPUT ${VEXO_README_OUT}/FirstProgram.cpp ${VEXO_README_OUT}/package/CMakeLists.txt
         ${VEXO_README_OUT}/package/FirstProgram.cpp
  COMMAND ${CMAKE_COMMAND} -DREADME=${VEXO_README} -DOUT=${VEXO_README_OUT}
          -P ${CMAKE_CURRENT_LIST_DIR}/ExtractReadme.cmake
  DEPENDS ${VEXO_README} ${CMAKE_CURRENT_LIST_DIR}/ExtractReadme.cmake
  COMMENT "Extracting the README's code")
add_executable(readme_first_program ${VEXO_README_OUT}/FirstProgram.cpp)
target_link_libraries(readme_first_program PRIVATE vexo::core vexo::servers vexo_build_options)
add_test(NAME ReadmeFirstProgram COMMAND readme_first_program)
set_tests_properties(ReadmeFirstProgram PROPERTIES LABELS readme TIMEOUT 120)

# Its vexo-opc lines run in the tool's tests (ProcessTest.TheReadmeTourRunsAsTyped).

# Like the package consumer, not in sanitizer builds.
if(VEXO_SANITIZE STREQUAL "")
  add_test(NAME ReadmePackage COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${VEXO_README_OUT}/package
    -DWORK_DIR=${VEXO_README_OUT}/package-work -DCXX=${CMAKE_CXX_COMPILER} -DPROGRAM=app
    -P ${CMAKE_CURRENT_LIST_DIR}/../package/RunPackageTest.cmake)
  set_tests_properties(ReadmePackage PROPERTIES LABELS "readme;package" TIMEOUT 300)
endif()
