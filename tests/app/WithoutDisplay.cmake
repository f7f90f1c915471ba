# tolvanex-updater with no display to open its window on, whatever its
# arguments: one Spanish line on stderr and status 1.
# -DEXE=...
cmake_policy(VERSION 3.25)
set(want "tolvanex-updater: no hay pantalla donde abrir la ventana (revise DISPLAY o WAYLAND_DISPLAY); sin pantalla, use tolvanex-cli\n")
foreach(display "-u;DISPLAY" "DISPLAY=:987")
  foreach(args "" "--help" "-platform;offscreen" "archivo.hex")
    execute_process(COMMAND env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${display} "${EXE}" ${args}
                    INPUT_FILE /dev/null OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
    if(NOT rc STREQUAL "1" OR NOT out STREQUAL "" OR NOT err STREQUAL want)
      message(FATAL_ERROR "${display} ${args}: status ${rc}\nstdout: ${out}\nstderr: ${err}")
    endif()
  endforeach()
endforeach()
