cmake_minimum_required(VERSION 3.25)
# Runs tolvanex-cli.exe flash under wine, where no controller is present, and
# checks what the user and the debugger output see.
# -DWINE=... -DCLI=... -DHEX=...
set(ENV{WINEDEBUG} "-all,+debugstr")
execute_process(COMMAND ${WINE} ${CLI} flash ${HEX}
                INPUT_FILE /dev/null
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
string(REPLACE "\r" "" out "${out}")
if(NOT rc STREQUAL "3")
  message(FATAL_ERROR "exit code ${rc}, not 3\nstdout:\n${out}\nstderr:\n${err}")
endif()
# An error: on stderr, and nothing on stdout.
if(NOT out STREQUAL "" OR NOT err MATCHES "(^|\n)Mando no conectado\r?\n")
  message(FATAL_ERROR "\"Mando no conectado\" is not on stderr alone:\nstdout:\n${out}\nstderr:\n${err}")
endif()
# One search: it ends at the end of the list and says nothing else.
string(REGEX MATCHALL "OutputDebugStringA \"[^\n]*" lines "${err}")
if(NOT lines STREQUAL "OutputDebugStringA \"Request interface data error\\n\"")
  message(FATAL_ERROR "debugger output is not the one end-of-list line:\n${err}")
endif()
