# Writes the README's first C++ block as FirstProgram.cpp, and a project that
# builds it with the README's CMake block against the installed package.
#   cmake -DREADME=<README.md> -DOUT=<dir> -P ExtractReadme.cmake

# The body of the first block fenced as ```<Lang>.
function(readme_block Text Lang OutVar)
  string(FIND "${Text}" "```${Lang}\n" Start)
  if(Start EQUAL -1)
    message(FATAL_ERROR "README.md has no ```${Lang} block")
  endif()
  string(LENGTH "```${Lang}\n" Fence)
  math(EXPR Start "${Start} + ${Fence}")
  string(SUBSTRING "${Text}" ${Start} -1 Rest)
  string(FIND "${Rest}" "\n```" End)
  if(End EQUAL -1)
    message(FATAL_ERROR "README.md: the ```${Lang} block is not closed")
  endif()
  string(SUBSTRING "${Rest}" 0 ${End} Body)
  set(${OutVar} "${Body}\n" PARENT_SCOPE)
endfunction()

file(READ ${README} Text)
readme_block("${Text}" cpp Program)
readme_block("${Text}" cmake Lines)
file(WRITE ${OUT}/FirstProgram.cpp "${Program}")
file(WRITE ${OUT}/package/FirstProgram.cpp "${Program}")
file(WRITE ${OUT}/package/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\n"
  "project(readme_app LANGUAGES CXX)\n"
  "set(CMAKE_CXX_STANDARD 20)\n"
  "add_executable(app FirstProgram.cpp)\n"
  "${Lines}")
