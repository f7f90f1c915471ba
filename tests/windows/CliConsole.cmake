cmake_minimum_required(VERSION 3.25)
# tolvanex-cli.exe in a console, as a user runs it from a prompt (wine's
# console, on the pseudo-terminal that `script` gives it): its Spanish reaches
# the screen as written, on stderr and on stdout; the console's output code
# page and mode are the same after it as before, for the programs that
# follow, however it ends (the bars of flash switch on the console's VT100
# mode); `/?` shows the help. A pipe from it gets text for people in the
# console's output code page and JSON in UTF-8; a file gets UTF-8.
# -DWINE=... -DSCRIPT=... -DPROBE=... -DCLI=... -DFAKE=... -DHEX=... -DWORK=...
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{TVX_FAKE_HID} "bench")
set(out ${WORK}/console.txt)

function(probe)
  file(REMOVE ${out})
  list(JOIN ARGN "' '" args)
  execute_process(COMMAND ${SCRIPT} -qec "${WINE} '${PROBE}' '${args}'" /dev/null
                  WORKING_DIRECTORY ${WORK} INPUT_FILE /dev/null OUTPUT_VARIABLE said ERROR_VARIABLE said
                  RESULT_VARIABLE rc TIMEOUT 900)
  if(NOT EXISTS ${out})
    message(FATAL_ERROR "${ARGN}: the probe wrote nothing (script: ${rc})\n${said}")
  endif()
endfunction()

# HOW|ENVIRONMENT|PROGRAM|ARGUMENTS|EXIT|A LINE ON THE SCREEN
foreach(case "run||CLI|checksum nada.hex|2|tolvanex-cli: no se puede abrir «nada.hex»: no existe"
             "run||CLI|list|0|Ninguna sirve: una actualización diría «Mando no conectado»."
             # The system's way of asking for help, and the status it gives after Ctrl+C.
             "run||CLI|/?|0|uso: tolvanex-cli [-v] ORDEN [OPCIONES] ARGUMENTOS"
             "run||CLI|flash /?|0|  interrumpido (flash): Ctrl+C da 3221225786 (0xC000013A, en cmd -1073741510)"
             # No command in a terminal's console: told at once, no key awaited.
             "run||CLI||1|tolvanex-cli: falta la orden"
             # The bars: the console's mode is changed for them, and given back.
             "run||FAKE|flash --device=serial:TVX-B HEX|0|Actualización OK!!!!"
             "run||FAKE|flash --all HEX|0|  1-3: Actualización OK!!!!"
             "run|TVX_FAKE_FAIL=1-2|FAKE|flash --all HEX|4|tolvanex-cli: 1-2: Error sucedido!"
             "ctrl-c|TVX_FAKE_DELAY_US=3000|FAKE|flash --all HEX|3221225786|"
             "ctrl-c|TVX_FAKE_DELAY_US=3000|FAKE|flash --device=serial:TVX-B HEX|3221225786|"
             # Opened from Explorer: what it is, and a key closes it.
             "key|TVX_FAKE_OWN_CONSOLE=yes|FAKE||1|Pulse una tecla para cerrar esta ventana.")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 how)
  list(GET case 1 env)
  list(GET case 2 program)
  list(GET case 3 args)
  list(GET case 4 exit)
  list(GET case 5 want)
  string(REPLACE "HEX" "${HEX}" args "${args}")
  if(env)
    string(REPLACE "=" ";" env "${env}")
    list(GET env 0 var)
    list(GET env 1 value)
    set(ENV{${var}} "${value}")
  endif()
  probe(${how} ${out} "${${program}} ${args}")
  if(env)
    unset(ENV{${var}})
  endif()
  set(case "${how} ${args}")
  # Read whole: a screen line may hold an unbalanced "[", which splits lists no more.
  file(READ ${out} lines)
  set(lines "\n${lines}")
  foreach(what CP MODE)
    string(REGEX MATCH "\n${what}_BEFORE ([^\n]*)\n" before "${lines}")
    set(before "${CMAKE_MATCH_1}")
    string(REGEX MATCH "\n${what}_AFTER ([^\n]*)\n" after "${lines}")
    if(before STREQUAL "" OR NOT before STREQUAL CMAKE_MATCH_1)
      message(FATAL_ERROR "${case}: ${what} changed, or was not told:${lines}")
    endif()
  endforeach()
  string(FIND "${lines}" "\nEXIT ${exit}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "${case}: not EXIT ${exit}:${lines}")
  endif()
  string(FIND "${lines}" "\nSCREEN ${want}\n" at)
  if(want AND at LESS 0)
    message(FATAL_ERROR "${case}: no line '${want}' on the screen:${lines}")
  endif()
endforeach()

# Bytes as "a2 72 ", to find whole bytes.
function(read_bytes file var)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " hex "${hex}")
  set(${var} " ${hex}" PARENT_SCOPE)
endfunction()

# HOW (a code page, or file)|PROGRAM|ARGUMENTS|BYTES THERE|BYTES NOT THERE
foreach(case "850|CLI|/?|a2 72 64 65 6e 65 73|c3 b3"  # «órdenes»
             "850|CLI|/?|ae 2d af|c2 ab"  # «-»
             "1252|CLI|/?|f3 72 64 65 6e 65 73|c3 b3"
             "65001|CLI|/?|c3 b3 72 64 65 6e 65 73|a2 72 64"
             # What the code page lacks: its best fit (ā as a), or '?'.
             "850|CLI|checksum ā中.hex|ae 61 3f 2e 68 65 78 af|c4 81"
             # JSON is UTF-8 beside the complaint for people.
             "850|CLI|flash --progress=json nada.hex|c2 ab 6e 61 64 61|"
             "850|CLI|flash --progress=json nada.hex|ae 6e 61 64 61|"
             "file|CLI|/?|c3 b3 72 64 65 6e 65 73|a2 72 64")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 how)
  list(GET case 1 program)
  list(GET case 2 args)
  list(GET case 3 there)
  list(GET case 4 absent)
  if(how STREQUAL "file")
    probe(file ${out} "${${program}} ${args}")
  else()
    probe(pipe ${how} ${out} "${${program}} ${args}")
  endif()
  read_bytes(${out} bytes)
  file(READ ${out} text)
  if(NOT bytes MATCHES " ${there} ")
    message(FATAL_ERROR "${how} ${args}: no bytes ${there} in:\n${text}\n${bytes}")
  endif()
  if(absent AND bytes MATCHES " ${absent} ")
    message(FATAL_ERROR "${how} ${args}: bytes ${absent} in:\n${text}\n${bytes}")
  endif()
endforeach()
