# The test programs of a Windows build, run under wine by CTest. GoogleTest
# is built from the sources Debian ships with libgtest-dev.
set(VEXO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a Windows build")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VEXO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# vexo_add_windows_test(<name> DEPS <targets...> SOURCES <files...> [FILTER <gtest filter>])
#
# One CTest entry per program, run once under wine: starting a wine process
# costs seconds, so neither a discovery run at build or test time nor one
# process per test case fits the time the Windows stage is given. A failing
# case is named in the program's own output.
function(vexo_add_windows_test name)
  cmake_parse_arguments(ARG "" "FILTER" "DEPS;SOURCES" ${ARGN})
  if(NOT ARG_FILTER)
    set(ARG_FILTER "*")
  endif()
  add_executable(${name} ${ARG_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/support/TestMain.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} gtest gmock vexo_build_options)
  add_test(NAME ${name} COMMAND ${name} "--gtest_filter=${ARG_FILTER}" --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS windows TIMEOUT 600
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# The platform's conformance tests, against the system's runtime. Where
# Wine differs from Windows a test skips that one check under Wine and names
# the difference; where the stand-in keeps a rule of its own, the check runs
# against the stand-in only.
file(GLOB platform_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/*.cpp)
vexo_add_windows_test(test_platform DEPS vexo::platform SOURCES ${platform_tests})

# The layers above the platform, against the same runtime; each folder is one
# program, as on other systems.
function(vexo_add_windows_folder name folder)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  vexo_add_windows_test(${name} SOURCES ${srcs} ${ARGN})
endfunction()
vexo_add_windows_folder(test_opc opc DEPS vexo::opc)
# Left out: the system makes WM_TIMER only once no posted message waits, and
# runs no timer faster than every 10 ms, so a timer never comes between posts.
vexo_add_windows_folder(test_framework framework DEPS vexo::framework
  FILTER "-TimersTest.DueTimerComesAfterEarlierPostsOnceAndBeforeLaterOnes")
vexo_add_windows_folder(test_foundation foundation DEPS vexo::foundation)
vexo_add_windows_folder(test_servers servers DEPS vexo::servers)
# Client behaviour against the in-process simulation server, the main thread
# a single-threaded apartment. Left out: what only the stand-in can stage
# (named computers, a security reset, keys longer than the registry takes, a
# live BSTR count) and the text for opening a directory, which Windows
# reports as a denied access.
set(client_standin_only
  ServerConnectTest.CoOPCServerCreatesLocallyAndRemotely ServerConnectTest.InitSecuritySucceedsOnce
  ServerConnectTest.NamedComputerWithTheClassConnects
  ServerConnectTest.PlatformFailuresPassToTheCallerAndHoldNothing
  ServerBrowserTest.RegistryScanFindsOPCKeysPastOverlongNames
  ServerBrowserTest.RemoteRunsCarryTheComputerName
  PropertiesTest.EntriesLeavingThroughTheBaseListAreFreed ItemModel.StoredValuesReplaceEachOtherWithoutLeaks
  ConfigTest.UnreadablePathsRaiseTheFileErrorWithFileAndReason)
list(JOIN client_standin_only ":" client_standin_only)
vexo_add_windows_folder(test_client client DEPS vexo::core vexo::servers
  FILTER "-${client_standin_only}")

# Calls across processes: the proxy/stub DLLs and the simulation's
# local-server program are registered in the prefix first.
add_test(NAME register_com_servers COMMAND ${CMAKE_COMMAND} -DWINE=${VEXO_WINE}
  "-DPROXIES=$<TARGET_FILE:vexo_opc_proxy>|$<TARGET_FILE:vexo_sim_proxy>"
  -DLOCAL_SERVER=$<TARGET_FILE:vexo_sim_local>
  -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/RegisterComServers.cmake)
set_tests_properties(register_com_servers PROPERTIES LABELS windows FIXTURES_SETUP com_servers)
vexo_add_windows_folder(test_crossprocess crossprocess DEPS vexo::servers)
# The server's task-memory count is its process's: one client at a time.
set_tests_properties(test_crossprocess PROPERTIES FIXTURES_REQUIRED com_servers
  RESOURCE_LOCK sim_registry)

# The client behaviour again, against the simulation in its own process
# (vexosimsrv.exe) and then in the registered DLL (vexosim.dll, threading
# model Both), both found through the registry. Across processes the
# task-memory counts are not compared: Wine's stubs keep a block of the
# [in] VARIANT array of each callback they dispatch.
add_test(NAME test_client_local COMMAND test_client "--gtest_filter=-${client_standin_only}")
# Every case is named in the output, so that a run that does not end shows where it stopped.
set_tests_properties(test_client_local PROPERTIES LABELS windows TIMEOUT 300
  FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]" FIXTURES_REQUIRED com_servers
  RESOURCE_LOCK sim_registry ENVIRONMENT "VEXO_SIM_SERVERS=registry;VEXO_TASKMEM_EXACT=0")
add_test(NAME register_inproc_server COMMAND ${VEXO_WINE} regsvr32 /s Z:$<TARGET_FILE:vexo_sim_inproc>)
add_test(NAME unregister_inproc_server
  COMMAND ${VEXO_WINE} regsvr32 /u /s Z:$<TARGET_FILE:vexo_sim_inproc>)
set_tests_properties(register_inproc_server PROPERTIES LABELS windows FIXTURES_SETUP com_inproc
  FIXTURES_REQUIRED com_servers DEPENDS test_client_local RESOURCE_LOCK sim_registry)
set_tests_properties(unregister_inproc_server PROPERTIES LABELS windows
  FIXTURES_CLEANUP com_inproc RESOURCE_LOCK sim_registry)
add_test(NAME test_client_dll COMMAND test_client "--gtest_filter=-${client_standin_only}")
set_tests_properties(test_client_dll PROPERTIES LABELS windows TIMEOUT 300
  FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]" FIXTURES_REQUIRED com_inproc
  RESOURCE_LOCK sim_registry ENVIRONMENT "VEXO_SIM_SERVERS=registry")
