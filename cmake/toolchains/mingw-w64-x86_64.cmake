# Cross-compiles for 64-bit Windows with MinGW-w64's posix-thread compilers
# (the win32 thread model has no std::thread) and a static runtime, so the
# programs run under Wine or on Windows without MinGW's DLLs. CTest runs the
# test programs through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
