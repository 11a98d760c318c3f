# Registers the proxy/stub DLLs and the simulation's local-server program in
# the Wine prefix, as an installation on Windows would.
#   cmake -DWINE=<wine> -DPROXIES=<dll|dll> -DLOCAL_SERVER=<exe> -P RegisterComServers.cmake
string(REPLACE "|" ";" PROXIES "${PROXIES}")
foreach(dll ${PROXIES})
  execute_process(COMMAND ${WINE} regsvr32 /s Z:${dll} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "regsvr32 ${dll} failed: ${rc}")
  endif()
endforeach()
execute_process(COMMAND ${WINE} ${LOCAL_SERVER} /RegServer RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${LOCAL_SERVER} /RegServer failed: ${rc}")
endif()
