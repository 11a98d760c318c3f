# vexo_add_proxy_dll(<target> IDL <file.idl> OUTPUT_NAME <dll name> [IMPORTS <proxy targets...>])
#
# Compiles an IDL file with widl in -Oif mode into a self-registering
# proxy/stub DLL (regsvr32 <dll name>.dll), which lets COM carry calls of the
# file's interfaces across apartments and processes. The generated proxy code
# is mended for widl's fault with string out-parameters first
# (FixProxyStringOutParams.cmake). Windows builds only.
set(VEXO_PROXY_DIR ${CMAKE_CURRENT_LIST_DIR})
find_program(VEXO_WIDL NAMES ${VEXO_MINGW_TRIPLE}-widl widl)
find_path(VEXO_WINE_IDL_DIR unknwn.idl PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)

function(vexo_add_proxy_dll target)
  cmake_parse_arguments(ARG "" "IDL;OUTPUT_NAME" "IMPORTS" ${ARGN})
  if(NOT VEXO_WIDL OR NOT VEXO_WINE_IDL_DIR)
    message(FATAL_ERROR "${target}: widl (mingw-w64-tools) and the system IDL files (libwine-dev) are needed")
  endif()
  get_filename_component(idl ${ARG_IDL} ABSOLUTE)
  get_filename_component(base ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_gen)
  set(includes -I${VEXO_WINE_IDL_DIR})
  set(import_dirs)
  set(import_deps)
  foreach(imported ${ARG_IMPORTS})
    # Another proxy DLL's IDL file and the header widl made of it.
    get_target_property(imported_idl ${imported} VEXO_PROXY_IDL)
    get_target_property(imported_gen ${imported} VEXO_PROXY_GEN)
    get_filename_component(imported_dir ${imported_idl} DIRECTORY)
    list(APPEND includes -I${imported_dir})
    list(APPEND import_dirs ${imported_gen})
    list(APPEND import_deps ${imported_idl} ${imported_gen}/dlldata.c)
  endforeach()
  add_custom_command(
    OUTPUT ${out}/${base}.h ${out}/${base}_p.c ${out}/${base}_i.c ${out}/dlldata.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/widl
    COMMAND ${VEXO_WIDL} -Oif ${includes} -h -H ${out}/${base}.h -p -P ${out}/widl/${base}_p.c
            -u -U ${out}/${base}_i.c ${idl}
    COMMAND ${CMAKE_COMMAND} -DIN=${out}/widl/${base}_p.c -DOUT=${out}/${base}_p.c
            -P ${VEXO_PROXY_DIR}/FixProxyStringOutParams.cmake
    COMMAND ${VEXO_WIDL} --dlldata-only -o ${out}/dlldata.c ${base}
    DEPENDS ${idl} ${import_deps} ${VEXO_PROXY_DIR}/FixProxyStringOutParams.cmake
    COMMENT "widl ${base}.idl -> ${ARG_OUTPUT_NAME}.dll"
    VERBATIM)
  add_library(${target} SHARED ${out}/${base}_p.c ${out}/${base}_i.c ${out}/dlldata.c
    ${VEXO_PROXY_DIR}/ProxyDll.def)
  target_include_directories(${target} PRIVATE ${out} ${import_dirs})
  # MinGW's rpcproxy.h does not declare the IUnknown proxies the generated
  # code calls; librpcrt4 exports them.
  target_compile_options(${target} PRIVATE -include ${VEXO_PROXY_DIR}/ProxyPrelude.h -w)
  target_compile_definitions(${target} PRIVATE REGISTER_PROXY_DLL WIN32_LEAN_AND_MEAN)
  target_link_libraries(${target} PRIVATE rpcrt4 ole32 oleaut32 uuid)
  # The exports are listed undecorated; on 32-bit Windows they are __stdcall.
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${ARG_OUTPUT_NAME}
    VEXO_PROXY_IDL ${idl} VEXO_PROXY_GEN ${out})
endfunction()
