# vexo-opc for Windows users: a zip with the program, the proxy/stub DLL that
# carries OPC calls between processes (where the build makes it) and a short
# text on registering it. Built with the program; CTest runs the program
# under wine, once for its version and once against its simulation server.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(zip_arch x64)
else()
  set(zip_arch x86)
endif()
set(zip_name vexo-opc-windows-${zip_arch})
set(zip_file ${CMAKE_BINARY_DIR}/${zip_name}.zip)
set(zip_stage ${CMAKE_CURRENT_BINARY_DIR}/${zip_name})
set(zip_readme ${CMAKE_CURRENT_SOURCE_DIR}/README-Windows.txt)
# The proxy/stub DLL is defined elsewhere in the tree, perhaps after this
# folder, so its presence is asked for when the build is generated.
set(has_proxy "$<TARGET_EXISTS:vexo_opc_proxy>")
set(proxy_file "$<${has_proxy}:$<TARGET_FILE:vexo_opc_proxy>>")
set(proxy_name "$<${has_proxy}:$<TARGET_FILE_NAME:vexo_opc_proxy>>")
add_custom_command(OUTPUT ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage} ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vexo-opc> ${zip_readme} ${proxy_file} ${zip_stage}
  COMMAND ${CMAKE_COMMAND} -E chdir ${zip_stage}
          ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip
          $<TARGET_FILE_NAME:vexo-opc> README-Windows.txt ${proxy_name}
  DEPENDS vexo-opc ${zip_readme} $<${has_proxy}:vexo_opc_proxy>
  COMMENT "Packing ${zip_name}.zip"
  COMMAND_EXPAND_LISTS VERBATIM)
add_custom_target(vexo-opc-zip ALL DEPENDS ${zip_file})

if(VEXO_BUILD_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME vexo_opc_exe_version COMMAND vexo-opc --version)
  set_tests_properties(vexo_opc_exe_version PROPERTIES LABELS windows TIMEOUT 120
    PASS_REGULAR_EXPRESSION "^vexo-opc ${PROJECT_VERSION}")
  # A read through the program's own simulation server: COM in the main
  # thread's apartment, the group's callbacks through the message loop.
  add_test(NAME vexo_opc_exe_read
    COMMAND vexo-opc read Simulation.Constant.String Simulation.Bucket.Int4 --format csv)
  set_tests_properties(vexo_opc_exe_read PROPERTIES LABELS windows TIMEOUT 120
    PASS_REGULAR_EXPRESSION "\nSimulation\\.Constant\\.String,42,BSTR,good,192,[^\n]*\nSimulation\\.Bucket\\.Int4,0,I4,good,192,")
  add_test(NAME vexo_opc_zip_contents
    COMMAND ${CMAKE_COMMAND} -E tar tf ${zip_file})
  set_tests_properties(vexo_opc_zip_contents PROPERTIES LABELS windows TIMEOUT 60
    PASS_REGULAR_EXPRESSION "vexo-opc\\.exe\n(.*\n)?README-Windows\\.txt")
endif()
