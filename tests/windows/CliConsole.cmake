cmake_minimum_required(VERSION 3.25)
# tolvanex-cli.exe in a console, as a user runs it from a prompt (wine's
# console, on the pseudo-terminal that `script` gives it): its Spanish reaches
# the screen as written, on stderr and on stdout, and the console's output
# code page is the same after it as before, for the programs that follow;
# `/?` shows the help.
# -DWINE=... -DSCRIPT=... -DPROBE=... -DCLI=... -DWORK=...
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(case "checksum nada.hex|tolvanex-cli: no se puede abrir «nada.hex»: no existe"
             "list|Ninguna sirve: una actualización diría «Mando no conectado»."
             # The system's way of asking for help, and the status it gives after Ctrl+C.
             "/?|uso: tolvanex-cli [-v] ORDEN [OPCIONES] ARGUMENTOS"
             "flash /?|  interrumpido (flash): Ctrl+C da 3221225786 (0xC000013A, en cmd -1073741510)")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 args)
  list(GET case 1 want)
  set(out ${WORK}/console.txt)
  file(REMOVE ${out})
  execute_process(COMMAND ${SCRIPT} -qec "${WINE} '${PROBE}' console '${out}' '${CLI} ${args}'" /dev/null
                  WORKING_DIRECTORY ${WORK} INPUT_FILE /dev/null OUTPUT_VARIABLE said ERROR_VARIABLE said
                  RESULT_VARIABLE rc TIMEOUT 900)
  if(NOT EXISTS ${out})
    message(FATAL_ERROR "${args}: the probe wrote nothing (script: ${rc})\n${said}")
  endif()
  file(STRINGS ${out} lines ENCODING UTF-8)
  list(GET lines 0 before)
  list(GET lines 1 after)
  string(REPLACE "CP_BEFORE" "CP_AFTER" before "${before}")
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "${args}: the code page changed: ${lines}")
  endif()
  if(NOT "SCREEN ${want}" IN_LIST lines)
    message(FATAL_ERROR "${args}: no line '${want}' on the screen:\n${lines}")
  endif()
endforeach()
