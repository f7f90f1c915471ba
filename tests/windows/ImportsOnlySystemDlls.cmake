cmake_minimum_required(VERSION 3.25)
# Fails when an executable imports a DLL that Windows does not ship itself,
# such as the compiler's runtime: the exe must run when copied alone.
# -DOBJDUMP=... -DEXE=...
set(system_dlls kernel32.dll msvcrt.dll setupapi.dll hid.dll user32.dll advapi32.dll shell32.dll ole32.dll
    gdi32.dll comctl32.dll comdlg32.dll version.dll ws2_32.dll bcrypt.dll)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST system_dlls)
    message(FATAL_ERROR "${EXE} needs ${dll}, which Windows does not ship")
  endif()
endforeach()
