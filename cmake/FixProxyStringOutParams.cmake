# Mends widl's -Oif output for out-parameters that return a callee-allocated
# string (`[out] OutString *`, OutString being a [string] WCHAR pointer).
# widl gives such a parameter the type offset of the string pointer itself
# instead of the reference pointer to it, so the proxy keeps the returned
# string in a temporary and the caller's pointer stays null. Each parameter
# is retargeted to the reference-pointer descriptor that precedes its
# string pointer; the bytes on the wire do not change.
#   cmake -DIN=<generated _p.c> -DOUT=<mended _p.c> -P FixProxyStringOutParams.cmake
file(READ "${IN}" text)
set(entry_re "/\\* ([0-9]+) \\(OutString \\*\\) \\*/\n[ \t]+0x11, 0x14,[^\n]*\n[ \t]+NdrFcShort\\(0x[0-9a-f]+\\),[ \t]*/\\* Offset= [0-9]+ \\(([0-9]+)\\) \\*/")
string(REGEX MATCHALL "${entry_re}" entries "${text}")
set(mended 0)
foreach(entry IN LISTS entries)
  string(REGEX MATCH "${entry_re}" _ "${entry}")
  set(pointer ${CMAKE_MATCH_1})
  set(target ${CMAKE_MATCH_2})
  math(EXPR pointer_hex "${pointer}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR target_hex "${target}" OUTPUT_FORMAT HEXADECIMAL)
  string(TOLOWER "${pointer_hex}" pointer_hex)
  string(TOLOWER "${target_hex}" target_hex)
  set(wrong "NdrFcShort(${target_hex}),\t/* type offset = ${target} */")
  set(right "NdrFcShort(${pointer_hex}),\t/* type offset = ${pointer} */")
  string(FIND "${text}" "${wrong}" at)
  if(NOT at EQUAL -1)
    string(REPLACE "${wrong}" "${right}" text "${text}")
    math(EXPR mended "${mended} + 1")
  endif()
endforeach()
file(WRITE "${OUT}" "${text}")
message(STATUS "${OUT}: ${mended} string out-parameter type(s) retargeted")
