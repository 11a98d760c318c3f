# OPCLayout32: the compile-time checks of PublishedValues.cpp, compiled for
# 32-bit Windows, whose pointers, VARIANT and padding differ from this build's.
find_program(VEXO_MINGW32_CXX NAMES i686-w64-mingw32-g++-posix i686-w64-mingw32-g++)
if(VEXO_MINGW32_CXX)
  add_test(NAME OPCLayout32 COMMAND ${VEXO_MINGW32_CXX} -std=c++20 -fsyntax-only
    -I${PROJECT_SOURCE_DIR}/src/opc/include -I${PROJECT_SOURCE_DIR}/src/platform/include
    ${CMAKE_CURRENT_LIST_DIR}/PublishedValues.cpp)
else()
  # Never skipped silently: scripts/deps.sh installs the compiler.
  add_test(NAME OPCLayout32 COMMAND ${CMAKE_COMMAND} -E echo
    "i686-w64-mingw32-g++ not found: install g++-mingw-w64-i686-posix (scripts/deps.sh)")
  set_tests_properties(OPCLayout32 PROPERTIES WILL_FAIL TRUE)
endif()
set_tests_properties(OPCLayout32 PROPERTIES LABELS opc TIMEOUT 120)
