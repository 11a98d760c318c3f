include(GNUInstallDirs)

# Warning and sanitizer settings shared by every target of the project.
add_library(vexo_build_options INTERFACE)
# Installed only because static libraries name it among their link
# dependencies; its compile options never reach a consumer.
set_target_properties(vexo_build_options PROPERTIES EXPORT_NAME build_options)
install(TARGETS vexo_build_options EXPORT vexo4Targets)
target_compile_options(vexo_build_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(VEXO_WERROR)
  target_compile_options(vexo_build_options INTERFACE -Werror)
endif()

if(VEXO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VEXO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VEXO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VEXO_SANITIZE must be empty, address or thread")
endif()

# vexo_add_layer(<name> <folder> DEPS <targets...> [EXCLUDE <regex...>]): a
# static library from the folder's .cpp files (less those matching an EXCLUDE
# regex) with its include/ directory public.
function(vexo_add_layer name folder)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${folder}/*.cpp")
  list(FILTER srcs EXCLUDE REGEX "/include/")
  foreach(re ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "${re}")
  endforeach()
  if(srcs)
    add_library(vexo_${name} STATIC ${srcs})
    target_include_directories(vexo_${name} PUBLIC
      $<BUILD_INTERFACE:${folder}/include> $<INSTALL_INTERFACE:include>)
    target_link_libraries(vexo_${name} PUBLIC ${ARG_DEPS} PRIVATE vexo_build_options)
  else()
    add_library(vexo_${name} INTERFACE)
    target_include_directories(vexo_${name} INTERFACE
      $<BUILD_INTERFACE:${folder}/include> $<INSTALL_INTERFACE:include>)
    target_link_libraries(vexo_${name} INTERFACE ${ARG_DEPS})
  endif()
  add_library(vexo::${name} ALIAS vexo_${name})
  set_target_properties(vexo_${name} PROPERTIES EXPORT_NAME ${name})
  install(TARGETS vexo_${name} EXPORT vexo4Targets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY ${folder}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endfunction()
